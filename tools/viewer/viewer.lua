-- The model viewer: shows one scene file framed by an orbit camera.
--
-- tools/view writes a start script that sets these globals and sources this
-- file:
--   VIEW_FILE     the scene file to show (an absolute path)
--   VIEW_NAME     the name shown on screen
--   VIEW_FOLDER   this folder, ending in "/" (for light.i3d)
--   VIEW_SHOTS    when set: a folder; four views are saved there as
--                 view_1.png .. view_4.png and the viewer exits
--   VIEW_SAVE     the folder screenshots go to (key P), ending in "/"
-- luacheck: read globals VIEW_FILE VIEW_NAME VIEW_FOLDER VIEW_SHOTS VIEW_SAVE
--
-- Mouse: left drag turns, wheel zooms, middle drag or Shift + left drag
-- pans. Keys: L light follows the camera / stays, W wire frame, D debug
-- drawing mode, N next animation clip, S statistics page, P screenshot,
-- F frame the model again, H help text, Esc quit.

viewer = viewer or {}
local V = viewer

local KEY_ESCAPE = 27
local KEY_LSHIFT = 304
local KEY_RSHIFT = 303
local BUTTON_LEFT, BUTTON_MIDDLE, WHEEL_UP, WHEEL_DOWN = 1, 2, 4, 5
local FIELD_OF_VIEW = 45
local DEBUG_MODES = 5

local function clamp(v, lo, hi)
    if v < lo then return lo elseif v > hi then return hi end
    return v
end

-- The camera's position and angles for the current orbit.
function V.placeCamera()
    local cp, sp = math.cos(V.pitch), math.sin(V.pitch)
    local cy, sy = math.cos(V.yaw), math.sin(V.yaw)
    local c = V.center
    setTranslation(V.camera, c[1] + V.distance * cp * sy, c[2] + V.distance * sp,
        c[3] + V.distance * cp * cy)
    -- The camera looks along its -Z axis: turned down by the pitch, then
    -- about Y by the yaw.
    setRotation(V.camera, -V.pitch, V.yaw, 0)
end

-- Frames the model: the orbit centre at the middle of its bounds, the
-- distance so that its bounding sphere fills the view.
function V.frame()
    V.center = {V.middle[1], V.middle[2], V.middle[3]}
    V.yaw, V.pitch = 0.6, 0.35
    V.distance = V.radius / math.sin(math.rad(FIELD_OF_VIEW) * 0.5) * 1.15
end

function V.setLightFollows(follows)
    V.lightFollows = follows
    unlink(V.light)
    if follows then
        setTranslation(V.light, 0, 0, 0)
        setRotation(V.light, 0, 0, 0)
        link(V.camera, V.light)
    else
        -- Stays where the camera is now.
        local x, y, z = getWorldTranslation(V.camera)
        local rx, ry, rz = getWorldRotation(V.camera)
        setTranslation(V.light, x, y, z)
        setRotation(V.light, rx, ry, rz)
        link(getRootNode(), V.light)
    end
end

function init()
    V.shift = false
    V.debugMode = 0
    V.wireframe = false
    V.showHelp = true
    V.shots = 0
    V.frameCount = 0
    V.scene = loadI3DFile(VIEW_FILE)
    if V.scene == nil or V.scene == 0 then
        print("Error: the viewer cannot load " .. tostring(VIEW_FILE))
        requestExit()
        return
    end
    link(getRootNode(), V.scene)
    V.triangles = getTriangleCount(V.scene)
    local x0, y0, z0 = getWorldBoundsMin(V.scene)
    local x1, y1, z1 = getWorldBoundsMax(V.scene)
    if x0 == nil then
        x0, y0, z0, x1, y1, z1 = -1, -1, -1, 1, 1, 1
    end
    V.boundsMin = {x0, y0, z0}
    V.boundsMax = {x1, y1, z1}
    V.middle = {(x0 + x1) * 0.5, (y0 + y1) * 0.5, (z0 + z1) * 0.5}
    local dx, dy, dz = x1 - x0, y1 - y0, z1 - z0
    V.radius = math.max(math.sqrt(dx * dx + dy * dy + dz * dz) * 0.5, 0.01)
    V.camera = createCamera("viewerCamera", FIELD_OF_VIEW, V.radius * 0.01, V.radius * 100)
    link(getRootNode(), V.camera)
    setCamera(V.camera)
    setAmbientColor(0.3, 0.3, 0.3)
    V.light = loadI3DFile(VIEW_FOLDER .. "light.i3d")
    V.frame()
    V.placeCamera()
    if V.light ~= 0 then
        V.setLightFollows(true)
    end
    print(string.format("viewer: %s, %d triangles, bounds %.4g %.4g %.4g to %.4g %.4g %.4g",
        VIEW_NAME, V.triangles, x0, y0, z0, x1, y1, z1))
end

-- Four views around the model, one per frame, then the end of the run.
local function takeShot()
    V.shots = V.shots + 1
    if V.shots > 4 then
        requestExit()
        return
    end
    V.frame()
    V.yaw = V.yaw + (V.shots - 1) * math.pi * 0.5
    V.placeCamera()
    if V.lightFollows then
        V.setLightFollows(true)
    end
    local path = VIEW_SHOTS .. "view_" .. V.shots .. ".png"
    saveScreenshot(path)
    print("viewer shot " .. path)
end

function update(dt)
    if V.scene == nil or V.camera == nil then
        return
    end
    V.frameCount = V.frameCount + 1
    if VIEW_SHOTS ~= nil then
        -- The first frame builds the shaders; the shots follow.
        if V.frameCount > 1 then
            takeShot()
        end
        return
    end
    V.placeCamera()
end

function mouseEvent(x, y, isDown, isUp, button)
    if V.camera == nil or VIEW_SHOTS ~= nil then
        return
    end
    if isDown and button == WHEEL_UP then
        V.distance = V.distance * 0.9
    elseif isDown and button == WHEEL_DOWN then
        V.distance = V.distance / 0.9
    elseif isDown and (button == BUTTON_LEFT or button == BUTTON_MIDDLE) then
        V.drag = (button == BUTTON_MIDDLE or V.shift) and "pan" or "turn"
        V.lastX, V.lastY = x, y
    elseif isUp and (button == BUTTON_LEFT or button == BUTTON_MIDDLE) then
        V.drag = nil
    elseif V.drag ~= nil then
        local dx, dy = x - V.lastX, y - V.lastY
        V.lastX, V.lastY = x, y
        if V.drag == "turn" then
            V.yaw = V.yaw - dx * 4
            V.pitch = clamp(V.pitch - dy * 3, -1.5, 1.5)
        else
            -- Along the camera's right and up axes, by the distance.
            local cy, sy = math.cos(V.yaw), math.sin(V.yaw)
            local cp, sp = math.cos(V.pitch), math.sin(V.pitch)
            local right = {cy, 0, -sy}
            local up = {-sp * sy, cp, -sp * cy}
            local c = V.center
            for i = 1, 3 do
                c[i] = c[i] - (dx * right[i] + dy * up[i]) * V.distance
            end
        end
    end
end

function keyEvent(unicode, key, modifiers, isDown)
    if key == KEY_LSHIFT or key == KEY_RSHIFT then
        V.shift = isDown
        return
    end
    if not isDown or V.camera == nil then
        return
    end
    -- Letters arrive as their character codes; other keys have codes of
    -- 256 and more.
    local c = key < 256 and string.char(key):lower() or ""
    if key == KEY_ESCAPE then
        requestExit()
    elseif c == "l" and V.light ~= 0 then
        V.setLightFollows(not V.lightFollows)
    elseif c == "w" then
        V.wireframe = not V.wireframe
        setWireframe(V.wireframe)
    elseif c == "d" then
        V.debugMode = (V.debugMode + 1) % DEBUG_MODES
        setDebugDrawMode(V.debugMode)
    elseif c == "n" then
        nextAnimClipAll()
    elseif c == "s" then
        nextStatsPage()
    elseif c == "p" then
        V.saved = (V.saved or 0) + 1
        local path = string.format("%s%s_%d.png", VIEW_SAVE or "", VIEW_NAME, V.saved)
        saveScreenshot(path)
        print("viewer screenshot " .. path)
    elseif c == "f" then
        V.frame()
    elseif c == "h" then
        V.showHelp = not V.showHelp
    end
end

function draw()
    if V.scene == nil or V.boundsMin == nil then
        return
    end
    local lo, hi = V.boundsMin, V.boundsMax
    setTextColor(1, 1, 1, 1)
    setTextBold(true)
    renderText(0.01, 0.955, 0.04, VIEW_NAME)
    setTextBold(false)
    renderText(0.01, 0.915, 0.03, string.format("%d triangles", V.triangles))
    renderText(0.01, 0.88, 0.03, string.format("bounds %.3g %.3g %.3g .. %.3g %.3g %.3g",
        lo[1], lo[2], lo[3], hi[1], hi[2], hi[3]))
    if V.showHelp and VIEW_SHOTS == nil then
        renderText(0.01, 0.01, 0.02, string.format(
            "drag: turn  wheel: zoom  middle/Shift drag: pan  L: light %s  W: wire frame  " ..
            "D: debug %d  N: next clip  S: statistics  P: screenshot  F: frame  H: help",
            V.lightFollows and "follows" or "stays", V.debugMode))
    end
end
