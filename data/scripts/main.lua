-- Startup script of the sample game: a title screen, then a vehicle to
-- drive across a terrain in the rain, and a walk on foot around it.
--
-- Keys (the driving axes and the brake go through the input mappings, so a
-- joystick's first axes and buttons work as well):
--   Enter            start (title screen)
--   W/S, Up/Down     throttle and reverse      A/D, Left/Right   steer
--   Space            brake                     R                 rain: off, light, heavy
--   E                get out and walk / get back in (near the vehicle)
--   M                music on and off          Escape            quit
--   ` (back quote)   console    F2  FPS    F8  statistics pages (development controls)
--
-- Without a display (tools/run-sample, the integration test, the bench)
-- the environment variable SAMPLE_DRIVE_SECONDS makes the sample play a
-- scripted drive: it starts at once, accelerates, steers and brakes along a
-- fixed route while the rain starts, gets out and walks, saves screenshots
-- at fixed times (SAMPLE_SHOT_PREFIX, default "sample-drive", plus
-- "-<seconds>s." and SAMPLE_SHOT_EXTENSION, default "png", which also picks
-- the format), prints their paths and the distance driven, and quits. Without it,
-- SAMPLE_SCREENSHOT names a file for a screenshot of the title screen after
-- two seconds, and the sample quits then. SAMPLE_PROPS asks for that many
-- static props (rocks, posts, crates and two kinds of trees, from
-- scenes/props.i3d) scattered over the terrain, the same ones every run:
-- the crowded scene of tools/bench-sample.

local scriptedSeconds = tonumber(os.getenv("SAMPLE_DRIVE_SECONDS") or "")
local propCount = tonumber(os.getenv("SAMPLE_PROPS") or "")
local titleShot = os.getenv("SAMPLE_SCREENSHOT")
local titleShotTaken = false
local shotPrefix = os.getenv("SAMPLE_SHOT_PREFIX") or "sample-drive"
local shotExtension = os.getenv("SAMPLE_SHOT_EXTENSION") or "png"
-- Screenshots of the scripted drive, in seconds of game time.
local shotTimes = {1.5, 5.0, 9.0}
-- The rain of the scripted drive starts after this many seconds.
local RAIN_STARTS = 3.0

-- The scene's rain has this many drops at full strength.
local MAX_DROPS = 2000
local RAIN_LEVELS = {0, 0.3, 1.0}
-- Logical axes and buttons of the input mappings (keyboard defaults: axis
-- 0 A/D, 1 W/S, 2 Left/Right, 3 Up/Down; button 9 Space).
local AXIS_STEER, AXIS_THROTTLE, AXIS_STEER_ARROWS, AXIS_THROTTLE_ARROWS = 0, 1, 2, 3
local BUTTON_BRAKE = 9

-- Vehicle tuning: wheel mounts below the body (x, z), the suspension, the
-- drive and brake torques per wheel and the steering.
local WHEEL_MOUNTS = {{-0.95, 1.4}, {0.95, 1.4}, {-0.95, -1.4}, {0.95, -1.4}}
local WHEEL_RADIUS = 0.4
local DRIVE_TORQUE = 520
local BRAKE_TORQUE = 1800
local MAX_STEER = 0.5

local state = "title"
local logo
local elapsed = 0
local frames = 0
local fps, fpsFrames, fpsTime = 0, 0, 0

local scene, terrain, car, wheelRig, cameraRig, camera, sky, rain
local walker, walkerBody, walkerCCT
local wheels, wheelNodes, wheelSpin = {}, {}, {0, 0, 0, 0}
local rainLevel = 1
local engineSound, rainSound, music
local musicOn = true
-- A streamed sample plays its file twice (the theme is 32 s long); after
-- that the music starts again.
local MUSIC_PLAYS_MS = 64000
local musicPlayed = 0
local speed = 0
local distance = 0
local walked = 0
local lastWalkX, lastWalkZ
local lastX, lastZ
local camX, camY, camZ
local steerAngle = 0
local driveStart = 0
local shotIndex = 1
local message, messageTime = nil, 0

local function clamp(v, low, high)
    return math.max(low, math.min(high, v))
end

local function say(text)
    message = text
    messageTime = elapsed
end

local function setRain(level)
    rainLevel = level
    local scale = RAIN_LEVELS[level]
    if rain ~= nil then
        setDropCountScale(rain, scale)
    end
    if rainSound ~= nil then
        setSampleVolume(rainSound, 0.7 * scale)
    end
    print(string.format("sample: rain %d drops", math.floor(MAX_DROPS * scale + 0.5)))
end

local function loadWorld()
    scene = loadI3DFile("scenes/sample.i3d")
    if scene == nil or scene == 0 then
        print("Error: sample: scenes/sample.i3d did not load")
        return false
    end
    terrain = getChild(scene, "terrain")
    car = getChild(scene, "vehicle")
    cameraRig = getChild(scene, "cameraRig")
    camera = getChild(cameraRig, "camera")
    sky = getChild(scene, "sky")
    rain = getGeometry(getChild(scene, "rain"))
    walker = getChild(scene, "walker")
    walkerBody = getChild(walker, "walkerBody")
    wheelRig = getChild(scene, "vehicleWheels")
    for i = 1, 4 do
        wheelNodes[i] = getChild(wheelRig, "wheel" .. (i - 1))
    end
    return true
end

-- Copies of the prop kinds at random places off the track, the hut, the
-- ramp and the lamp, turned and scaled at random, in one group per square
-- of 32 units, so that the renderer's walk skips the squares out of view
-- as a whole. The generator is the engine's own kind (a linear
-- congruential one), so that the C runtime's is left alone and every run
-- places the same props.
local function scatterProps(count)
    local file = loadI3DFile("scenes/props.i3d")
    local kinds = file ~= nil and file ~= 0 and getChild(file, "propKinds") or 0
    if kinds == nil or kinds == 0 then
        print("Error: sample: scenes/props.i3d did not load")
        return
    end
    -- Per kind (its index in the file): rocks, post, crate, fir, broadleaf.
    local weights = {10, 10, 10, 15, 15, 20, 20}
    local total = 0
    for _, w in ipairs(weights) do
        total = total + w
    end
    local seed = 20000
    local function random()
        seed = (seed * 214013 + 2531011) % 4294967296
        return (math.floor(seed / 65536) % 32768) / 32768
    end
    local props = createTransformGroup("props")
    link(scene, props)
    local squares = {}
    local placed = 0
    while placed < count do
        local x = (random() - 0.5) * 480
        local z = (random() - 0.5) * 480
        local fromTrack = math.abs(math.sqrt((x - 34) ^ 2 + z * z) - 34)
        local clear = fromTrack > 7
        for _, p in ipairs({{-18, 26}, {14, -20}, {-10, 20}}) do
            clear = clear and (x - p[1]) ^ 2 + (z - p[2]) ^ 2 > 100
        end
        local pick = random() * total
        local kind = 1
        while kind < #weights and pick >= weights[kind] do
            pick = pick - weights[kind]
            kind = kind + 1
        end
        local turn = random() * 2 * math.pi
        local size = 0.7 + 0.6 * random()
        if clear then
            local key = math.floor((x + 240) / 32) * 16 + math.floor((z + 240) / 32)
            if squares[key] == nil then
                squares[key] = createTransformGroup("propSquare")
                link(props, squares[key])
            end
            local copy = clone(getChildAt(kinds, kind - 1), false)
            link(squares[key], copy)
            setTranslation(copy, x, getTerrainHeightAtWorldPos(terrain, x, 0, z) - 0.1, z)
            setRotation(copy, 0, turn, 0)
            setScale(copy, size, size, size)
            placed = placed + 1
        end
    end
    print(string.format("sample: %d props", placed))
end

local function startGame()
    if not loadWorld() then
        requestExit()
        return
    end
    link(getRootNode(), scene)
    if propCount ~= nil and propCount > 0 then
        scatterProps(math.floor(propCount))
    end
    setCamera(camera)
    setAmbientColor(0.32, 0.34, 0.38)
    setFog("linear", 90, 380, 0.62, 0.68, 0.74)
    for i, m in ipairs(WHEEL_MOUNTS) do
        wheels[i] = createWheelShape(car, m[1], -0.1, m[2], WHEEL_RADIUS, 0.3, 30000, 3500, 20)
    end
    local carX, _, carZ = getWorldTranslation(car)
    lastX, lastZ = carX, carZ
    camX, camY, camZ = getWorldTranslation(cameraRig)

    engineSound = createSample("engine")
    loadSample(engineSound, "sounds/engine.wav", false)
    playSample(engineSound, 0, 0.55, 0)
    rainSound = createSample("rain")
    loadSample(rainSound, "sounds/rain.wav", false)
    playSample(rainSound, 0, 0, 0)
    music = createStreamedSample("music")
    loadStreamedSample(music, "music/theme.ogg")
    playStreamedSample(music)

    setRain(scriptedSeconds ~= nil and 1 or 2)
    state = "drive"
    driveStart = elapsed
    print("sample: driving")
end

function init()
    setCaption("Engine sample")
    logo = createOverlay("sample logo", "textures/logo.png")
    if logo == nil then
        print("sample game: the logo image did not load")
    end
    -- The sun's shadows are part of the sample's look: the low GPU class
    -- turns shadow maps off, so the sample asks for the smallest ones.
    setShadowQuality(1)
    print("sample game: init")
end

-- Driver input: throttle (-1 back .. 1 forward), steering (-1 left .. 1
-- right, as seen from behind), brake (0 .. 1).
local function playerInput()
    local throttle = -getInputAxis(AXIS_THROTTLE)
    if throttle == 0 then
        throttle = -getInputAxis(AXIS_THROTTLE_ARROWS)
    end
    local steer = getInputAxis(AXIS_STEER)
    if steer == 0 then
        steer = getInputAxis(AXIS_STEER_ARROWS)
    end
    return throttle, steer, getInputButton(BUTTON_BRAKE)
end

-- The fixed route of the scripted drive, by seconds since the start: along
-- the dirt track, a circle that bends to the left (toward the vehicle's +x),
-- then a stop, and from GET_OUT_AT on a walk on foot.
local GET_OUT_AT = 7.8
local function scriptedInput(t)
    if t < 0.5 then
        return 0, 0, 1
    elseif t < 6.0 then
        return 1, -0.25, 0
    elseif t < GET_OUT_AT then
        return 0, -0.25, 1
    end
    return 1, 0.4, 0
end

local function driveVehicle(dt, throttle, steer, brake)
    -- Forward speed from the body's motion along its z axis.
    local x, y, z = getWorldTranslation(car)
    local fx, fy, fz = localDirectionToWorld(car, 0, 0, 1)
    local dx, dz = x - lastX, z - lastZ
    if dt > 0 then
        speed = (dx * fx + dz * fz) / (dt / 1000)
    end
    distance = distance + math.sqrt(dx * dx + dz * dz)
    lastX, lastZ = x, z

    local torque = DRIVE_TORQUE * throttle
    local brakeTorque = BRAKE_TORQUE * brake
    -- Throttle against the motion brakes first.
    if throttle * speed < 0 and math.abs(speed) > 1 then
        torque = 0
        brakeTorque = math.max(brakeTorque, BRAKE_TORQUE * math.abs(throttle))
    end
    -- A positive wheel angle turns toward the vehicle's +x: to the left.
    local target = -steer * MAX_STEER / (1 + math.abs(speed) / 15)
    steerAngle = steerAngle + clamp(target - steerAngle, -dt / 400, dt / 400)
    for i, w in ipairs(wheels) do
        local angle = i <= 2 and steerAngle or 0
        setWheelShapeProps(car, w, torque, brakeTorque, angle)
    end
end

-- Puts the drawn wheels where the suspension holds them and spins them.
local function placeWheels(dt)
    setTranslation(wheelRig, getWorldTranslation(car))
    setRotation(wheelRig, getWorldRotation(car))
    for i, w in ipairs(wheels) do
        local px, py, pz = getWheelShapePosition(car, w)
        setTranslation(wheelNodes[i], px, py, pz)
        wheelSpin[i] = (wheelSpin[i] + math.rad(getWheelShapeAxleSpeed(car, w)) * dt / 1000) %
                           (2 * math.pi)
        setRotation(wheelNodes[i], wheelSpin[i], i <= 2 and steerAngle or 0, 0)
    end
end

-- A camera that trails `node` at `back` units, `up` units high, eased.
local function followCamera(node, dt, back, up)
    local tx, ty, tz = localToWorld(node, 0, up, -back)
    local k = 1 - math.exp(-dt / 250)
    camX = camX + (tx - camX) * k
    camY = camY + (ty - camY) * k
    camZ = camZ + (tz - camZ) * k
    local ground = getTerrainHeightAtWorldPos(terrain, camX, 0, camZ) + 1.2
    if camY < ground then
        camY = ground
    end
    setTranslation(cameraRig, camX, camY, camZ)
    local lx, ly, lz = localToWorld(node, 0, 1, 2)
    -- The camera looks along its -z axis.
    setDirection(cameraRig, camX - lx, camY - ly, camZ - lz, 0, 1, 0)
    setTranslation(sky, camX, 0, camZ)
end

local function updateEngineSound()
    if engineSound ~= nil then
        setSamplePitch(engineSound, 0.6 + clamp(math.abs(speed) / 25, 0, 1.4))
    end
end

local function getOut()
    if math.abs(speed) > 3 then
        say("Stop first to get out")
        return
    end
    local x, _, z = localToWorld(car, -2.6, 0, 0)
    local y = getTerrainHeightAtWorldPos(terrain, x, 0, z) + 1.2
    setTranslation(walker, x, y, z)
    setVisibility(walker, true)
    walkerCCT = createCCT(walker, 0.35, 1.0, 0.4, 50, 0.05, 255, 0)
    if walkerCCT == nil then
        setVisibility(walker, false)
        return
    end
    local hx, hy, hz = localDirectionToWorld(car, 0, 0, 1)
    setDirection(walkerBody, hx, 0, hz, 0, 1, 0)
    lastWalkX, lastWalkZ = nil, nil
    state = "walk"
    print("sample: on foot")
end

local function getIn()
    local wx, wy, wz = getWorldTranslation(walker)
    local cx, cy, cz = getWorldTranslation(car)
    if (wx - cx) ^ 2 + (wz - cz) ^ 2 > 25 then
        say("Walk up to the vehicle to get in")
        return
    end
    removeCCT(walkerCCT)
    walkerCCT = nil
    setVisibility(walker, false)
    state = "drive"
end

local function walk(dt, throttle, steer)
    -- Forward is the camera's view direction on the ground.
    local fx, _, fz = localDirectionToWorld(cameraRig, 0, 0, -1)
    local len = math.sqrt(fx * fx + fz * fz)
    if len > 0 then
        fx, fz = fx / len, fz / len
    end
    local step = 4.0 * dt / 1000
    local mx = (fx * throttle - fz * steer) * step
    local mz = (fz * throttle + fx * steer) * step
    local x0, _, z0 = getWorldTranslation(walker)
    moveCCT(walkerCCT, mx, -9.81 * dt / 1000, mz, 255)
    -- The controller's move lands in the node with the next physics step:
    -- what is counted here is the last frame's.
    if lastWalkX ~= nil then
        walked = walked + math.sqrt((x0 - lastWalkX) ^ 2 + (z0 - lastWalkZ) ^ 2)
    end
    lastWalkX, lastWalkZ = x0, z0
    -- The body turns, not the controller's node: moving that node by hand
    -- would put the controller there and drop this frame's move.
    if mx ~= 0 or mz ~= 0 then
        setDirection(walkerBody, mx, 0, mz, 0, 1, 0)
    end
    followCamera(walker, dt, 4.5, 2.2)
    -- The vehicle stands with its brakes on.
    speed = 0
    for _, w in ipairs(wheels) do
        setWheelShapeProps(car, w, 0, BRAKE_TORQUE, 0)
    end
end

local function scriptedStep()
    local t = (elapsed - driveStart) / 1000
    if t >= RAIN_STARTS and rainLevel == 1 then
        setRain(#RAIN_LEVELS)
    end
    -- An empty prefix takes none (a bench: saving one takes a frame's time
    -- many times over).
    if shotPrefix ~= "" and shotIndex <= #shotTimes and t >= shotTimes[shotIndex] then
        local path = string.format("%s-%gs.%s", shotPrefix, shotTimes[shotIndex], shotExtension)
        saveScreenshot(path)
        print("sample: screenshot " .. path)
        shotIndex = shotIndex + 1
    end
    if t >= scriptedSeconds then
        print(string.format("sample: distance driven %.1f m, walked %.1f m in %.1f s", distance,
                            walked, t))
        requestExit()
        scriptedSeconds = math.huge
    end
    if t >= GET_OUT_AT and state == "drive" and math.abs(speed) < 3 then
        getOut()
    end
    return scriptedInput(t)
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
    if state == "title" then
        if scriptedSeconds ~= nil then
            startGame()
        elseif titleShot ~= nil and elapsed >= 2000 then
            if not titleShotTaken then
                -- Taken at the end of this frame, once everything is drawn.
                saveScreenshot(titleShot)
                titleShotTaken = true
            else
                requestExit()
            end
        end
        return
    end
    local throttle, steer, brake
    if scriptedSeconds ~= nil then
        throttle, steer, brake = scriptedStep()
    else
        throttle, steer, brake = playerInput()
    end
    if state == "drive" then
        driveVehicle(dt, throttle, steer, brake)
        followCamera(car, dt, 7.5, 2.8)
    else
        walk(dt, throttle, steer)
    end
    placeWheels(dt)
    updateEngineSound()
    if musicOn then
        musicPlayed = musicPlayed + dt
        if musicPlayed >= MUSIC_PLAYS_MS then
            stopStreamedSample(music)
            playStreamedSample(music)
            musicPlayed = 0
        end
    end
end

local function drawTitle()
    if logo ~= nil then
        -- A slow pulse of the logo's alpha.
        setOverlayColor(logo, 1, 1, 1, 0.75 + 0.25 * math.sin(elapsed / 400))
        renderOverlay(logo, 0.72, 0.55, 0.22, 0.22 * 4 / 3)
    end
    setTextBold(true)
    setTextColor(1.0, 0.85, 0.3, 1.0)
    renderText(0.06, 0.82, 0.07, "Engine sample")
    setTextBold(false)
    setTextColor(1, 1, 1, 1)
    renderText(0.06, 0.7, 0.035,
        "Drive across the meadow in the rain.\n" ..
        "A game whose rules live in data/scripts/main.lua.")
    setTextColor(0.7, 0.9, 1.0, 1.0)
    renderText(0.06, 0.5, 0.03,
        "Enter: start\n" ..
        "W/S or Up/Down: throttle    A/D or Left/Right: steer    Space: brake\n" ..
        "R: rain    E: get out / in    M: music\n" ..
        "`: console    F2: FPS    F8: statistics    Escape: quit")
    local pulse = 0.6 + 0.4 * math.sin(elapsed / 300)
    setTextColor(1, 1, 1, pulse)
    renderText(0.06, 0.2, 0.04, "Press Enter")
    setTextColor(1, 1, 1, 1)
end

function draw()
    if state == "title" then
        drawTitle()
        return
    end
    setTextBold(true)
    setTextColor(1, 1, 1, 0.95)
    if state == "drive" then
        renderText(0.04, 0.9, 0.06, string.format("%3d km/h", math.floor(math.abs(speed) * 3.6 + 0.5)))
    else
        renderText(0.04, 0.9, 0.05, "On foot")
    end
    setTextBold(false)
    setTextColor(0.8, 0.9, 1.0, 0.9)
    renderText(0.04, 0.85, 0.028, string.format("Rain: %d drops   Distance: %.0f m   %d FPS",
        math.floor(MAX_DROPS * RAIN_LEVELS[rainLevel] + 0.5), distance, fps))
    if message ~= nil and elapsed - messageTime < 2500 then
        setTextColor(1, 0.85, 0.4, 1)
        renderText(0.04, 0.78, 0.03, message)
    end
    setTextColor(1, 1, 1, 0.85)
    local help = state == "drive" and
        "W/S: throttle  A/D: steer  Space: brake  R: rain  E: get out  M: music  Esc: quit" or
        "W/S/A/D: walk  E: get in (near the vehicle)  R: rain  M: music  Esc: quit"
    renderText(0.02, 0.02, 0.025, help)
    setTextColor(1, 1, 1, 1)
end

function keyEvent(unicode, sym, modifier, isDown)
    if not isDown then
        return
    end
    if sym == Input.KEY_ESCAPE then
        requestExit()
    elseif scriptedSeconds ~= nil then
        -- The scripted drive takes no keys (a bench types console commands
        -- while it runs).
        return
    elseif state == "title" then
        if sym == Input.KEY_RETURN or sym == Input.KEY_KP_ENTER then
            startGame()
        end
    elseif sym == Input.KEY_r then
        setRain(rainLevel % #RAIN_LEVELS + 1)
    elseif sym == Input.KEY_m and music ~= nil then
        musicOn = not musicOn
        if musicOn then
            resumeStreamedSample(music)
        else
            pauseStreamedSample(music)
        end
    elseif sym == Input.KEY_e then
        if state == "drive" then
            getOut()
        else
            getIn()
        end
    end
end
