#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "GameRunner.h"

namespace {

// A closed box of the half extents as an i3d face set.
std::string boxFaceSet(const std::string& name, float x, float y, float z) {
    std::string text = "    <IndexedFaceSet name=\"" + name + "\">\n      <Vertices>";
    for (int i = 0; i < 8; ++i) {
        text += "<v c=\"" + std::to_string((i & 1) ? x : -x) + " " +
                std::to_string((i & 2) ? y : -y) + " " + std::to_string((i & 4) ? z : -z) + "\"/>";
    }
    text += "</Vertices>\n      <Faces>";
    for (const char* face : {"0 2 3 1", "4 5 7 6", "0 1 5 4", "2 6 7 3", "0 4 6 2", "1 3 7 5"}) {
        text += std::string("<f vi=\"") + face + "\"/>";
    }
    return text + "</Faces>\n    </IndexedFaceSet>\n";
}

// A script loads a scene with a ground and a car body, puts four wheels
// under the car and drives it 10 units forward; a character controller made
// beside it lands on the ground.
TEST(VehicleScript, ACarFromASceneFileDrivesTenUnitsForward) {
    GameRunner game;
    game.writeProgramFile("scenes/track.i3d",
                          "<?xml version=\"1.0\"?>\n"
                          "<i3D name=\"track\" version=\"1.5\">\n  <Shapes>\n" +
                              boxFaceSet("slab", 100, 0.5f, 100) + boxFaceSet("body", 1, 0.25f, 2) +
                              R"(  </Shapes>
  <Scene>
    <Shape name="ground" ref="slab" translation="0 -0.5 0" static="true"/>
    <Shape name="car" ref="body" translation="0 1.2 0" dynamic="true" density="250"/>
    <TransformGroup name="walker" translation="5 3 0"/>
  </Scene>
</i3D>
)");
    game.writeProgramFile("main.lua", R"(
wheels = {}
elapsed = 0
frames = 0
-- Two decimals, rounded (no "-0.00").
function fmt(v) return string.format("%.2f", math.floor(v * 100 + 0.5) / 100) end
function init()
    local scene = loadI3DFile("scenes/track.i3d")
    link(getRootNode(), scene)
    car = getChild(scene, "car")
    for _, m in ipairs({{-0.9, 1.5}, {0.9, 1.5}, {-0.9, -1.5}, {0.9, -1.5}}) do
        wheels[#wheels + 1] = createWheelShape(car, m[1], -0.25, m[2], 0.4, 0.3, 35000, 4000, 20)
    end
    print("wheels ", table.concat(wheels, ","))
    print("refused ", tostring(createWheelShape(car, 0, 0, 0, 0, 0.3, 35000, 4000, 20)),
          " ", tostring(createWheelShape(getChild(scene, "ground"), 0, 0, 0, 1, 1, 1, 1, 1)))
    walker = createCCT(getChild(scene, "walker"), 0.3, 1.0, 0.4, 45, 0.05, 255, 0)
    print("walker ", walker, " missing ", tostring(createCCT(999999, 0.3, 1, 0.4, 45, 0.05, 255, 0)))
end
function update(dt)
    elapsed = elapsed + dt
    frames = frames + 1
    moveCCT(walker, 0, -0.1, 0, 255)
    -- Settling: counted in frames, each of which steps the world.
    if frames < 90 then
        return
    end
    if not settled then
        settled = true
        local x, y, z = getWheelShapeContactPoint(car, wheels[1])
        local px, py, pz = getWheelShapePosition(car, wheels[1])
        print("contact " .. fmt(x) .. " " .. fmt(y) .. " position " .. fmt(px) .. " " .. fmt(pz))
        local sides, up, down = getCCTCollisionFlags(walker)
        local wx, wy, wz = getWorldTranslation(getChild(getChild(getRootNode(), "track"), "walker"))
        print(string.format("walker %s %s %s ", tostring(sides), tostring(up), tostring(down)), fmt(wy))
        removeCCT(walker)
        local _, _, z0 = getWorldTranslation(car)
        start = z0
        driveStart = elapsed
    end
    for _, w in ipairs(wheels) do
        setWheelShapeProps(car, w, 400, 0, 0)
    end
    local x, y, z = getWorldTranslation(car)
    if z - start >= 10 then
        print(string.format("drove 10 units in %.1f s, x ", (elapsed - driveStart) / 1000), fmt(x),
              string.format(", axle %.0f", getWheelShapeAxleSpeed(car, wheels[1])))
        requestExit()
    elseif elapsed - driveStart > 30000 then
        print(string.format("stuck at %.2f", z - start))
        requestExit()
    end
end
)");
    auto result = game.run({"-script", "main.lua"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::string log = testsupport::readFile(game.userFolder() + "game.log");
    EXPECT_NE(log.find("wheels 0,1,2,3\n"), std::string::npos) << log;
    EXPECT_NE(log.find("refused nil nil\n"), std::string::npos) << log;
    EXPECT_NE(log.find("walker 0 missing nil\n"), std::string::npos) << log;
    EXPECT_NE(log.find("contact -0.90 0.00 position -0.90 1.50\n"), std::string::npos) << log;
    EXPECT_NE(log.find("walker false false true 0.85\n"), std::string::npos) << log;
    size_t drove = log.find("drove 10 units in ");
    ASSERT_NE(drove, std::string::npos) << log;
    // Straight ahead, wheels rolling forward.
    EXPECT_NE(log.find(", x 0.00, axle ", drove), std::string::npos) << log;
    double axle = std::atof(log.c_str() + log.find(", axle ", drove) + 7);
    EXPECT_GT(axle, 180.0) << log;
}

}  // namespace
