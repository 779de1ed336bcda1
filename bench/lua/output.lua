local write = io.write
for i = 0, 2999999 do write(i, " ") end
