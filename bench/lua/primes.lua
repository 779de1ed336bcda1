local count = 0
for n = 2, 199999 do
  local prime = 1
  local d = 2
  while d * d <= n do
    if n % d == 0 then prime = 0 end
    d = d + 1
  end
  count = count + prime
end
io.write(count, " ")
