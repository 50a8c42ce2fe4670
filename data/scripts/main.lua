-- Startup script of the sample game: a title screen with text, an image
-- overlay, a frame counter, and the last key and mouse event.
--
-- Keys: Escape quits; with the development controls of game.xml the back
-- quote opens the console, F2 shows the engine's FPS and F8 cycles the
-- statistics pages.
--
-- With the environment variable SAMPLE_SCREENSHOT set to a file name, the
-- sample saves a screenshot there after two seconds and quits (the way it
-- runs where no display exists).

local screenshotPath = os.getenv("SAMPLE_SCREENSHOT")
local elapsed = 0
local frames = 0
local fps = 0
local fpsFrames = 0
local fpsTime = 0
local screenshotTaken = false
local lastKey = "none yet"
local lastMouse = "none yet"
local logo = nil

function init()
    setCaption("Engine sample")
    logo = createOverlay("sample logo", "textures/logo.png")
    if logo == nil then
        print("sample game: the logo image did not load")
    end
    print("sample game: init")
end

function update(dt)
    frames = frames + 1
    elapsed = elapsed + dt
    fpsFrames = fpsFrames + 1
    fpsTime = fpsTime + dt
    if fpsTime >= 500 then
        fps = math.floor(fpsFrames * 1000 / fpsTime + 0.5)
        fpsFrames = 0
        fpsTime = 0
    end
    if screenshotPath ~= nil and elapsed >= 2000 then
        if not screenshotTaken then
            -- Taken at the end of this frame, once everything is drawn.
            saveScreenshot(screenshotPath)
            screenshotTaken = true
        else
            requestExit()
        end
    end
end

function draw()
    if logo ~= nil then
        -- A slow pulse of the logo's alpha.
        local pulse = 0.75 + 0.25 * math.sin(elapsed / 400)
        setOverlayColor(logo, 1, 1, 1, pulse)
        renderOverlay(logo, 0.72, 0.55, 0.22, 0.22 * 4 / 3)
    end

    setTextBold(true)
    setTextColor(1.0, 0.85, 0.3, 1.0)
    renderText(0.06, 0.86, 0.07, "Engine sample")
    setTextBold(false)

    setTextColor(1, 1, 1, 1)
    renderText(0.06, 0.72, 0.035,
        "A game whose rules live in Lua scripts.\n" ..
        "This screen is drawn by data/scripts/main.lua.")

    setTextColor(0.7, 0.9, 1.0, 1.0)
    renderText(0.06, 0.45, 0.03,
        "Escape: quit\n" ..
        "` (back quote): console\n" ..
        "F2: engine FPS    F8: statistics pages")

    setTextColor(0.6, 1.0, 0.6, 1.0)
    renderText(0.06, 0.2, 0.03, "Last key: " .. lastKey .. "\nLast mouse: " .. lastMouse)

    setTextColor(1, 1, 1, 0.8)
    renderText(0.06, 0.04, 0.025,
        string.format("%d frames, %.1f s, %d frames per second", frames, elapsed / 1000, fps))
    setTextColor(1, 1, 1, 1)
end

function keyEvent(unicode, sym, modifier, isDown)
    if isDown then
        if unicode > 32 and unicode < 127 then
            lastKey = string.format("'%s' (code %d)", string.char(unicode), sym)
        else
            lastKey = string.format("code %d", sym)
        end
        if sym == Input.KEY_ESCAPE then
            requestExit()
        end
    end
end

function mouseEvent(posX, posY, isDown, isUp, button)
    local action = "moved"
    if isDown then
        action = "button " .. button .. " down"
    elseif isUp then
        action = "button " .. button .. " up"
    end
    lastMouse = string.format("%s at (%.2f, %.2f)", action, posX, posY)
end
