-- Integer and float arithmetic in a counted loop.
local x, y = 0, 0.0
for i = 1, 10000000 do
  x = x + i
  y = y * 0.5 + 1.0
end
print(x, y)
