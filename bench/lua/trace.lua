local s = 0
for i = 0, 249999 do s = s + i % 3 end
io.write(s, " ")
