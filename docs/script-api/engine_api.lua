---@meta
-- The engine's script API for Lua language servers, written by the tool
-- scriptapidoc from the engine's script bindings. Do not edit.

-- Global functions

---@param arg1 integer
---@param arg2 integer
---@return integer
function bitAND(arg1, arg2) end

---@param arg1 any
---@param arg2 any
---@param arg3 any
---@param arg4 any
---@param arg5 any
---@param arg6 any
function print(arg1, arg2, arg3, arg4, arg5, arg6) end

---@param arg1 string
function source(arg1) end

---@param arg1 string
---@return string
function httpGet(arg1) end

---@param arg1 string
---@param arg2 string
---@return integer
function loadXMLFile(arg1, arg2) end

---@param arg1 integer
---@param arg2 number
---@return number
---@return number
---@return number
function getSplinePosition(arg1, arg2) end

---@param arg1 integer
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 number
---@return number
---@return number
---@return number
function getSplineOrientation(arg1, arg2, arg3, arg4, arg5) end

---@param arg1 integer
---@return number
function getSplineLength(arg1) end

---@param arg1 integer
function setRootNode(arg1) end

---@return integer
function getRootNode() end

---@param arg1 number
---@param arg2 number
---@param arg3 number
---@return number
---@return number
---@return number
function project(arg1, arg2, arg3) end

---@param arg1 number
---@param arg2 number
---@param arg3 number
---@return number
---@return number
---@return number
function unProject(arg1, arg2, arg3) end

---@param arg1 integer
function setCamera(arg1) end

---@return integer
function getCamera() end

---@param arg1 string
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 number
---@param arg6 number
function setFog(arg1, arg2, arg3, arg4, arg5, arg6) end

---@param arg1 string
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 number
---@param arg6 number
---@param arg7 number
function setVolumeFog(arg1, arg2, arg3, arg4, arg5, arg6, arg7) end

---@param arg1 number
---@param arg2 number
---@param arg3 number
function setAmbientColor(arg1, arg2, arg3) end

---@param arg1 string
---@return integer
function loadI3DFile(arg1) end

---@param arg1 boolean
function setWireframe(arg1) end

---@param arg1 integer
function setDebugDrawMode(arg1) end

---@param arg1 boolean
function simulatePhysics(arg1) end

---@param arg1 number
function extraUpdatePhysics(arg1) end

---@param arg1 number
function simulatePhysicsTimeScale(arg1) end

---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 number
---@param arg6 number
---@param arg7 string
---@param arg8 number
---@param arg9 any
---@return integer
function raycastAll(arg1, arg2, arg3, arg4, arg5, arg6, arg7, arg8, arg9) end

---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 number
---@param arg6 number
---@param arg7 string
---@param arg8 number
---@param arg9 any
---@return integer
function raycastClosest(arg1, arg2, arg3, arg4, arg5, arg6, arg7, arg8, arg9) end

---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 string
---@return integer
function overlapSphere(arg1, arg2, arg3, arg4, arg5) end

---@param arg1 integer
function removeJoint(arg1) end

---@param arg1 integer
---@param arg2 integer
---@param arg3 boolean
---@param arg4 number
---@param arg5 number
function setJointRotationLimit(arg1, arg2, arg3, arg4, arg5) end

---@param arg1 integer
---@param arg2 integer
---@param arg3 boolean
---@param arg4 number
---@param arg5 number
function setJointTranslationLimit(arg1, arg2, arg3, arg4, arg5) end

---@param arg1 integer
---@param arg2 integer
---@param arg3 integer
function setJointFrame(arg1, arg2, arg3) end

---@param arg1 integer
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 number
---@param arg6 number
---@param arg7 integer
---@param arg8 number
---@return integer
function createCCT(arg1, arg2, arg3, arg4, arg5, arg6, arg7, arg8) end

---@param arg1 integer
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 integer
function moveCCT(arg1, arg2, arg3, arg4, arg5) end

---@param arg1 integer
function removeCCT(arg1) end

---@param arg1 integer
---@return boolean
---@return boolean
---@return boolean
function getCCTCollisionFlags(arg1) end

---@param arg1 integer
---@param arg2 string
---@param arg3 any
function addTrigger(arg1, arg2, arg3) end

---@param arg1 integer
function removeTrigger(arg1) end

---@param arg1 integer
---@param arg2 string
---@param arg3 any
function addContactReport(arg1, arg2, arg3) end

---@param arg1 integer
function removeContactReport(arg1) end

---@param arg1 number
---@param arg2 string
---@param arg3 any
---@return integer
function addTimer(arg1, arg2, arg3) end

---@param arg1 integer
function removeTimer(arg1) end

---@param arg1 integer
---@param arg2 number
function setTimerTime(arg1, arg2) end

---@param arg1 number
function setViewDistanceCoeff(arg1) end

---@return number
function getViewDistanceCoeff() end

---@param arg1 number
function setTerrainLODDistanceCoeff(arg1) end

---@return number
function getTerrainLODDistanceCoeff() end

---@param arg1 number
function setShadowQuality(arg1) end

---@return number
function getShadowQuality() end

function requestExit() end

function nextStatsPage() end

function nextAnimClipAll() end

---@return boolean
function getFullscreen() end

---@param arg1 boolean
function setFullscreen(arg1) end

---@return boolean
function getVsync() end

---@param arg1 boolean
function setVsync(arg1) end

---@return number
function getGamma() end

---@param arg1 number
function setGamma(arg1) end

---@return boolean
function getFilterTrilinear() end

---@param arg1 boolean
function setFilterTrilinear(arg1) end

---@return integer
function getFilterAnisotropy() end

---@param arg1 integer
function setFilterAnisotropy(arg1) end

---@return integer
function getMSAA() end

---@param arg1 integer
function setMSAA(arg1) end

---@param arg1 string
function setTerrainLoadDirectory(arg1) end

function restartApplication() end

---@param arg1 number
---@param arg2 number
function wrapMousePosition(arg1, arg2) end

---@param arg1 boolean
function setShowMouseCursor(arg1) end

---@param arg1 integer
---@return number
function getInputButton(arg1) end

---@param arg1 integer
---@return integer
---@return integer
function getKeyboardAxisMapping(arg1) end

---@param arg1 integer
---@return integer
function getKeyboardButtonMapping(arg1) end

---@param arg1 integer
---@param arg2 integer
---@param arg3 integer
function setKeyboardAxisMapping(arg1, arg2, arg3) end

---@param arg1 integer
---@param arg2 integer
function setKeyboardButtonMapping(arg1, arg2) end

---@param arg1 integer
---@return number
function getInputAxis(arg1) end

---@return string
function getAppBasePath() end

---@return string
function getUserProfileAppPath() end

---@param arg1 string
---@param arg2 string
---@param arg3 boolean
function copyFile(arg1, arg2, arg3) end

---@param arg1 string
function createFolder(arg1) end

---@return string
function getGPUPerformanceClass() end

---@param arg1 string
function setGPUPerformanceClass(arg1) end

---@return string
function getAutoGPUPerformanceClass() end

---@param arg1 string
function saveScreenshot(arg1) end

---@return integer
function getNumOfScreenModes() end

---@param arg1 integer
---@return integer
---@return integer
function getScreenModeInfo(arg1) end

---@return integer
function getScreenMode() end

---@param arg1 integer
function setScreenMode(arg1) end

---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 string
function renderText(arg1, arg2, arg3, arg4) end

---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 number
function setTextColor(arg1, arg2, arg3, arg4) end

---@param arg1 boolean
function setTextBold(arg1) end

---@param arg1 string
function setCaption(arg1) end

-- Create functions: the arguments are handed to the class's factory

--- Makes a TransformGroup and returns its entity id.
---@param ... any
---@return integer
function createTransformGroup(...) end

--- Makes a Camera and returns its entity id.
---@param ... any
---@return integer
function createCamera(...) end

--- Makes a Overlay and returns its entity id.
---@param ... any
---@return integer
function createOverlay(...) end

--- Makes a AudioSource and returns its entity id.
---@param ... any
---@return integer
function createAudioSource(...) end

--- Makes a StreamedSample and returns its entity id.
---@param ... any
---@return integer
function createStreamedSample(...) end

--- Makes a Sample and returns its entity id.
---@param ... any
---@return integer
function createSample(...) end

-- Entity functions: the first argument is the entity's id

--- Entity function of Entity, Node.
---@param id integer
function delete(id) end

--- Entity function of Entity.
---@param id integer
---@return string
function getClassName(id) end

--- Entity function of Entity.
---@param id integer
---@param arg1 string
---@param arg2 any
---@return integer
function addDeleteListener(id, arg1, arg2) end

--- Entity function of Entity.
---@param id integer
---@param arg1 integer
function removeDeleteListener(id, arg1) end

--- Entity function of Properties.
---@param id integer
---@param arg1 string
---@return integer
function getXMLInt(id, arg1) end

--- Entity function of Properties.
---@param id integer
---@param arg1 string
---@return number
function getXMLFloat(id, arg1) end

--- Entity function of Properties.
---@param id integer
---@param arg1 string
---@return boolean
function getXMLBool(id, arg1) end

--- Entity function of Properties.
---@param id integer
---@param arg1 string
---@return string
function getXMLString(id, arg1) end

--- Entity function of Properties.
---@param id integer
---@param arg1 string
---@param arg2 integer
function setXMLInt(id, arg1, arg2) end

--- Entity function of Properties.
---@param id integer
---@param arg1 string
---@param arg2 number
function setXMLFloat(id, arg1, arg2) end

--- Entity function of Properties.
---@param id integer
---@param arg1 string
---@param arg2 boolean
function setXMLBool(id, arg1, arg2) end

--- Entity function of Properties.
---@param id integer
---@param arg1 string
---@param arg2 string
function setXMLString(id, arg1, arg2) end

--- Entity function of XMLConfigFile.
---@param id integer
function saveXMLFile(id) end

--- Entity function of Node.
---@param id integer
---@return integer
function getParent(id) end

--- Entity function of Node.
---@param id integer
---@param arg1 integer
function link(id, arg1) end

--- Entity function of Node.
---@param id integer
function unlink(id) end

--- Entity function of Node.
---@param id integer
---@return integer
function getNumOfChildren(id) end

--- Entity function of Node.
---@param id integer
---@param arg1 integer
---@return integer
function getChildAt(id, arg1) end

--- Entity function of Node.
---@param id integer
---@param arg1 string
---@return integer
function getChild(id, arg1) end

--- Entity function of Node.
---@param id integer
---@return string
function getName(id) end

--- Entity function of Node.
---@param id integer
---@param arg1 string
function setName(id, arg1) end

--- Entity function of Node.
---@param id integer
---@param arg1 integer
function removeChildAt(id, arg1) end

--- Entity function of Node.
---@param id integer
---@param arg1 boolean
function setEnabled(id, arg1) end

--- Entity function of Node.
---@param id integer
---@return boolean
function isEnabled(id) end

--- Entity function of Node.
---@param id integer
---@param arg1 boolean
function setCullOverride(id, arg1) end

--- Entity function of Node.
---@param id integer
---@return boolean
function getCullOverride(id) end

--- Entity function of Node.
---@param id integer
---@return integer
function getTriangleCount(id) end

--- Entity function of Node.
---@param id integer
---@return number
---@return number
---@return number
function getWorldBoundsMin(id) end

--- Entity function of Node.
---@param id integer
---@return number
---@return number
---@return number
function getWorldBoundsMax(id) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
function setTranslation(id, arg1, arg2, arg3) end

--- Entity function of TransformGroup.
---@param id integer
---@return number
---@return number
---@return number
function getTranslation(id) end

--- Entity function of TransformGroup.
---@param id integer
---@return number
---@return number
---@return number
function getWorldTranslation(id) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@return number
---@return number
---@return number
function localToWorld(id, arg1, arg2, arg3) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@return number
---@return number
---@return number
function localDirectionToWorld(id, arg1, arg2, arg3) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@return number
---@return number
---@return number
function worldToLocal(id, arg1, arg2, arg3) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@return number
---@return number
---@return number
function worldDirectionToLocal(id, arg1, arg2, arg3) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
function setRotation(id, arg1, arg2, arg3) end

--- Entity function of TransformGroup.
---@param id integer
---@return number
---@return number
---@return number
function getRotation(id) end

--- Entity function of TransformGroup.
---@param id integer
---@return number
---@return number
---@return number
function getWorldRotation(id) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 number
---@param arg6 number
function setDirection(id, arg1, arg2, arg3, arg4, arg5, arg6) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
function setScale(id, arg1, arg2, arg3) end

--- Entity function of TransformGroup.
---@param id integer
---@return number
---@return number
---@return number
function getScale(id) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 boolean
function setVisibility(id, arg1) end

--- Entity function of TransformGroup.
---@param id integer
---@return boolean
function getVisibility(id) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 boolean
function setInheritTransform(id, arg1) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 boolean
---@return integer
function clone(id, arg1) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 string
---@return any
function getUserAttribute(id, arg1) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 string
---@param arg2 string
---@param arg3 any
function setUserAttribute(id, arg1, arg2, arg3) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 number
---@param arg6 number
---@param arg7 boolean
function addForce(id, arg1, arg2, arg3, arg4, arg5, arg6, arg7) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 number
---@param arg6 number
---@param arg7 boolean
function addImpulse(id, arg1, arg2, arg3, arg4, arg5, arg6, arg7) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 string
function setRigidBodyType(id, arg1) end

--- Entity function of TransformGroup.
---@param id integer
---@return string
function getRigidBodyType(id) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 integer
function setCollisionMask(id, arg1) end

--- Entity function of TransformGroup.
---@param id integer
---@return integer
function getCollisionMask(id) end

--- Entity function of TransformGroup.
---@param id integer
---@return number
---@return number
---@return number
function getCenterOfMass(id) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
function setCenterOfMass(id, arg1, arg2, arg3) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 number
function setMass(id, arg1) end

--- Entity function of TransformGroup.
---@param id integer
---@return number
function getMass(id) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 number
function setJointDrive(id, arg1, arg2, arg3, arg4) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 number
---@param arg6 number
---@param arg7 number
---@param arg8 number
---@return integer
function createWheelShape(id, arg1, arg2, arg3, arg4, arg5, arg6, arg7, arg8) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 integer
---@param arg2 number
---@param arg3 number
---@param arg4 number
function setWheelShapeProps(id, arg1, arg2, arg3, arg4) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 integer
---@return number
function getWheelShapeAxleSpeed(id, arg1) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 integer
---@return number
---@return number
---@return number
function getWheelShapeContactPoint(id, arg1) end

--- Entity function of TransformGroup.
---@param id integer
---@param arg1 integer
---@return number
---@return number
---@return number
function getWheelShapePosition(id, arg1) end

--- Entity function of TransformGroup.
---@param id integer
---@return integer
function getAnimCharacterSet(id) end

--- Entity function of Light.
---@param id integer
---@return number
---@return number
---@return number
function getLightDiffuseColor(id) end

--- Entity function of Light.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
function setLightDiffuseColor(id, arg1, arg2, arg3) end

--- Entity function of Light.
---@param id integer
---@return number
---@return number
---@return number
function getLightSpecularColor(id) end

--- Entity function of Light.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
function setLightSpecularColor(id, arg1, arg2, arg3) end

--- Entity function of Light.
---@param id integer
---@return number
function getLightRange(id) end

--- Entity function of Light.
---@param id integer
---@param arg1 number
function setLightRange(id, arg1) end

--- Entity function of Camera.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 number
---@param arg6 number
function aimCamera(id, arg1, arg2, arg3, arg4, arg5, arg6) end

--- Entity function of Shape.
---@param id integer
---@return integer
function getGeometry(id) end

--- Entity function of Shape.
---@param id integer
---@param arg1 string
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 number
function setShaderParameter(id, arg1, arg2, arg3, arg4, arg5) end

--- Entity function of Overlay.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 number
function setOverlayColor(id, arg1, arg2, arg3, arg4) end

--- Entity function of Overlay.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 number
---@param arg6 number
---@param arg7 number
---@param arg8 number
function setOverlayUVs(id, arg1, arg2, arg3, arg4, arg5, arg6, arg7, arg8) end

--- Entity function of Overlay.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 number
function renderOverlay(id, arg1, arg2, arg3, arg4) end

--- Entity function of Sample.
---@param id integer
---@param arg1 string
---@param arg2 boolean
function loadSample(id, arg1, arg2) end

--- Entity function of Sample.
---@param id integer
---@param arg1 integer
---@param arg2 number
---@param arg3 number
function playSample(id, arg1, arg2, arg3) end

--- Entity function of Sample.
---@param id integer
function stopSample(id) end

--- Entity function of Sample.
---@param id integer
---@param arg1 number
function setSamplePitch(id, arg1) end

--- Entity function of Sample.
---@param id integer
---@param arg1 number
function setSampleVolume(id, arg1) end

--- Entity function of Sample.
---@param id integer
---@return number
function getSampleDuration(id) end

--- Entity function of StreamedSample.
---@param id integer
---@param arg1 string
function loadStreamedSample(id, arg1) end

--- Entity function of StreamedSample.
---@param id integer
function playStreamedSample(id) end

--- Entity function of StreamedSample.
---@param id integer
function pauseStreamedSample(id) end

--- Entity function of StreamedSample.
---@param id integer
function resumeStreamedSample(id) end

--- Entity function of StreamedSample.
---@param id integer
function stopStreamedSample(id) end

--- Entity function of AudioSource.
---@param id integer
---@return integer
function getAudioSourceSample(id) end

--- Entity function of CharacterSet.
---@param id integer
---@param arg1 integer
function enableAnimTrack(id, arg1) end

--- Entity function of CharacterSet.
---@param id integer
---@param arg1 integer
function disableAnimTrack(id, arg1) end

--- Entity function of CharacterSet.
---@param id integer
---@param arg1 integer
---@return boolean
function isAnimTrackEnabled(id, arg1) end

--- Entity function of CharacterSet.
---@param id integer
---@param arg1 integer
---@param arg2 number
function setAnimTrackSpeedScale(id, arg1, arg2) end

--- Entity function of CharacterSet.
---@param id integer
---@param arg1 integer
---@param arg2 boolean
function setAnimTrackLoopState(id, arg1, arg2) end

--- Entity function of CharacterSet.
---@param id integer
---@param arg1 integer
---@param arg2 number
function setAnimTrackTime(id, arg1, arg2) end

--- Entity function of CharacterSet.
---@param id integer
---@param arg1 integer
---@return number
function getAnimTrackTime(id, arg1) end

--- Entity function of CharacterSet.
---@param id integer
---@param arg1 integer
---@return number
function getAnimClipDuration(id, arg1) end

--- Entity function of CharacterSet.
---@param id integer
---@param arg1 integer
---@param arg2 number
function setAnimTrackBlendWeight(id, arg1, arg2) end

--- Entity function of CharacterSet.
---@param id integer
---@param arg1 integer
---@return number
function getAnimTrackBlendWeight(id, arg1) end

--- Entity function of CharacterSet.
---@param id integer
---@param arg1 string
---@return integer
function getAnimClipIndex(id, arg1) end

--- Entity function of CharacterSet.
---@param id integer
---@param arg1 integer
---@param arg2 integer
function assignAnimTrackClip(id, arg1, arg2) end

--- Entity function of CharacterSet.
---@param id integer
---@param arg1 integer
---@return boolean
function isAnimTrackClipAssigned(id, arg1) end

--- Entity function of CharacterSet.
---@param id integer
---@param arg1 integer
---@return integer
function getAnimTrackAssignedClip(id, arg1) end

--- Entity function of CharacterSet.
---@param id integer
---@param arg1 integer
function clearAnimTrackClip(id, arg1) end

--- Entity function of CharacterSet.
---@param id integer
---@return integer
function getAnimNumOfClips(id) end

--- Entity function of ParticleSystem.
---@param id integer
---@param arg1 boolean
function setEmittingState(id, arg1) end

--- Entity function of Precipitation.
---@param id integer
---@param arg1 number
function setDropCountScale(id, arg1) end

--- Entity function of Precipitation.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
function setWindVelocity(id, arg1, arg2, arg3) end

--- Entity function of TerrainTransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@return number
function getTerrainHeightAtWorldPos(id, arg1, arg2, arg3) end

--- Entity function of TerrainDetailTransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 number
---@param arg6 number
---@param arg7 integer
---@return integer
function getDensityParallelogram(id, arg1, arg2, arg3, arg4, arg5, arg6, arg7) end

--- Entity function of TerrainDetailTransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 number
---@param arg6 number
---@param arg7 integer
---@param arg8 number
---@return number
function setDensityParallelogram(id, arg1, arg2, arg3, arg4, arg5, arg6, arg7, arg8) end

--- Entity function of TerrainDetailTransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 number
---@param arg6 number
---@param arg7 integer
---@param arg8 integer
---@param arg9 integer
---@param arg10 number
---@return number
function setDensityMaskedParallelogram(id, arg1, arg2, arg3, arg4, arg5, arg6, arg7, arg8, arg9, arg10) end

--- Entity function of TerrainDetailTransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 integer
---@return integer
function getDensityRegion(id, arg1, arg2, arg3, arg4, arg5) end

--- Entity function of TerrainDetailTransformGroup.
---@param id integer
---@param arg1 number
---@param arg2 number
---@param arg3 number
---@param arg4 number
---@param arg5 integer
---@return integer
function getDensityRegionWorld(id, arg1, arg2, arg3, arg4, arg5) end

--- Entity function of TerrainDetailTransformGroup.
---@param id integer
---@param arg1 string
---@return boolean
function saveDensityMapToFile(id, arg1) end

--- Entity function of TerrainDetailTransformGroup.
---@param id integer
---@return string
function getDensityMapFileName(id) end

--- Entity function of FoliageTransformGroup.
---@param id integer
---@param arg1 boolean
function setEnableGrowth(id, arg1) end

---@class JointConstructor
JointConstructor = {}

--- A new object owned by the script.
---@return JointConstructor
function JointConstructor:new() end

---@param arg1 integer
---@param arg2 integer
function JointConstructor:setActors(arg1, arg2) end

---@param arg1 integer
---@param arg2 integer
function JointConstructor:setJointTransforms(arg1, arg2) end

---@param arg1 number
---@param arg2 number
function JointConstructor:setBreakable(arg1, arg2) end

---@param arg1 integer
---@param arg2 number
---@param arg3 number
function JointConstructor:setRotationLimit(arg1, arg2, arg3) end

---@param arg1 integer
---@param arg2 boolean
---@param arg3 number
---@param arg4 number
function JointConstructor:setTranslationLimit(arg1, arg2, arg3, arg4) end

---@return integer
function JointConstructor:finalize() end

---@class FoliageConstructor
FoliageConstructor = {}

--- A new object owned by the script.
---@return FoliageConstructor
function FoliageConstructor:new() end

---@param arg1 string
---@return boolean
function FoliageConstructor:setDensityMap(arg1) end

---@param arg1 number
function FoliageConstructor:setPlantThreshold(arg1) end

---@param arg1 integer
---@param arg2 number
function FoliageConstructor:setCellSize(arg1, arg2) end

---@param arg1 number
---@param arg2 number
---@param arg3 number
function FoliageConstructor:setFoliageSize(arg1, arg2, arg3) end

---@param arg1 string
---@return boolean
function FoliageConstructor:setMaterial(arg1) end

---@param arg1 string
---@param arg2 integer
---@return integer
function FoliageConstructor:finalize(arg1, arg2) end
