local write, char = io.write, string.char
for i = 1, 740741 do
  for c = 97, 122 do write(char(c)) end
  write("\n")
end
