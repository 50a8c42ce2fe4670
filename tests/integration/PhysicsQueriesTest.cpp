#include <gtest/gtest.h>

#include "GameRunner.h"

namespace {

using testsupport::readFile;

// A cube mesh with corners at -h and h.
std::string cubeMesh(const char* name, float h) {
    std::string v = "<IndexedFaceSet name=\"" + std::string(name) + "\"><Vertices>";
    for (int i = 0; i < 8; ++i) {
        v += "<v c=\"" + std::to_string(i & 1 ? h : -h) + " " + std::to_string(i & 2 ? h : -h) +
             " " + std::to_string(i & 4 ? h : -h) + "\"/>";
    }
    v += "</Vertices><Faces shaderlist=\"m\">";
    for (const char* face : {"0 2 3 1", "4 5 7 6", "0 1 5 4", "2 6 7 3", "0 4 6 2", "1 3 7 5"}) {
        v += "<f vi=\"" + std::string(face) + "\"/>";
    }
    return v + "</Faces></IndexedFaceSet>";
}

// A running game's scripts cast rays, overlap a sphere, hear a trigger and a
// contact through the engine, build a pendulum with JointConstructor and
// load a hinge from a scene file; a trigger callback deletes the body that
// entered, and the game goes on.
TEST(PhysicsQueries, ScriptsQueryTheWorldAndHearItsEvents) {
    GameRunner game;
    game.writeProgramFile(
        "scene.i3d",
        "<i3D name=\"lab\" version=\"1.5\"><Materials><Material name=\"m\"/></Materials><Shapes>" +
            cubeMesh("cube", 0.5f) + cubeMesh("slab", 10.0f) +
            "</Shapes><Scene>"
            "<Shape name=\"ground\" ref=\"slab\" static=\"true\" translation=\"0 -10 0\"/>"
            "<Shape name=\"gate\" ref=\"cube\" static=\"true\" trigger=\"true\" "
            "translation=\"-5 4 0\"/>"
            "<Shape name=\"diver\" ref=\"cube\" dynamic=\"true\" translation=\"-5 7 0\"/>"
            "<Shape name=\"crate\" ref=\"cube\" dynamic=\"true\" translation=\"5 2 0\"/>"
            "<Shape name=\"pivot\" ref=\"cube\" static=\"true\" translation=\"10 8 0\"/>"
            "<Shape name=\"trap\" ref=\"cube\" static=\"true\" trigger=\"true\" "
            "translation=\"-8 4 0\"/>"
            "<Shape name=\"dropper\" ref=\"cube\" dynamic=\"true\" translation=\"-8 7 0\"/>"
            "<Shape name=\"brick\" ref=\"cube\" dynamic=\"true\" translation=\"8 2 0\"/>"
            "<Shape name=\"bob\" ref=\"cube\" dynamic=\"true\" translation=\"12 8 0\"/>"
            "<TransformGroup name=\"rig\" translation=\"0 6 0\">"
            "<Shape name=\"post\" ref=\"cube\" static=\"true\"/>"
            "<TransformGroup name=\"hinge\" joint=\"true\" rotMinY=\"0\" rotMaxY=\"0\" "
            "rotMinZ=\"0\" rotMaxZ=\"0\" transMinX=\"0\" transMinY=\"0\" transMinZ=\"0\">"
            "<Shape name=\"door\" ref=\"cube\" dynamic=\"true\" translation=\"0 0 1.5\"/>"
            "</TransformGroup></TransformGroup>"
            "</Scene></i3D>");
    game.writeProgramFile("main.lua", R"(
gateEvents = {}
hits = {}
found = {}
frame = 0
function onGate(trigger, other, entering, leaving, staying)
    if entering then
        gateEvents[#gateEvents + 1] = "enter " .. getName(other)
        delete(other)
    end
end
function onCrate(own, other, began, normalForce, frictionForce)
    if began and not landed then
        landed = true
        print("contact ", getName(own), " with ", getName(other), " force ", tostring(normalForce > 0))
    end
end
-- Callbacks that delete their own nodes.
function onTrap(trigger, other, entering)
    delete(trigger)
    removeTrigger(trigger)
    print("trap deleted by ", getName(other))
end
function onBrick(own, other, began)
    if began then
        delete(own)
        removeContactReport(own)
        print("brick deleted on ", getName(other))
    end
end
function onHit(id, x, y, z, distance)
    hits[#hits + 1] = string.format("%s %.1f", getName(id), distance)
    return true
end
function onFound(id) found[#found + 1] = getName(id) end
function init()
    scene = loadI3DFile("scene.i3d")
    link(getRootNode(), scene)
    addTrigger(getChild(scene, "gate"), "onGate")
    addTrigger(getChild(scene, "crate"), "onGate")
    addContactReport(getChild(scene, "crate"), "onCrate")
    addTrigger(getChild(scene, "trap"), "onTrap")
    addContactReport(getChild(scene, "brick"), "onBrick")
    anchor = createTransformGroup("anchor")
    link(scene, anchor)
    setTranslation(anchor, 10, 8, 0)
    local joint = JointConstructor:new()
    joint:setActors(getChild(scene, "pivot"), getChild(scene, "bob"))
    print("incomplete ", joint:finalize())
    joint:setJointTransforms(anchor, anchor)
    print("joint ", joint:finalize())
    setJointFrame(1, 2, anchor)
end
function update(dt)
    frame = frame + 1
    if frame == 3 then
        print("closest ", raycastClosest(5, 20, 0, 0, -1, 0, "onHit", 100))
        print("none ", raycastClosest(5, 20, 0, 0, 1, 0, "onHit", 100))
        print("zero ", raycastAll(5, 20, 0, 0, 0, 0, "onHit", 100))
        print("overlap ", overlapSphere(5, 2, 0, 0.9, "onFound"))
    end
    if frame == 150 then
        print("hits ", table.concat(hits, ","))
        print("found ", table.concat(found, ","))
        print("gate ", table.concat(gateEvents, ","))
        local door = getChild(getChild(getChild(scene, "rig"), "hinge"), "door")
        local x, y, z = getWorldTranslation(door)
        print(string.format("door %.2f", math.sqrt(x * x + (y - 6) * (y - 6) + z * z)))
        x, y, z = getWorldTranslation(getChild(scene, "bob"))
        print(string.format("bob %.2f %s", math.sqrt((x - 10) * (x - 10) + (y - 8) * (y - 8) + z * z), tostring(y < 7)))
        requestExit()
    end
end
)");
    auto result = game.run({"-script", "main.lua"}, {{"SDL_VIDEODRIVER", "offscreen"}});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::string log = readFile(game.userFolder() + "game.log");
    for (const char* line : {
             "Physics: Add trigger callback failed, object crate is not a physics trigger\n",
             "incomplete 0\n",
             "joint 1\n",
             "Error: setJointFrame, actor must be 0 or 1\n",
             "closest 1\nnone 0\n",
             "zero 0\noverlap 1\n",
             "contact crate with ground force true\n",
             "hits crate 17.5\n",
             "found crate\n",
             "gate enter diver\n",
             "trap deleted by dropper\n",
             "brick deleted on ground\n",
             "door 1.50\nbob 2.00 true\n",
         }) {
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    }
    EXPECT_NE(log.find("Warning: ray cast refused"), std::string::npos) << log;
}

}  // namespace
