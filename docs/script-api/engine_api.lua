---@meta
-- The engine's script API for Lua language servers, written by the tool
-- scriptapidoc from the engine's script bindings. Do not edit.

-- Entry points: functions of the startup script that the engine calls

--- Called once after the startup script ran and the window, the default camera and every script function are ready: load the scene and start the game here.
---@alias entry.init fun()

--- Called every frame before the scene is drawn: move things, read input, run the game.
--- `dt`: milliseconds since the last frame
---@alias entry.update fun(dt: number)

--- Called every frame after the scene is drawn: queue text and overlays here.
---@alias entry.draw fun()

--- Called for every key press and release, also while the console is open.
--- `unicode`: the character typed, 0 for none
--- `sym`: key symbol (Input.KEY_*)
--- `modifier`: bit field of Input.MOD_* flags
--- `isDown`: true pressed, false released
---@alias entry.keyEvent fun(unicode: integer, sym: integer, modifier: integer, isDown: boolean)

--- Called for every mouse move, button press and release; a wheel step is a press and a release of button 4 or 5.
--- `x`: screen fractions from the bottom left
--- `y`: screen fractions from the bottom left
--- `isDown`: a button went down or up (both false for a move)
--- `isUp`: a button went down or up (both false for a move)
--- `button`: 1 left, 2 middle, 3 right, 4 wheel up, 5 wheel down, 0 for a move
---@alias entry.mouseEvent fun(x: number, y: number, isDown: boolean, isUp: boolean, button: integer)

-- Callbacks: functions a script names to the engine

--- Called at the start of a frame once a request of httpGetAsync has finished; with a target table it is called as the target's method. Requests still pending at shutdown are cancelled and never call back.
--- `body`: every byte, nil on failure
--- `reason`: why it failed
--- `request`: the id httpGetAsync returned
---@alias callback.httpCallback fun(body?: string, reason?: string, request: integer)

--- Called by loadI3DFile for every node of the file that names a script function in its onCreate attribute, in file order, after the physics objects were registered.
--- `node`: the node that names the function
---@alias callback.onCreate fun(node: integer)

--- Called by raycastAll for each hit, nearest first, until it returns anything but true, and by raycastClosest once.
--- `node`: the node hit, 0 for a body without one
--- `x`: world units, where the ray hit
--- `y`: world units, where the ray hit
--- `z`: world units, where the ray hit
--- `distance`: world units from the origin
--- returns `more`: true to hear of the next hit
---@alias callback.raycastCallback fun(node: integer, x: number, y: number, z: number, distance: number): boolean

--- Called by overlapSphere for each object in the sphere (always as a global function, there is no target).
--- `node`: the node found, 0 for a body without one
---@alias callback.overlapCallback fun(node: integer)

--- Called after a physics step for every body that entered, left or stays in the trigger volume registered with addTrigger.
--- `trigger`: the trigger's node
--- `other`: the node of the body, 0 when it has none
---@alias callback.triggerCallback fun(trigger: integer, other: integer, entered: boolean, left: boolean, stays: boolean)

--- Called after a physics step for every body the node registered with addContactReport touches.
--- `node`: the registered node
--- `other`: the node touched
--- `started`: true when the touch began this step
--- `normalForce`: newtons, pressing the bodies apart
--- `frictionForce`: newtons, along the surfaces
---@alias callback.contactCallback fun(node: integer, other: integer, started: boolean, normalForce: number, frictionForce: number)

--- Called when a timer's interval has passed; returning anything but true ends the timer. A timer whose function does not exist is deleted.
--- returns `again`: true to run again after the interval
---@alias callback.timerCallback fun(): boolean

--- Called once while the entity it listens to is destroyed; the entity can no longer be reached through its id.
---@alias callback.deleteListener fun()

-- Global functions

--- Returns the bitwise AND of two integers, for testing flag bits.
---@param a integer
---@param b integer
---@return integer result
function bitAND(a, b) end

--- Writes up to six values to the log on one line without separators: booleans as true or false, numbers in the log's number format, strings as they are; nil and tables are left out.
---@param value1? any
---@param value2? any
---@param value3? any
---@param value4? any
---@param value5? any
---@param value6? any
function print(value1, value2, value3, value4, value5, value6) end

--- Loads and runs another script file once; a file already loaded is not run again, a missing file or a script error is logged.
---@param path string script file, relative to the game folder
function source(path) end

--- Fetches the URL with an HTTP GET, holding the frame until it completes, and returns the response body (every byte). Returns nil when the request fails (the reason is logged) or the body is empty.
---@param url string http://host[:port]/path
---@return string body
function httpGet(url) end

--- Starts an HTTP GET on a worker thread and returns at once with the request's id; the callback gets the body (every byte) or nil and the reason at the start of a later frame. Returns nil when the request is refused (logged): a malformed URL or 16 requests already running.
---@param url string http://host[:port]/path
---@param callbackName string
---@param target? table
---@return integer request # id
function httpGetAsync(url, callbackName, target) end

--- Loads an XML configuration file into a new XMLConfigFile entity and returns its id. The id comes back also when the file cannot be read (logged); its reads then give nil.
---@param path string
---@param name string entity name
---@return integer file
function loadXMLFile(path, name) end

--- Returns the point of the spline at t; nil when the id names no shape with a spline.
---@param shape integer a shape with a spline
---@param t number 0 start to 1 end, wrapped into that range
---@return number x # world units, world space
---@return number y # world units, world space
---@return number z # world units, world space
function getSplinePosition(shape, t) end

--- Returns the rotation whose Z axis follows the spline at t with Y towards the up direction, for moving a node along it; nil when the id names no shape with a spline.
---@param shape integer a shape with a spline
---@param t number 0 start to 1 end, wrapped into that range
---@param upX number the up direction in world space
---@param upY number the up direction in world space
---@param upZ number the up direction in world space
---@return number rx # radians, Euler angles in world space
---@return number ry # radians, Euler angles in world space
---@return number rz # radians, Euler angles in world space
function getSplineOrientation(shape, t, upX, upY, upZ) end

--- Returns the length of the shape's spline; nil when the id names no shape.
---@param shape integer a shape with a spline
---@return number length # world units, 0 when the shape has no spline
function getSplineLength(shape) end

--- Makes the node the root of the scene that is drawn; an id that names no transform group is ignored.
---@param node integer a transform group
function setRootNode(node) end

--- Returns the root of the scene that is drawn; the engine makes one at start.
---@return integer node
function getRootNode() end

--- Returns where a world point appears on the screen through the active camera; nil without a camera or for a point in the camera's plane.
---@param x number world units, world space
---@param y number world units, world space
---@param z number world units, world space
---@return number sx # screen fractions from the bottom left
---@return number sy # screen fractions from the bottom left
---@return number depth # 0 at the near to 1 at the far clip plane
function project(x, y, z) end

--- Returns the world point under a screen position at the depth, the inverse of project; nil without a camera.
---@param sx number screen fractions from the bottom left
---@param sy number screen fractions from the bottom left
---@param depth number 0 at the near to 1 at the far clip plane
---@return number x # world units, world space
---@return number y # world units, world space
---@return number z # world units, world space
function unProject(sx, sy, depth) end

--- Makes the camera the one the scene is drawn through; an id that names no camera is ignored.
---@param camera integer
function setCamera(camera) end

--- Returns the camera the scene is drawn through; nil when there is none.
---@return integer camera
function getCamera() end

--- Sets the distance fog of the scene.
---@param mode string "linear", "exp" or "exp2", anything else switches fog off
---@param start number world units for linear fog, the density per world unit for exp and exp2
---@param end number world units, where linear fog is complete
---@param r number 0 to 1
---@param g number 0 to 1
---@param b number 0 to 1
function setFog(mode, start, end, r, g, b) end

--- Sets a layer of fog that fills the scene below a height.
---@param mode string "linear", "exp" or "exp2", anything else switches it off
---@param start number world units for linear fog, the density per world unit for exp and exp2
---@param end number world units, where linear fog is complete
---@param top number world units, the height of the fog layer's upper surface
---@param r number 0 to 1
---@param g number 0 to 1
---@param b number 0 to 1
function setVolumeFog(mode, start, end, top, r, g, b) end

--- Sets the light that reaches every surface from no particular direction.
---@param r number 0 to 1
---@param g number 0 to 1
---@param b number 0 to 1
function setAmbientColor(r, g, b) end

--- Loads a scene file and returns its root node, linked nowhere (link it to the root node to show it). Its physics objects are registered and its onCreate functions run first. Returns 0 when the file cannot be loaded (logged).
---@param path string scene file (.i3d)
---@return integer root
function loadI3DFile(path) end

--- Draws the scene passes as wire frames, as F4 does with development controls.
---@param wireframe boolean
function setWireframe(wireframe) end

--- Chooses the debug drawing of the frame, as F5 does; other numbers switch it off.
---@param mode integer 0 none, 1 everything the walks draw, 2 and 3 the light symbols, 4 the bounding spheres
function setDebugDrawMode(mode) end

--- Switches the physics simulation on or off; bodies keep their state while it is off.
---@param enabled boolean
function simulatePhysics(enabled) end

--- Runs as many extra physics steps of 16.67 milliseconds as fit into the time, at most 600 (more is logged and cut); a negative or non-finite time does nothing.
---@param time number milliseconds
function extraUpdatePhysics(time) end

--- Makes the physics world run slower or faster than the game; a negative or non-finite scale is ignored.
---@param scale number factor on the frame time, 1 is real time
function simulatePhysicsTimeScale(scale) end

--- Casts a ray and calls the raycast callback for every hit, nearest first, until it returns anything but true. Returns 0 without calling anything for a zero direction or a non-finite origin (logged once).
---@param x number world units, the ray's origin
---@param y number world units, the ray's origin
---@param z number world units, the ray's origin
---@param dx number direction, any length but not 0
---@param dy number direction, any length but not 0
---@param dz number direction, any length but not 0
---@param callbackName string
---@param maxDistance number world units
---@param target? table
---@return integer hits # number of hits reported
function raycastAll(x, y, z, dx, dy, dz, callbackName, maxDistance, target) end

--- Casts a ray and calls the raycast callback once with the closest hit. Returns 0 when nothing is hit or the ray is refused (logged once).
---@param x number world units, the ray's origin
---@param y number world units, the ray's origin
---@param z number world units, the ray's origin
---@param dx number direction, any length but not 0
---@param dy number direction, any length but not 0
---@param dz number direction, any length but not 0
---@param callbackName string
---@param maxDistance number world units
---@param target? table
---@return integer hits # 1 when something was hit, else 0
function raycastClosest(x, y, z, dx, dy, dz, callbackName, maxDistance, target) end

--- Calls the overlap callback once for every physics object that overlaps the sphere and returns their number; 0 for a radius of 0 or less (logged once).
---@param x number world units, the centre
---@param y number world units, the centre
---@param z number world units, the centre
---@param radius number world units, above 0
---@param callbackName string
---@return integer count
function overlapSphere(x, y, z, radius, callbackName) end

--- Removes the joint at the next physics step; an unknown id is ignored.
---@param joint integer id from JointConstructor:finalize
function removeJoint(joint) end

--- Limits or frees the joint's rotation about the axis at the next step; equal limits lock it. A bad axis or a non-finite limit is logged and ignored.
---@param joint integer
---@param axis integer 0, 1 or 2
---@param limited boolean
---@param low number radians
---@param high number radians
function setJointRotationLimit(joint, axis, limited, low, high) end

--- Limits or frees the joint's movement along the axis at the next step; limits closer than 0.001 lock it. A bad axis or a non-finite limit is logged and ignored.
---@param joint integer
---@param axis integer 0, 1 or 2
---@param limited boolean
---@param low number world units
---@param high number world units
function setJointTranslationLimit(joint, axis, limited, low, high) end

--- Moves the joint's frame on one of its two bodies to the node's world transform at the next step. Another actor index logs an error and changes nothing.
---@param joint integer
---@param actor integer 0 or 1
---@param node integer frame node
function setJointFrame(joint, actor, node) end

--- Queues a capsule character controller for the node and returns its id. Returns nil when the node is not a transform group or a value is refused (logged).
---@param node integer transform group the controller moves
---@param radius number world units
---@param height number world units
---@param stepOffset number world units, the highest step it climbs
---@param slopeLimit number degrees
---@param skinWidth number world units
---@param groupMask integer collision groups it collides with
---@param pushFactor number factor on the impulse given to bodies it walks into
---@return integer controller # id, counting up from 0
function createCCT(node, radius, height, stepOffset, slopeLimit, skinWidth, groupMask, pushFactor) end

--- Queues a move of the controller, which slides along what it touches; an unknown id is ignored.
---@param controller integer
---@param dx number world units, this step's displacement
---@param dy number world units, this step's displacement
---@param dz number world units, this step's displacement
---@param groupMask integer collision groups to collide with
function moveCCT(controller, dx, dy, dz, groupMask) end

--- Queues the controller's removal; an unknown id is ignored.
---@param controller integer
function removeCCT(controller) end

--- Tells where the controller touched something during its last move; all false for an unknown id.
---@param controller integer
---@return boolean sides # touched during the last move
---@return boolean above # touched during the last move
---@return boolean below # touched during the last move
function getCCTCollisionFlags(controller) end

--- Calls the trigger callback whenever a body enters, stays in or leaves the node's trigger volume, replacing an earlier callback of the node. A node without a trigger body is logged and ignored, an id that names no entity ignored.
---@param node integer node whose body is a trigger
---@param callbackName string
---@param target? table
function addTrigger(node, callbackName, target) end

--- Stops the trigger callbacks of the node; an unknown id is ignored.
---@param node integer
function removeTrigger(node) end

--- Calls the contact callback whenever the node's body starts, keeps or stops touching another body, replacing an earlier callback of the node. A node without a rigid body is logged and ignored, an id that names no entity ignored.
---@param node integer node with a rigid body
---@param callbackName string
---@param target? table
function addContactReport(node, callbackName, target) end

--- Stops the contact callbacks of the node; an unknown id is ignored.
---@param node integer
function removeContactReport(node) end

--- Calls the timer callback once the interval has passed, and again after every further interval for as long as it returns true; returns the timer's id.
---@param interval number milliseconds
---@param callbackName string
---@param target? table
---@return integer timer # id
function addTimer(interval, callbackName, target) end

--- Cancels the timer; an id that names no timer is ignored.
---@param timer integer
function removeTimer(timer) end

--- Changes the interval of the timer's following periods; the one running is kept. An id that names no timer is ignored.
---@param timer integer
---@param interval number milliseconds
function setTimerTime(timer, interval) end

--- Scales how far objects stay visible, for quality settings.
---@param coeff number factor on every view distance, 1 as authored
function setViewDistanceCoeff(coeff) end

--- Returns the view distance factor.
---@return number coeff # factor on every view distance
function getViewDistanceCoeff() end

--- Scales the distances at which the terrain switches to coarser detail.
---@param coeff number factor on the terrain's detail distances, 1 as authored
function setTerrainLODDistanceCoeff(coeff) end

--- Returns the terrain detail distance factor.
---@return number coeff # factor on the terrain's detail distances
function getTerrainLODDistanceCoeff() end

--- Stores the shadow quality for the renderer.
---@param quality number 0 none, 1 normal, 2 high
function setShadowQuality(quality) end

--- Returns the shadow quality.
---@return number quality # 0 none, 1 normal, 2 high
function getShadowQuality() end

--- Asks the engine to quit: the frame loop ends after the current frame.
function requestExit() end

--- Shows the next statistics page, as F8 does.
function nextStatsPage() end

--- Makes every character set play its next clip, as F3 does.
function nextAnimClipAll() end

--- Returns the stored fullscreen setting (game.graphic.display.fullscreen of the user configuration).
---@return boolean fullscreen
function getFullscreen() end

--- Stores the fullscreen setting in the user configuration and saves it; it takes effect at the next start.
---@param fullscreen boolean
function setFullscreen(fullscreen) end

--- Returns the stored setting for waiting on the display's refresh.
---@return boolean vsync
function getVsync() end

--- Stores the setting for waiting on the display's refresh and saves the configuration; it takes effect at the next start.
---@param vsync boolean
function setVsync(vsync) end

--- Returns the stored display gamma.
---@return number gamma # 1 is neutral, 0 when not stored
function getGamma() end

--- Stores the display gamma and saves the configuration.
---@param gamma number 1 is neutral
function setGamma(gamma) end

--- Returns the stored setting for trilinear texture filtering.
---@return boolean trilinear
function getFilterTrilinear() end

--- Stores the setting for trilinear texture filtering and saves the configuration; textures take it at the next start.
---@param trilinear boolean
function setFilterTrilinear(trilinear) end

--- Returns the level stored under game.graphic.display.filter.anisotropy.
---@return integer anisotropy # filtering level, 0 when not stored
function getFilterAnisotropy() end

--- Stores the level under game.graphic.display.filter.anisotropy and saves the configuration; texture filtering reads game.graphic.opengl.filter.anisotropy at start, which this does not change.
---@param anisotropy integer filtering level
function setFilterAnisotropy(anisotropy) end

--- Returns the stored number of multisampling samples.
---@return integer samples # 0 or 1 off, else 2, 4 or 8
function getMSAA() end

--- Stores the number of multisampling samples and saves the configuration; it takes effect at the next start.
---@param samples integer 0 or 1 off, else 2, 4 or 8
function setMSAA(samples) end

--- Sets the folder that terrain and detail layer files are read from.
---@param folder string
function setTerrainLoadDirectory(folder) end

--- Starts the program again with its command line and quits this instance; a failed start is logged and this instance still quits.
function restartApplication() end

--- Moves the mouse pointer inside the window, while the window has input focus.
---@param x number screen fraction from the left
---@param y number screen fraction from the top
function wrapMousePosition(x, y) end

--- Shows or hides the mouse pointer over the window.
---@param visible boolean
function setShowMouseCursor(visible) end

--- Returns the state of a logical button (keyboard mapping or joystick); 0 for an index out of range.
---@param button integer logical button 0 to 15
---@return number value # 0 released to 1 pressed
function getInputButton(button) end

--- Returns the keys that move the logical axis up and down; 0, 0 for an index out of range.
---@param axis integer logical axis 0 to 3
---@return integer positiveKey # key symbols, 0 unmapped
---@return integer negativeKey # key symbols, 0 unmapped
function getKeyboardAxisMapping(axis) end

--- Returns the key mapped to the logical button; 0 for an index out of range.
---@param button integer logical button 0 to 15
---@return integer key # key symbol, 0 unmapped
function getKeyboardButtonMapping(button) end

--- Maps two keys to the logical axis; an index out of range is ignored.
---@param axis integer logical axis 0 to 3
---@param positiveKey integer key symbols (Input.KEY_*), 0 unmapped
---@param negativeKey integer key symbols (Input.KEY_*), 0 unmapped
function setKeyboardAxisMapping(axis, positiveKey, negativeKey) end

--- Maps a key to the logical button; an index out of range is ignored.
---@param button integer logical button 0 to 15
---@param key integer key symbol (Input.KEY_*), 0 unmapped
function setKeyboardButtonMapping(button, key) end

--- Returns the position of a logical axis (keyboard mapping or joystick); 0 for an index out of range.
---@param axis integer logical axis 0 to 3
---@return number value # -1 to 1
function getInputAxis(axis) end

--- Returns the folder of the running program, valid until the next call.
---@return string folder # ends with "/"
function getAppBasePath() end

--- Returns the game's folder in the user's profile (settings, saved files), valid until the next call.
---@return string folder # ends with "/"
function getUserProfileAppPath() end

--- Copies a file; without overwrite an existing target is kept and nothing is copied.
---@param source string paths
---@param target string paths
---@param overwrite boolean
function copyFile(source, target, overwrite) end

--- Creates one folder; its parent must exist.
---@param path string
function createFolder(path) end

--- Returns the graphics quality class stored in the user configuration; nil when none is stored.
---@return string name # as stored, such as "medium"
function getGPUPerformanceClass() end

--- Stores the graphics quality class in the user configuration and saves it; it is applied at the next start.
---@param name string "low", "medium", "high" or "very high" (any case)
function setGPUPerformanceClass(name) end

--- Returns the quality class detected for this graphics card.
---@return string name # display name such as "Medium"
function getAutoGPUPerformanceClass() end

--- Saves a picture of the window once the current frame is complete, text included; a file that cannot be written is logged.
---@param path string the extension (.png, .jpg, .bmp, .tga) picks the format
function saveScreenshot(path) end

--- Returns how many display modes the screen offers.
---@return integer count
function getNumOfScreenModes() end

--- Returns the size of a display mode; 0, 0 for an unknown mode.
---@param mode integer 0 to count - 1
---@return integer width # pixels
---@return integer height # pixels
function getScreenModeInfo(mode) end

--- Returns the display mode whose size matches the window.
---@return integer mode # index, 0 when none matches
function getScreenMode() end

--- Stores the mode's size as the window size in the user configuration and saves it; it takes effect at the next start.
---@param mode integer 0 to count - 1
function setScreenMode(mode) end

--- Draws the text on top of this frame with the current colour and weight; call it from draw every frame it should show.
---@param x number screen fractions from the bottom left
---@param y number screen fractions from the bottom left
---@param size number screen fraction, the glyph height
---@param text string lines separated by "\n"
function renderText(x, y, size, text) end

--- Sets the colour of the text drawn from now on.
---@param r number 0 to 1
---@param g number 0 to 1
---@param b number 0 to 1
---@param a number 0 to 1
function setTextColor(r, g, b, a) end

--- Makes the text drawn from now on bold or regular.
---@param bold boolean
function setTextBold(bold) end

--- Sets the window's title.
---@param caption string
function setCaption(caption) end

-- Create functions: each makes an entity and returns its id

--- Makes an empty transform group, linked nowhere.
---@param name string
---@return integer id # id of the new TransformGroup
function createTransformGroup(name) end

--- Makes a camera, linked nowhere; link it and pass it to setCamera.
---@param name string
---@param fov number degrees, the vertical field of view
---@param nearClip number world units
---@param farClip number world units
---@return integer id # id of the new Camera
function createCamera(name, fov, nearClip, farClip) end

--- Makes an overlay showing the whole image; nil when the image cannot be loaded (logged).
---@param name string
---@param path string image file
---@return integer id # id of the new Overlay
function createOverlay(name, path) end

--- Makes an audio source node with its own sample loaded from the file; link it into the scene to hear it.
---@param name string
---@param path string sound file
---@param range? number world units, silent beyond, 10 when left out
---@param innerRange? number world units, full volume within, a third of the range when left out
---@param volume? number 0 to 1, 1 when left out
---@param loops? number 0 or left out repeats, anything else plays once
---@return integer id # id of the new AudioSource
function createAudioSource(name, path, range, innerRange, volume, loops) end

--- Makes an empty streamed sample; load a file into it next.
---@param name string
---@return integer id # id of the new StreamedSample
function createStreamedSample(name) end

--- Makes an empty sample; load a sound into it next.
---@param name string
---@return integer id # id of the new Sample
function createSample(name) end

-- Entity functions: the first argument is the entity's id

--- Deletes the entity. A shared object (a sample, a texture) is not deleted and a warning is logged. Entity function of Entity, Node.
---@param entity integer id of a Entity or of a class derived from it
function delete(entity) end

--- Returns the name of the entity's class, such as "TransformGroup". Entity function of Entity.
---@param entity integer id of a Entity or of a class derived from it
---@return string className
function getClassName(entity) end

--- Calls the delete listener callback when the entity is destroyed and returns the listener's id. Entity function of Entity.
---@param entity integer id of a Entity or of a class derived from it
---@param callbackName string
---@param target? table
---@return integer listener # id
function addDeleteListener(entity, callbackName, target) end

--- Removes a delete listener; an id that names no listener is ignored. Entity function of Entity.
---@param entity integer id of a Entity or of a class derived from it
---@param listener integer
function removeDeleteListener(entity, listener) end

--- Reads the text at the path as a decimal integer; nil when the path has no text. Entity function of Properties.
---@param properties integer id of a Properties or of a class derived from it
---@param path string dotted path such as "game.width"
---@return integer value
function getXMLInt(properties, path) end

--- Reads the text at the path as a number; nil when the path has no text. Entity function of Properties.
---@param properties integer id of a Properties or of a class derived from it
---@param path string dotted path
---@return number value # as written
function getXMLFloat(properties, path) end

--- Reads the text at the path as a flag: true when it is "true" in any case, false otherwise; nil when the path has no text. Entity function of Properties.
---@param properties integer id of a Properties or of a class derived from it
---@param path string dotted path
---@return boolean value
function getXMLBool(properties, path) end

--- Returns the text at the path; nil when the path has no text. Entity function of Properties.
---@param properties integer id of a Properties or of a class derived from it
---@param path string dotted path
---@return string value
function getXMLString(properties, path) end

--- Stores the integer as decimal text at the path, creating the elements it needs. Entity function of Properties.
---@param properties integer id of a Properties or of a class derived from it
---@param path string dotted path
---@param value integer
function setXMLInt(properties, path, value) end

--- Stores the number as text at the path, creating the elements it needs. Entity function of Properties.
---@param properties integer id of a Properties or of a class derived from it
---@param path string dotted path
---@param value number as stored
function setXMLFloat(properties, path, value) end

--- Stores "true" or "false" at the path, creating the elements it needs. Entity function of Properties.
---@param properties integer id of a Properties or of a class derived from it
---@param path string dotted path
---@param value boolean
function setXMLBool(properties, path, value) end

--- Stores the text at the path, creating the elements it needs. Entity function of Properties.
---@param properties integer id of a Properties or of a class derived from it
---@param path string dotted path
---@param value string
function setXMLString(properties, path, value) end

--- Writes the settings back to the file they were loaded from; a file that did not load is not written. Entity function of XMLConfigFile.
---@param file integer id of a XMLConfigFile or of a class derived from it
function saveXMLFile(file) end

--- Returns the parent of the node; nil for a node linked nowhere. Entity function of Node.
---@param node integer id of a Node or of a class derived from it
---@return integer parent
function getParent(node) end

--- Makes the child a child of this node, taking it from its old parent; an id that names no node is ignored. Entity function of Node.
---@param node integer id of a Node or of a class derived from it
---@param child integer
function link(node, child) end

--- Takes the node out of its parent; it then belongs to the script until linked again. Entity function of Node.
---@param node integer id of a Node or of a class derived from it
function unlink(node) end

--- Returns the number of direct children. Entity function of Node.
---@param node integer id of a Node or of a class derived from it
---@return integer count
function getNumOfChildren(node) end

--- Returns the child at the index; nil for an index outside the children. Entity function of Node.
---@param node integer id of a Node or of a class derived from it
---@param index integer 0 to count - 1
---@return integer child
function getChildAt(node, index) end

--- Returns the first direct child with the name; 0 when there is none. Entity function of Node.
---@param node integer id of a Node or of a class derived from it
---@param name string exact, case-sensitive
---@return integer child
function getChild(node, name) end

--- Returns the node's name. Entity function of Node.
---@param node integer id of a Node or of a class derived from it
---@return string name
function getName(node) end

--- Renames the node. Entity function of Node.
---@param node integer id of a Node or of a class derived from it
---@param name string
function setName(node, name) end

--- Unlinks the child at the index without deleting it; an index outside the children is ignored. Entity function of Node.
---@param node integer id of a Node or of a class derived from it
---@param index integer 0 to count - 1
function removeChildAt(node, index) end

--- Switches the node and everything below it on or off for drawing and updates. Entity function of Node.
---@param node integer id of a Node or of a class derived from it
---@param enabled boolean
function setEnabled(node, enabled) end

--- Returns whether the node is switched on. Entity function of Node.
---@param node integer id of a Node or of a class derived from it
---@return boolean enabled
function isEnabled(node) end

--- Keeps the node drawn even where the view test would leave it out. Entity function of Node.
---@param node integer id of a Node or of a class derived from it
---@param override boolean
function setCullOverride(node, override) end

--- Returns whether the node skips the view test. Entity function of Node.
---@param node integer id of a Node or of a class derived from it
---@return boolean override
function getCullOverride(node) end

--- Returns the number of triangles the mesh shapes of the node and its subtree draw. Entity function of Node.
---@param node integer id of a Node or of a class derived from it
---@return integer triangles
function getTriangleCount(node) end

--- Returns the smallest corner of the box around the vertices of the mesh shapes of the node and its subtree; nil when they have none. Entity function of Node.
---@param node integer id of a Node or of a class derived from it
---@return number x # world units, world space
---@return number y # world units, world space
---@return number z # world units, world space
function getWorldBoundsMin(node) end

--- Returns the largest corner of the box around the vertices of the mesh shapes of the node and its subtree; nil when they have none. Entity function of Node.
---@param node integer id of a Node or of a class derived from it
---@return number x # world units, world space
---@return number y # world units, world space
---@return number z # world units, world space
function getWorldBoundsMax(node) end

--- Moves the node to a position relative to its parent. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param x number world units, in the parent's space
---@param y number world units, in the parent's space
---@param z number world units, in the parent's space
function setTranslation(node, x, y, z) end

--- Returns the node's position relative to its parent. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@return number x # world units, in the parent's space
---@return number y # world units, in the parent's space
---@return number z # world units, in the parent's space
function getTranslation(node) end

--- Returns the node's position in the world. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@return number x # world units, world space
---@return number y # world units, world space
---@return number z # world units, world space
function getWorldTranslation(node) end

--- Converts a point from the node's space into world space. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param x number world units, the node's space
---@param y number world units, the node's space
---@param z number world units, the node's space
---@return number x # world units, world space
---@return number y # world units, world space
---@return number z # world units, world space
function localToWorld(node, x, y, z) end

--- Turns a direction from the node's space into world space, scaled with the node but not normalised. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param dx number direction in the node's space
---@param dy number direction in the node's space
---@param dz number direction in the node's space
---@return number dx # direction in world space
---@return number dy # direction in world space
---@return number dz # direction in world space
function localDirectionToWorld(node, dx, dy, dz) end

--- Converts a point from world space into the node's space. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param x number world units, world space
---@param y number world units, world space
---@param z number world units, world space
---@return number x # world units, the node's space
---@return number y # world units, the node's space
---@return number z # world units, the node's space
function worldToLocal(node, x, y, z) end

--- Turns a direction from world space into the node's space. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param dx number direction in world space
---@param dy number direction in world space
---@param dz number direction in world space
---@return number dx # direction in the node's space
---@return number dy # direction in the node's space
---@return number dz # direction in the node's space
function worldDirectionToLocal(node, dx, dy, dz) end

--- Turns the node to the angles about its parent's X, Y and Z axes. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param rx number radians, Euler angles relative to the parent
---@param ry number radians, Euler angles relative to the parent
---@param rz number radians, Euler angles relative to the parent
function setRotation(node, rx, ry, rz) end

--- Returns the node's rotation relative to its parent. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@return number rx # radians, Euler angles relative to the parent
---@return number ry # radians, Euler angles relative to the parent
---@return number rz # radians, Euler angles relative to the parent
function getRotation(node) end

--- Returns the node's rotation in the world, without its scale. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@return number rx # radians, Euler angles in world space
---@return number ry # radians, Euler angles in world space
---@return number rz # radians, Euler angles in world space
function getWorldRotation(node) end

--- Turns the node so that its Z axis points along the direction; the scale becomes 1. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param dx number direction for the node's Z axis, in the parent's space
---@param dy number direction for the node's Z axis, in the parent's space
---@param dz number direction for the node's Z axis, in the parent's space
---@param upX number up hint for its Y axis
---@param upY number up hint for its Y axis
---@param upZ number up hint for its Y axis
function setDirection(node, dx, dy, dz, upX, upY, upZ) end

--- Scales the node along its axes. A dynamic body scaled to anything but 1 logs an error; the scale is applied all the same. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param sx number factors, 1 for the authored size
---@param sy number factors, 1 for the authored size
---@param sz number factors, 1 for the authored size
function setScale(node, sx, sy, sz) end

--- Returns the node's scale. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@return number sx # factors
---@return number sy # factors
---@return number sz # factors
function getScale(node) end

--- Shows or hides the node and everything below it; hidden nodes still collide. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param visible boolean
function setVisibility(node, visible) end

--- Returns whether the node is shown. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@return boolean visible
function getVisibility(node) end

--- With false the node ignores its parent's transform and its own is taken as world space. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param inherit boolean
function setInheritTransform(node, inherit) end

--- Copies the node with everything below it, registers the copy's physics objects and returns the copy; nil when the node cannot be copied. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param linkToParent boolean also link the copy to this node's parent
---@return integer copy
function clone(node, linkToParent) end

--- Returns the value of a user attribute from the scene file; nil when the node has no attribute of that name. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param name string
---@return any value # boolean, integer, number or string
function getUserAttribute(node, name) end

--- Creates or replaces a user attribute; a value that does not fit the type, or another type name, changes nothing. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param name string
---@param type string "Integer", "Float", "String" or "Boolean"
---@param value any
function setUserAttribute(node, name, type, value) end

--- Pushes the node's body at the next physics step. Nothing happens without a rigid body; a non-finite value is logged and ignored. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param fx number newtons (world units, kilograms, seconds)
---@param fy number newtons (world units, kilograms, seconds)
---@param fz number newtons (world units, kilograms, seconds)
---@param px number world units
---@param py number world units
---@param pz number world units
---@param impulse boolean true: an impulse in newton seconds at a world position, false: a force at a position in the body's own frame
function addForce(node, fx, fy, fz, px, py, pz, impulse) end

--- Another name for addForce, with the same arguments and behaviour. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param fx number newtons or newton seconds
---@param fy number newtons or newton seconds
---@param fz number newtons or newton seconds
---@param px number world units
---@param py number world units
---@param pz number world units
---@param impulse boolean as for addForce
function addImpulse(node, fx, fy, fz, px, py, pz, impulse) end

--- Gives the node a rigid body of the type, built from its collision shapes, or removes it. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param type string "Static", "Dynamic" or "Kinematic", any other text removes the body
function setRigidBodyType(node, type) end

--- Returns the kind of rigid body the node has. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@return string type # "Static", "Dynamic", "Kinematic" or "NoRigidBody"
function getRigidBodyType(node) end

--- Sets which collision groups the node's body collides with; ignored without a body. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param mask integer bit field of collision groups
function setCollisionMask(node, mask) end

--- Returns the collision mask of the node's body. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@return integer mask # bit field, 0 without body
function getCollisionMask(node) end

--- Returns the centre of mass of a dynamic body; nil for any other node. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@return number x # world units in the body's frame
---@return number y # world units in the body's frame
---@return number z # world units in the body's frame
function getCenterOfMass(node) end

--- Moves the centre of mass of a dynamic body; other nodes are left alone. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param x number world units in the body's frame
---@param y number world units in the body's frame
---@param z number world units in the body's frame
function setCenterOfMass(node, x, y, z) end

--- Sets the mass of a dynamic or kinematic body, taken at the next step. A mass of 0 or less, or a body not built yet, is logged and changes nothing. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param mass number kilograms, above 0
function setMass(node, mass) end

--- Returns the mass of the node's body. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@return number mass # kilograms, 0 without a built body
function getMass(node) end

--- Drives the joint that the node carries at the next step: a position drive turns to the angle about the axis, a velocity drive spins at the velocity. A zero axis for a position drive is logged and ignored. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param angle number degrees, for a position drive
---@param x number the drive's axis, or for a velocity drive the angular velocity in radians per second
---@param y number the drive's axis, or for a velocity drive the angular velocity in radians per second
---@param z number the drive's axis, or for a velocity drive the angular velocity in radians per second
function setJointDrive(node, angle, x, y, z) end

--- Queues a wheel on the node's dynamic or kinematic body and returns its index. Returns nil when the body is neither or a value is refused (logged). Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param x number world units in the body's frame, the suspension mount
---@param y number world units in the body's frame, the suspension mount
---@param z number world units in the body's frame, the suspension mount
---@param radius number world units
---@param suspensionTravel number world units
---@param spring number newtons per world unit
---@param damper number newton seconds per world unit
---@param mass number kilograms
---@return integer wheel # index on this node, from 0
function createWheelShape(node, x, y, z, radius, suspensionTravel, spring, damper, mass) end

--- Sets the wheel's drive and brake torque and its steering angle at the next step. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param wheel integer
---@param motorTorque number newton metres
---@param brakeTorque number newton metres
---@param steerAngle number radians
function setWheelShapeProps(node, wheel, motorTorque, brakeTorque, steerAngle) end

--- Returns how fast the wheel turns. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param wheel integer
---@return number speed # degrees per second, 0 for an unknown wheel
function getWheelShapeAxleSpeed(node, wheel) end

--- Returns where the wheel touches the ground; nil while it touches nothing. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param wheel integer
---@return number x # world units, world space
---@return number y # world units, world space
---@return number z # world units, world space
function getWheelShapeContactPoint(node, wheel) end

--- Returns the wheel's centre on its suspension, for placing a wheel model; 0, 0, 0 for an unknown wheel. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@param wheel integer
---@return number x # world units in the body's frame
---@return number y # world units in the body's frame
---@return number z # world units in the body's frame
function getWheelShapePosition(node, wheel) end

--- Returns the character set that animates the node, from its scene file. Entity function of TransformGroup.
---@param node integer id of a TransformGroup or of a class derived from it
---@return integer characterSet # id, 0 when none
function getAnimCharacterSet(node) end

--- Returns the light's colour. Entity function of Light.
---@param light integer id of a Light or of a class derived from it
---@return number r # 0 to 1, more for brighter light
---@return number g # 0 to 1, more for brighter light
---@return number b # 0 to 1, more for brighter light
function getLightDiffuseColor(light) end

--- Sets the colour the light gives to lit surfaces. Entity function of Light.
---@param light integer id of a Light or of a class derived from it
---@param r number 0 to 1, more for brighter light
---@param g number 0 to 1, more for brighter light
---@param b number 0 to 1, more for brighter light
function setLightDiffuseColor(light, r, g, b) end

--- Returns the colour of the light's highlights. Entity function of Light.
---@param light integer id of a Light or of a class derived from it
---@return number r # 0 to 1
---@return number g # 0 to 1
---@return number b # 0 to 1
function getLightSpecularColor(light) end

--- Sets the colour of the light's highlights. Entity function of Light.
---@param light integer id of a Light or of a class derived from it
---@param r number 0 to 1
---@param g number 0 to 1
---@param b number 0 to 1
function setLightSpecularColor(light, r, g, b) end

--- Returns how far the light reaches. Entity function of Light.
---@param light integer id of a Light or of a class derived from it
---@return number range # world units
function getLightRange(light) end

--- Sets how far a point or spot light reaches. Entity function of Light.
---@param light integer id of a Light or of a class derived from it
---@param range number world units
function setLightRange(light, range) end

--- Draws the camera towards the point as a follow camera and moves it along its view axis, keeping its orientation. Entity function of Camera.
---@param camera integer id of a Camera or of a class derived from it
---@param x number world units, the point to follow
---@param y number world units, the point to follow
---@param z number world units, the point to follow
---@param offset number world units, moved along the camera's own Z axis
---@param pull number factor, how strongly it is drawn to the point
---@param stiffness number factor on the squared distance
function aimCamera(camera, x, y, z, offset, pull, stiffness) end

--- Returns the geometry the shape draws. Entity function of Shape.
---@param shape integer id of a Shape or of a class derived from it
---@return integer geometry # id, 0 when none
function getGeometry(shape) end

--- Sets a custom shader parameter in every material of the shape; the materials are shared, so other shapes using them change too. Entity function of Shape.
---@param shape integer id of a Shape or of a class derived from it
---@param name string the parameter's name in the material's shader
---@param x number the value's four components
---@param y number the value's four components
---@param z number the value's four components
---@param w number the value's four components
function setShaderParameter(shape, name, x, y, z, w) end

--- Tints the overlay's texture and sets its opacity. Entity function of Overlay.
---@param overlay integer id of a Overlay or of a class derived from it
---@param r number 0 to 1
---@param g number 0 to 1
---@param b number 0 to 1
---@param a number 0 to 1
function setOverlayColor(overlay, r, g, b, a) end

--- Chooses the part of the texture the overlay shows. Entity function of Overlay.
---@param overlay integer id of a Overlay or of a class derived from it
---@param u0 number texture coordinates of the lower left corner, 0 to 1 across the texture
---@param v0 number texture coordinates of the lower left corner, 0 to 1 across the texture
---@param u1 number of the upper left corner
---@param v1 number of the upper left corner
---@param u2 number of the lower right corner
---@param v2 number of the lower right corner
---@param u3 number of the upper right corner
---@param v3 number of the upper right corner
function setOverlayUVs(overlay, u0, v0, u1, v1, u2, v2, u3, v3) end

--- Draws the overlay at once on top of the scene; call it from draw every frame it should show. Entity function of Overlay.
---@param overlay integer id of a Overlay or of a class derived from it
---@param x number screen fractions from the bottom left, the lower left corner
---@param y number screen fractions from the bottom left, the lower left corner
---@param width number screen fractions
---@param height number screen fractions
function renderOverlay(overlay, x, y, width, height) end

--- Loads the sound into the sample. A sample already loaded, a missing file or no sound device is logged and changes nothing. Entity function of Sample.
---@param sample integer id of a Sample or of a class derived from it
---@param path string sound file (.wav or .ogg)
---@param spatial boolean true for a sound placed in the world
function loadSample(sample, path, spatial) end

--- Plays the loaded sound; a sample that has not loaded does nothing. Entity function of Sample.
---@param sample integer id of a Sample or of a class derived from it
---@param loops integer 0 repeats until stopped, any other number plays once
---@param volume number 0 silent to 1 full
---@param startTime number milliseconds into the sound to start at
function playSample(sample, loops, volume, startTime) end

--- Stops the sample's sound. Entity function of Sample.
---@param sample integer id of a Sample or of a class derived from it
function stopSample(sample) end

--- Plays the sound higher and faster or lower and slower. Entity function of Sample.
---@param sample integer id of a Sample or of a class derived from it
---@param pitch number factor, 1 as recorded
function setSamplePitch(sample, pitch) end

--- Sets the sample's volume; a sample that has not loaded does nothing. Entity function of Sample.
---@param sample integer id of a Sample or of a class derived from it
---@param volume number 0 silent to 1 full
function setSampleVolume(sample, volume) end

--- Returns the length of the loaded sound. Entity function of Sample.
---@param sample integer id of a Sample or of a class derived from it
---@return number duration # milliseconds, 0 before a sound is loaded
function getSampleDuration(sample) end

--- Opens the file for streaming. A streamed sample already loaded is logged; a file that is not .ogg or cannot be opened is ignored. Entity function of StreamedSample.
---@param music integer id of a StreamedSample or of a class derived from it
---@param path string Ogg Vorbis file (.ogg)
function loadStreamedSample(music, path) end

--- Plays the file from its start, twice through; without a loaded file an error is logged. Entity function of StreamedSample.
---@param music integer id of a StreamedSample or of a class derived from it
function playStreamedSample(music) end

--- Pauses the music where it is; without a loaded file an error is logged. Entity function of StreamedSample.
---@param music integer id of a StreamedSample or of a class derived from it
function pauseStreamedSample(music) end

--- Goes on playing after a pause; without a loaded file an error is logged. Entity function of StreamedSample.
---@param music integer id of a StreamedSample or of a class derived from it
function resumeStreamedSample(music) end

--- Stops the music; without a loaded file an error is logged. Entity function of StreamedSample.
---@param music integer id of a StreamedSample or of a class derived from it
function stopStreamedSample(music) end

--- Returns the sample the source plays, to change its volume or pitch. Entity function of AudioSource.
---@param source integer id of a AudioSource or of a class derived from it
---@return integer sample # id, 0 when none
function getAudioSourceSample(source) end

--- Lets the track's clip move the character; a bad track is logged. Entity function of CharacterSet.
---@param characterSet integer id of a CharacterSet or of a class derived from it
---@param track integer 0 to 3
function enableAnimTrack(characterSet, track) end

--- Stops the track from moving the character; a bad track is logged. Entity function of CharacterSet.
---@param characterSet integer id of a CharacterSet or of a class derived from it
---@param track integer 0 to 3
function disableAnimTrack(characterSet, track) end

--- Returns whether the track is enabled; nil for a bad track (logged). Entity function of CharacterSet.
---@param characterSet integer id of a CharacterSet or of a class derived from it
---@param track integer 0 to 3
---@return boolean enabled
function isAnimTrackEnabled(characterSet, track) end

--- Sets how fast the track plays its clip; a bad track is logged. Entity function of CharacterSet.
---@param characterSet integer id of a CharacterSet or of a class derived from it
---@param track integer 0 to 3
---@param speed number factor, 1 as authored, negative plays backwards
function setAnimTrackSpeedScale(characterSet, track, speed) end

--- Makes the track repeat its clip or stop at the end; a bad track is logged. Entity function of CharacterSet.
---@param characterSet integer id of a CharacterSet or of a class derived from it
---@param track integer 0 to 3
---@param loop boolean
function setAnimTrackLoopState(characterSet, track, loop) end

--- Moves the track to a time in its clip; a bad track is logged. Entity function of CharacterSet.
---@param characterSet integer id of a CharacterSet or of a class derived from it
---@param track integer 0 to 3
---@param time number milliseconds into the clip
function setAnimTrackTime(characterSet, track, time) end

--- Returns where the track is in its clip; 0 for a bad track (logged). Entity function of CharacterSet.
---@param characterSet integer id of a CharacterSet or of a class derived from it
---@param track integer 0 to 3
---@return number time # milliseconds into the clip
function getAnimTrackTime(characterSet, track) end

--- Returns the length of a clip. Entity function of CharacterSet.
---@param characterSet integer id of a CharacterSet or of a class derived from it
---@param clip integer index from 0
---@return number duration # milliseconds, 0 for an unknown clip
function getAnimClipDuration(characterSet, clip) end

--- Sets how much the track counts when several tracks move the character. Entity function of CharacterSet.
---@param characterSet integer id of a CharacterSet or of a class derived from it
---@param track integer 0 to 3
---@param weight number 0 to 1, the track's share when tracks are mixed
function setAnimTrackBlendWeight(characterSet, track, weight) end

--- Returns the track's blend weight; 0 for a bad track (logged). Entity function of CharacterSet.
---@param characterSet integer id of a CharacterSet or of a class derived from it
---@param track integer 0 to 3
---@return number weight # 0 to 1
function getAnimTrackBlendWeight(characterSet, track) end

--- Finds a clip of the set by its name. Entity function of CharacterSet.
---@param characterSet integer id of a CharacterSet or of a class derived from it
---@param name string exact clip name
---@return integer clip # index from 0, -1 when unknown
function getAnimClipIndex(characterSet, name) end

--- Makes the track play the clip; a bad track or clip is logged. Entity function of CharacterSet.
---@param characterSet integer id of a CharacterSet or of a class derived from it
---@param track integer 0 to 3
---@param clip integer index from 0
function assignAnimTrackClip(characterSet, track, clip) end

--- Returns whether the track has a clip; nil for a bad track (logged). Entity function of CharacterSet.
---@param characterSet integer id of a CharacterSet or of a class derived from it
---@param track integer 0 to 3
---@return boolean assigned
function isAnimTrackClipAssigned(characterSet, track) end

--- Returns the clip the track plays; 0 for a bad track (logged). Entity function of CharacterSet.
---@param characterSet integer id of a CharacterSet or of a class derived from it
---@param track integer 0 to 3
---@return integer clip # index, -1 when none
function getAnimTrackAssignedClip(characterSet, track) end

--- Takes the clip off the track; a bad track is logged. Entity function of CharacterSet.
---@param characterSet integer id of a CharacterSet or of a class derived from it
---@param track integer 0 to 3
function clearAnimTrackClip(characterSet, track) end

--- Returns the number of clips in the set. Entity function of CharacterSet.
---@param characterSet integer id of a CharacterSet or of a class derived from it
---@return integer count
function getAnimNumOfClips(characterSet) end

--- Starts or stops making new particles; those alive fly on. Entity function of ParticleSystem.
---@param particles integer id of a ParticleSystem or of a class derived from it
---@param emitting boolean
function setEmittingState(particles, emitting) end

--- Sets how heavy the rain or snow is; more drops appear at once, fewer leave as they reach the ground. Entity function of Precipitation.
---@param precipitation integer id of a Precipitation or of a class derived from it
---@param scale number 0 none to 1 the full number of drops
function setDropCountScale(precipitation, scale) end

--- Sets the wind that blows the drops; a value that is not a number is logged and ignored. Entity function of Precipitation.
---@param precipitation integer id of a Precipitation or of a class derived from it
---@param x number world units per second
---@param y number world units per second
---@param z number world units per second
function setWindVelocity(precipitation, x, y, z) end

--- Returns the height of the terrain's surface below the position; 0 outside the terrain. Entity function of TerrainTransformGroup.
---@param terrain integer id of a TerrainTransformGroup or of a class derived from it
---@param x number world units, world space
---@param y number world units, world space
---@param z number world units, world space
---@return number height # world units
function getTerrainHeightAtWorldPos(terrain, x, y, z) end

--- Counts the set pixels of the channel inside a parallelogram on the ground. Entity function of TerrainDetailTransformGroup.
---@param layer integer id of a TerrainDetailTransformGroup or of a class derived from it
---@param x number world units, a corner
---@param z number world units, a corner
---@param wx number world units, the first side
---@param wz number world units, the first side
---@param hx number world units, the second side
---@param hz number world units, the second side
---@param channel integer density map channel
---@return integer count # density map pixels set
function getDensityParallelogram(layer, x, z, wx, wz, hx, hz, channel) end

--- Paints or clears a parallelogram of the channel, for example to cut grass under a road. Entity function of TerrainDetailTransformGroup.
---@param layer integer id of a TerrainDetailTransformGroup or of a class derived from it
---@param x number world units, a corner
---@param z number world units, a corner
---@param wx number world units, the first side
---@param wz number world units, the first side
---@param hx number world units, the second side
---@param hz number world units, the second side
---@param channel integer density map channel
---@param value number above 0.5 sets, otherwise clears
---@return number count # density map pixels changed
function setDensityParallelogram(layer, x, z, wx, wz, hx, hz, channel, value) end

--- Paints or clears the parallelogram only where the mask layer's channel is set; a mask that is not a detail layer is logged and 0 returned. Entity function of TerrainDetailTransformGroup.
---@param layer integer id of a TerrainDetailTransformGroup or of a class derived from it
---@param x number world units, a corner
---@param z number world units, a corner
---@param wx number world units, the first side
---@param wz number world units, the first side
---@param hx number world units, the second side
---@param hz number world units, the second side
---@param channel integer density map channel
---@param mask integer another detail layer
---@param maskChannel integer its channel
---@param value number above 0.5 sets, otherwise clears
---@return number count # density map pixels changed
function setDensityMaskedParallelogram(layer, x, z, wx, wz, hx, hz, channel, mask, maskChannel, value) end

--- Counts the set pixels of the channel in a map rectangle. Entity function of TerrainDetailTransformGroup.
---@param layer integer id of a TerrainDetailTransformGroup or of a class derived from it
---@param x number density map pixels, a corner
---@param z number density map pixels, a corner
---@param width number density map pixels
---@param height number density map pixels
---@param channel integer density map channel
---@return integer count # pixels set
function getDensityRegion(layer, x, z, width, height, channel) end

--- Counts the set pixels of the channel in a rectangle on the ground. Entity function of TerrainDetailTransformGroup.
---@param layer integer id of a TerrainDetailTransformGroup or of a class derived from it
---@param x number world units, a corner
---@param z number world units, a corner
---@param width number world units
---@param height number world units
---@param channel integer density map channel
---@return integer count # density map pixels set
function getDensityRegionWorld(layer, x, z, width, height, channel) end

--- Saves the density map; false when there is no map or the path is absolute, holds ".." or cannot be written (logged). Entity function of TerrainDetailTransformGroup.
---@param layer integer id of a TerrainDetailTransformGroup or of a class derived from it
---@param path string relative to the user's density map folder, empty for the map's own name
---@return boolean saved
function saveDensityMapToFile(layer, path) end

--- Returns the density map's file name without its folder. Entity function of TerrainDetailTransformGroup.
---@param layer integer id of a TerrainDetailTransformGroup or of a class derived from it
---@return string fileName
function getDensityMapFileName(layer) end

--- Lets the foliage grow back over time or keeps it as it is. Entity function of FoliageTransformGroup.
---@param foliage integer id of a FoliageTransformGroup or of a class derived from it
---@param enabled boolean
function setEnableGrowth(foliage, enabled) end

--- Describes a joint between two bodies step by step and then creates it.
---@class JointConstructor
JointConstructor = {}

--- A new object owned by the script.
---@return JointConstructor
function JointConstructor:new() end

--- Chooses the two bodies the joint connects; an id that names no entity stores none.
---@param node0 integer the two bodies' nodes
---@param node1 integer the two bodies' nodes
function JointConstructor:setActors(node0, node1) end

--- Chooses the nodes whose world position and axes define the joint on each body.
---@param frame0 integer nodes whose world transforms are the joint frames
---@param frame1 integer nodes whose world transforms are the joint frames
function JointConstructor:setJointTransforms(frame0, frame1) end

--- Lets the joint break when the force or torque on it exceeds the limits; negative or infinite limits are logged and ignored.
---@param force number newtons
---@param torque number newton metres
function JointConstructor:setBreakable(force, torque) end

--- Limits the rotation about the axis; equal limits lock it. A bad axis or limit is logged and ignored.
---@param axis integer 0, 1 or 2
---@param low number radians
---@param high number radians
function JointConstructor:setRotationLimit(axis, low, high) end

--- Limits or frees the movement along the axis. A bad axis or limit is logged and ignored.
---@param axis integer 0, 1 or 2
---@param limited boolean
---@param low number world units
---@param high number world units
function JointConstructor:setTranslationLimit(axis, limited, low, high) end

--- Queues the joint for creation at the next physics step and returns its id; 0 when an actor or frame node is not set or gone.
---@return integer joint # id, 0 when a node is missing
function JointConstructor:finalize() end

--- Describes a foliage layer step by step and then builds it on a terrain.
---@class FoliageConstructor
FoliageConstructor = {}

--- A new object owned by the script.
---@return FoliageConstructor
function FoliageConstructor:new() end

--- Chooses the density map image; false for a path longer than 255 characters (logged).
---@param path string image file
---@return boolean accepted
function FoliageConstructor:setDensityMap(path) end

--- Sets how dense the map must be for a plant.
---@param threshold number 0 to 1, the density above which a plant grows
function FoliageConstructor:setPlantThreshold(threshold) end

--- Sets the size of the cells the foliage is built and drawn in; a size that is not a power of two is logged and ignored.
---@param cells integer terrain grid units per cell side, a power of two
---@param blocksPerUnit number plant blocks per grid unit
function FoliageConstructor:setCellSize(cells, blocksPerUnit) end

--- Sets the size of the plants.
---@param width number world units
---@param height number world units
---@param heightVariance number world units, added at random
function FoliageConstructor:setFoliageSize(width, height, heightVariance) end

--- Chooses the plants' material by name; false when none has that name (logged).
---@param name string a material of a loaded scene
---@return boolean found
function FoliageConstructor:setMaterial(name) end

--- Builds the foliage layer below the terrain and returns it; nil when a parameter is missing or the id names no terrain (logged).
---@param name string the new node's name
---@param terrain integer
---@return integer foliage # id of the new node
function FoliageConstructor:finalize(name, terrain) end
