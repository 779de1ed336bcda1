local a, b = 1, 1
for i = 1, 50000000 do
  local t = a + b
  if t >= 1000000 then t = t - 1000000 end
  a = b
  b = t
end
io.write(a, " ", b, " ")
