local a, seed, sum = {}, 1, 0
for round = 1, 8000 do
  for i = 0, 79 do
    seed = (seed * 1103 + 12345) % 65536
    a[i] = seed
  end
  for i = 0, 78 do
    for j = 0, 78 - i do
      if a[j] > a[j + 1] then a[j], a[j + 1] = a[j + 1], a[j] end
    end
  end
  sum = (sum + a[0] + a[40] + a[79]) % 1000000
end
io.write(sum, " ")
