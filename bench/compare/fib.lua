-- A recursive function.
local function fib(n)
  local r = n
  if n > 1 then r = fib(n - 1) + fib(n - 2) end
  return r
end
print(fib(25))
