local a = {}
local function quicksort(l, h)
  while l < h do
    local pivot, i, j = a[math.floor((l + h) / 2)], l, h
    while i <= j do
      while a[i] < pivot do i = i + 1 end
      while a[j] > pivot do j = j - 1 end
      if i <= j then a[i], a[j] = a[j], a[i]; i = i + 1; j = j - 1 end
    end
    if j - l < h - i then quicksort(l, j); l = i else quicksort(i, h); h = j end
  end
end
local seed, sum = 1, 0
for round = 1, 60000 do
  for k = 0, 23 do
    seed = (seed * 1103 + 12345) % 65536
    a[k] = seed
  end
  quicksort(0, 23)
  sum = (sum + a[0] + a[12] + a[23]) % 1000000
end
io.write(sum, " ")
