// The script API reference: its format, the check that every function is
// named, typed and described, and that the committed copy matches the
// bindings of this build.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScriptApiReference.h"
#include "TestSupport.h"
#include "app/AppScriptApi.h"
#include "scripting/ScriptApi.h"

namespace {

void nothing(Entity*, ScriptValue*) {}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += "  " + line + "\n";
    }
    return text;
}

// A small API with one of everything, documented completely.
void addDocumentedApi(ScriptApi& api) {
    api.addEntryPoints({{"update", "number dt: milliseconds", "", "Runs every frame."}});
    api.setSection("Mixing");
    api.addGlobalFunctions({{"mix", "isb", "fa", nothing, "count; label; loud?",
                             "level: 0 to 1; table extra", "Mixes the sounds."}});
    api.addCallbacks({{"mixed", "integer node; number x, y: world units", "boolean more",
                       "Called after mixing."}});
    api.addEntityClass("Base", nullptr, nullptr,
                       {{"remove", "", "", nothing, "", "", "Removes the thing."}});
    api.describeClass("Base", {"thing", "Anything."});
    api.addEntityClass(
        "Part", "Base", nullptr,
        {{"remove", "", "", nothing, "", "", "Removes the part."},
         {"move", "fff", "", nothing, "x, y, z: world units", "", "Moves the part."}});
    api.describeClass("Part", {"part", "A piece of a thing."});
    api.addMethods("Base", {{"listen", "sa", "i", nothing, "callbackName; table target?",
                             "listener", "Listens to the thing."}});
    api.addCreateFunction("createPart", "Part", "string name; number size: world units",
                          "Makes a part.");
    api.addObjectClass("Builder", nullptr,
                       {{"finish", "s", "i", nothing, "name", "part", "Finishes the part."}});
    api.describeClass("Builder", {"", "Builds parts."});
}

TEST(ScriptApiReferenceTest, ValueListsSplitIntoNamesTypesNotesAndOptionals) {
    const std::vector<ScriptValueDoc> values =
        parseValueDocs("node; number x, y: world units, relative; table target?");
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[0].name, "node");
    EXPECT_EQ(values[0].type, "");
    EXPECT_EQ(values[0].note, "");
    EXPECT_EQ(values[1].name, "x");
    EXPECT_EQ(values[2].name, "y");
    // The type and the note hold for every name of the group.
    EXPECT_EQ(values[2].type, "number");
    EXPECT_EQ(values[2].note, "world units, relative");
    EXPECT_EQ(values[3].type, "table");
    EXPECT_EQ(values[3].name, "target");
    EXPECT_TRUE(values[3].optional);
    EXPECT_FALSE(values[1].optional);
    EXPECT_TRUE(parseValueDocs("").empty());
}

TEST(ScriptApiReferenceTest, AnnotationsCarryNamesTypesResultsAndSentences) {
    ScriptApi api;
    addDocumentedApi(api);
    ASSERT_TRUE(findReferenceGaps(api).empty()) << joined(findReferenceGaps(api));

    const std::string lua = writeLuaAnnotations(api);
    EXPECT_EQ(lua.rfind("---@meta\n", 0), 0u);
    // Declared types win; "a" takes the documented type; optional names.
    EXPECT_TRUE(contains(lua,
                         "--- Mixes the sounds.\n---@param count integer\n---@param label string\n"
                         "---@param loud? boolean\n---@return number level # 0 to 1\n"
                         "---@return table extra\nfunction mix(count, label, loud) end\n"))
        << lua;
    // One definition for a name that two classes bind, naming both; the id
    // goes by the class's name for it.
    EXPECT_TRUE(contains(lua,
                         "--- Removes the thing. Entity function of Base, Part.\n"
                         "---@param thing integer id of a Base or of a class derived from it\n"
                         "function remove(thing) end\n"))
        << lua;
    EXPECT_EQ(lua.find("function remove"), lua.rfind("function remove"));
    EXPECT_TRUE(contains(lua, "---@param x number world units\n"));
    EXPECT_TRUE(contains(lua,
                         "---@param callbackName string\n---@param target? table\n"
                         "---@return integer listener\nfunction listen(thing, callbackName, "
                         "target) end\n"))
        << lua;
    EXPECT_TRUE(contains(lua,
                         "---@param name string\n---@param size number world units\n"
                         "---@return integer id # id of the new Part\n"
                         "function createPart(name, size) end\n"));
    EXPECT_TRUE(contains(lua, "--- Builds parts.\n---@class Builder\nBuilder = {}\n"));
    EXPECT_TRUE(contains(lua, "---@return Builder\nfunction Builder:new() end\n"));
    EXPECT_TRUE(contains(lua, "function Builder:finish(name) end\n"));
    EXPECT_TRUE(contains(lua, "---@alias entry.update fun(dt: number)\n"));
    EXPECT_TRUE(contains(lua,
                         "---@alias callback.mixed fun(node: integer, x: number, y: number): "
                         "boolean\n"))
        << lua;
}

TEST(ScriptApiReferenceTest, MarkdownGroupsBySectionWithIndexAndCallbacks) {
    ScriptApi api;
    addDocumentedApi(api);
    const std::string md = writeMarkdownReference(api);
    EXPECT_TRUE(contains(md,
                         "- [Mixing](#mixing): [mix](#mix), [createPart](#createpart), "
                         "class [Base](#class-base), class [Part](#class-part), class "
                         "[Builder](#class-builder)\n"))
        << md;
    EXPECT_TRUE(
        contains(md, "#### `mix(count, label, loud?) → level, extra`\n\nMixes the sounds.\n"));
    // Values sharing type and note share a row.
    EXPECT_TRUE(contains(md, "| in | `x`, `y`, `z` | number | world units |\n"));
    EXPECT_TRUE(contains(md, "| in | `loud` | boolean, optional |  |\n"));
    EXPECT_TRUE(contains(md, "| out | `level` | number | 0 to 1 |\n"));
    EXPECT_TRUE(contains(md, "#### `move(part, x, y, z)`"));
    EXPECT_TRUE(contains(md, "### Part\n\nA piece of a thing.\n\nEntity class: Part < Base."));
    EXPECT_TRUE(contains(md, "#### `object:finish(name) → part`"));
    EXPECT_TRUE(contains(md, "<a id=\"entry-update\"></a>\n#### `update(dt)`"));
    EXPECT_TRUE(contains(md, "#### `mixed(node, x, y) → more`\n\nCalled after mixing.\n"));
    EXPECT_LT(md.find("## Entry points and callbacks"), md.find("## Mixing"));
    EXPECT_LT(md.find("### Base"), md.find("#### `listen(thing, callbackName, target?)"));
}

TEST(ScriptApiReferenceTest, GapsNameTheFunctionAndWhatItLacks) {
    struct Case {
        const char* what;
        Method method;
        const char* expected;
    };
    const Case cases[] = {
        {"no names",
         {"spin", "ff", "", nothing, "", "", "Spins."},
         "global function spin: 2 arguments declared, 0 named"},
        {"a result unnamed",
         {"where", "", "fff", nothing, "", "x, y: world units", "Finds."},
         "global function where: 3 results declared, 2 named"},
        {"no sentence",
         {"stop", "", "", nothing, "", "", ""},
         "global function stop: no sentence saying what it does"},
        {"no full stop",
         {"stop", "", "", nothing, "", "", "Stops"},
         "global function stop: the sentence does not end with a full stop"},
        {"a number without meaning",
         {"scale", "f", "", nothing, "factor", "", "Scales."},
         "global function scale: number argument 'factor' says no unit, range or meaning"},
        {"an angle without a unit",
         {"turn", "f", "", nothing, "angle: a lot", "", "Turns."},
         "global function turn: argument 'angle' looks like an angle but names no unit"},
        {"a time without a unit",
         {"wait", "f", "", nothing, "delay: long", "", "Waits."},
         "global function wait: argument 'delay' looks like a time but names no unit"},
        {"a distance without a unit",
         {"reach", "", "f", nothing, "", "radius: big", "Reaches."},
         "global function reach: result 'radius' looks like a distance but names no unit"},
        {"a type that contradicts the declaration",
         {"count", "i", "", nothing, "string n", "", "Counts."},
         "global function count: argument 'n' is declared integer but documented as string"},
    };
    for (const Case& c : cases) {
        ScriptApi api;
        api.addGlobalFunctions({c.method});
        const std::vector<std::string> gaps = findReferenceGaps(api);
        ASSERT_EQ(gaps.size(), 1u) << c.what << "\n" << joined(gaps);
        EXPECT_TRUE(contains(gaps[0], c.expected)) << c.what << ": " << gaps[0];
    }

    // Classes, create functions, entry points and callbacks.
    ScriptApi api;
    api.addEntityClass("Wheel", nullptr, nullptr,
                       {{"spin", "", "", nothing, "", "", "Spins the wheel."}});
    api.addMethods("Axle", {{"turn", "f", "", nothing, "steerAngle: radians", "", "Steers."}});
    api.addCreateFunction("createWheel", "Wheel", "name", "Makes a wheel.");
    api.addEntryPoints({{"update", "dt", "", "Runs every frame."}});
    api.addCallbacks({{"rolled", "integer wheel", "", ""}});
    const std::string gaps = joined(findReferenceGaps(api));
    EXPECT_TRUE(contains(gaps, "class Wheel: no description")) << gaps;
    EXPECT_TRUE(contains(gaps, "class Wheel: no name for its id argument")) << gaps;
    EXPECT_TRUE(contains(gaps, "class Axle: no description")) << gaps;
    EXPECT_FALSE(contains(gaps, "Axle.turn")) << gaps;
    EXPECT_TRUE(contains(gaps, "create function createWheel: argument 'name' has no type")) << gaps;
    EXPECT_TRUE(contains(gaps, "entry point update: argument 'dt' has no type")) << gaps;
    EXPECT_TRUE(contains(gaps, "callback rolled: no sentence")) << gaps;
}

// Every function a game can call, every class, entry point and callback of
// this build is named, typed and described. A function added without its
// texts is listed here by name with what it lacks; the texts go beside the
// binding (see scripting/Method.h).
TEST(ScriptApiReferenceTest, EveryBoundFunctionIsDocumented) {
    ScriptApi api;
    buildScriptApi(api);
    addApplicationScriptApi(api);
    const std::vector<std::string> gaps = findReferenceGaps(api);
    EXPECT_TRUE(gaps.empty()) << gaps.size() << " gaps in the script reference:\n" << joined(gaps);
    // The script entry points and the callbacks of every registering
    // function are part of it.
    std::vector<std::string> entries;
    for (const ScriptApi::CallbackDecl& entry : api.getEntryPoints()) {
        entries.emplace_back(entry.name);
    }
    EXPECT_EQ(entries,
              (std::vector<std::string>{"init", "update", "draw", "keyEvent", "mouseEvent"}));
    std::string callbacks;
    for (const auto& [section, callback] : api.getCallbacks()) {
        callbacks += std::string(callback.name) + " ";
    }
    for (const char* name : {"onCreate", "raycastCallback", "overlapCallback", "triggerCallback",
                             "contactCallback", "timerCallback", "deleteListener"}) {
        EXPECT_TRUE(contains(callbacks, name)) << name << " missing from: " << callbacks;
    }
}

TEST(ScriptApiReferenceTest, LuacheckConfigDeclaresEngineGlobalsAndEntryPoints) {
    ScriptApi api;
    addDocumentedApi(api);
    const std::string config = writeLuacheckConfig(api, {"Helpers"});
    EXPECT_TRUE(contains(config, "globals = {\n    \"update\",\n    \"Helpers\",\n}\n")) << config;
    // Functions, create functions, entity functions once, object classes.
    EXPECT_TRUE(contains(config,
                         "read_globals = {\n    \"mix\",\n    \"createPart\",\n    \"remove\",\n"
                         "    \"listen\",\n    \"move\",\n    \"Builder\",\n}\n"))
        << config;
    EXPECT_FALSE(contains(config, "\"finish\""));

    EXPECT_EQ(findTopLevelGlobals("-- A helper\nHelpers = {}\n\nlocal x = 1\n"
                                  "function Helpers.run(a)\n    inner = 2\nend\n"
                                  "function toplevel()\nend\nif a == b then end\n"),
              (std::vector<std::string>{"Helpers", "toplevel"}));
}

// The committed reference is what the tool writes for this build. When a
// binding changes, rewrite it with:
//   build/bin/scriptapidoc docs/script-api data/shared/scripts/foundation/*.lua
TEST(ScriptApiReferenceTest, CommittedReferenceIsUpToDate) {
    ScriptApi api;
    buildScriptApi(api);
    addApplicationScriptApi(api);
    std::vector<std::string> foundationGlobals;
    for (const char* script : {"input.lua", "scenegraph.lua"}) {
        const std::string text =
            testsupport::readFile(std::string(FOUNDATION_SCRIPTS) + "/" + script);
        ASSERT_FALSE(text.empty()) << script;
        for (const std::string& name : findTopLevelGlobals(text)) {
            foundationGlobals.push_back(name);
        }
    }
    const std::string folder = std::string(SCRIPT_API_DOCS) + "/";
    const char* hint =
        " is out of date: run scriptapidoc docs/script-api "
        "data/shared/scripts/foundation/*.lua and commit the result";
    EXPECT_TRUE(testsupport::readFile(folder + kLuaAnnotationsFile) == writeLuaAnnotations(api))
        << folder << kLuaAnnotationsFile << hint;
    EXPECT_TRUE(testsupport::readFile(folder + kMarkdownReferenceFile) ==
                writeMarkdownReference(api))
        << folder << kMarkdownReferenceFile << hint;
    EXPECT_TRUE(testsupport::readFile(folder + kLuacheckConfigFile) ==
                writeLuacheckConfig(api, foundationGlobals))
        << folder << kLuacheckConfigFile << hint;
}

}  // namespace
