local s, t = 0, 0
for i = 1, 50000000 do
  s = s + 7
  if s > 1000 then s = s - 1000 end
  t = t + s
  if t > 1000000000 then t = t - 1000000000 end
end
io.write(s, " ", t, " ")
