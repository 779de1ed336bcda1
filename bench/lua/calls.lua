local n, result = 0, 0
local function fib()
  local k, a = n, 0
  if k < 2 then
    result = k
  else
    n = k - 1; fib(); a = result
    n = k - 2; fib(); result = a + result
  end
end
local total = 0
for round = 1, 6000 do n = 17; fib(); total = total + result end
io.write(total, " ")
