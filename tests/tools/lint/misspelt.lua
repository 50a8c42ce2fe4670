-- A game script with two faults the lint must report: a misspelt engine
-- function and a global written by accident inside a function.

local box = 0

function init()
    box = createTransformGroup("box")
    link(getRootNode(), box)
end

function update(dt)
    setTranslaton(box, 0, dt * 0.001, 0)
    speed = dt * 0.01
end
