-- Startup script of the sample game.
--
-- For now the sample shows what start-up does: the log lines of every
-- subsystem, the script entry points called in order, and a clean exit after
-- three seconds of game time.

local elapsed = 0
local frames = 0
local reported = 0

function init()
    print("sample game: init")
end

function update(dt)
    frames = frames + 1
    elapsed = elapsed + dt
    if elapsed - reported >= 1000 then
        reported = elapsed
        print("sample game: " .. frames .. " frames in " .. elapsed .. " ms")
    end
    if elapsed >= 3000 then
        print("sample game: done")
        requestExit()
    end
end

function draw()
end

function keyEvent(unicode, sym, modifier, isDown)
    if isDown and sym == Input.KEY_ESCAPE then
        requestExit()
    end
end

function mouseEvent(posX, posY, isDown, isUp, button)
end
