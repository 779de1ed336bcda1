local count, last, gap = 1, 2, 0
for n = 3, 599999, 2 do
  local composite = 0
  local d = 3
  while d <= math.floor(n / d) do
    if n % d == 0 then composite = 1; break end
    d = d + 2
  end
  if composite == 0 then
    count = count + 1
    if n - last > gap then gap = n - last end
    last = n
  end
end
io.write(count, " ", gap, " ")
