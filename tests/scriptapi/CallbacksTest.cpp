// Timers and delete listeners driven from scripts.

#include "ScriptApiFixture.h"
#include "foundation/TimerScheduler.h"
#include "scripting/ScriptCallbacks.h"

namespace scriptapitest {
namespace {

using CallbacksTest = ScriptApiTest;

void advance(double ms) {
    TimerScheduler::get().advance(ms);
}

TEST_F(CallbacksTest, TimersFireInOrderAndRepeatWhileTheyReturnTrue) {
    run("fired = ''\n"
        "function once() fired = fired .. 'o' end\n"
        "repeats = 0\n"
        "function again() fired = fired .. 'r'; repeats = repeats + 1; return repeats < 3 end\n"
        "function late() fired = fired .. 'l' end\n"
        "addTimer(10, 'again'); addTimer(10, 'once'); addTimer(25, 'late')");
    advance(5);
    EXPECT_EQ(text("fired"), "");
    advance(5);
    EXPECT_EQ(text("fired"), "ro");  // equal due times: scheduling order
    advance(10);
    EXPECT_EQ(text("fired"), "ror");
    advance(10);
    EXPECT_EQ(text("fired"), "rorlr");
    advance(100);
    EXPECT_EQ(text("fired"), "rorlr");  // the third call returned false
    EXPECT_EQ(TimerScheduler::get().getNumScheduled(), 0u);
    EXPECT_EQ(ScriptingActionListener::count(), 0u);
}

TEST_F(CallbacksTest, ZeroIntervalFiresAtTheNextAdvance) {
    run("count = 0\n"
        "function tick() count = count + 1 end\n"
        "function starter() addTimer(0, 'tick') end\n"
        "addTimer(1, 'starter')");
    advance(1);
    EXPECT_EQ(number("count"), 0);  // added during this advance
    advance(0);
    EXPECT_EQ(number("count"), 1);
}

TEST_F(CallbacksTest, NotANumberIntervalHoldsNoTimerBack) {
    run("fired = ''\n"
        "function a() fired = fired .. 'a' end\n"
        "function b() fired = fired .. 'b' end\n"
        "addTimer(0 / 0, 'a'); addTimer(1, 'b')");
    advance(1);
    EXPECT_EQ(text("fired"), "ab");
}

TEST_F(CallbacksTest, SetTimerTimeChangesOnlyTheFollowingPeriods) {
    run("count = 0\n"
        "function tick() count = count + 1; return true end\n"
        "t = addTimer(10, 'tick'); setTimerTime(t, 50)");
    advance(10);
    EXPECT_EQ(number("count"), 1);
    advance(40);
    EXPECT_EQ(number("count"), 1);
    advance(10);
    EXPECT_EQ(number("count"), 2);
    run("removeTimer(t); removeTimer(t); removeTimer(12345)");
    advance(100);
    EXPECT_EQ(number("count"), 2);
}

TEST_F(CallbacksTest, RemovingCollectedTimersInsideACallbackIsSafe) {
    // Both b and c are due in the same advance as a; a removes b, c removes
    // itself and returns true, d removes a timer that already fired.
    run("fired = ''\n"
        "function a() fired = fired .. 'a'; removeTimer(tb) end\n"
        "function b() fired = fired .. 'b' end\n"
        "function c() fired = fired .. 'c'; removeTimer(tc); return true end\n"
        "function d() fired = fired .. 'd'; removeTimer(ta) end\n"
        "ta = addTimer(5, 'a'); tb = addTimer(5, 'b'); tc = addTimer(5, 'c'); td = addTimer(5, "
        "'d')");
    advance(5);
    EXPECT_EQ(text("fired"), "acd");
    advance(50);
    EXPECT_EQ(text("fired"), "acd");
    EXPECT_EQ(ScriptingActionListener::count(), 0u);
}

TEST_F(CallbacksTest, TimerWithoutFunctionIsDeletedAndTargetsAreCalledMethodStyle) {
    run("obj = {n = 0}\n"
        "function obj.hit(self) self.n = self.n + 1 end\n"
        "addTimer(1, 'noSuchFunction'); addTimer(1, 'hit', obj)");
    EXPECT_EQ(ScriptingActionListener::count(), 2u);
    advance(1);
    EXPECT_EQ(ScriptingActionListener::count(), 0u);
    run("n = obj.n");
    EXPECT_EQ(number("n"), 1);
    EXPECT_EQ(log(), "");
}

TEST_F(CallbacksTest, DeleteListenersFireOnceAndCanBeRemoved) {
    run("calls = ''\n"
        "function gone() calls = calls .. 'g' end\n"
        "watcher = {}\n"
        "function watcher.seen(self) calls = calls .. 'w' end\n"
        "n = createTransformGroup('n')\n"
        "addDeleteListener(n, 'gone'); removed = addDeleteListener(n, 'gone')\n"
        "addDeleteListener(n, 'seen', watcher)\n"
        "removeDeleteListener(n, removed); removeDeleteListener(n, removed)\n"
        "delete(n)");
    EXPECT_EQ(text("calls"), "gw");
    EXPECT_EQ(ScriptingActionListener::count(), 0u);
}

TEST_F(CallbacksTest, DeletingInsideDeleteListenersIsSafe) {
    // The subtree p > (a, b): a's listener deletes p (being deleted), b
    // (still waiting in the deletion) and removes its own listener; the
    // listener of p deletes p again.
    run("calls = ''\n"
        "p = createTransformGroup('p'); a = createTransformGroup('a'); b = "
        "createTransformGroup('b')\n"
        "link(p, a); link(p, b)\n"
        "function onA() calls = calls .. 'a'; delete(p); delete(b); removeDeleteListener(a, la) "
        "end\n"
        "function onB() calls = calls .. 'b' end\n"
        "function onP() calls = calls .. 'p'; delete(p); className = getClassName(p) end\n"
        "la = addDeleteListener(a, 'onA'); addDeleteListener(b, 'onB'); addDeleteListener(p, "
        "'onP')\n"
        "delete(p)");
    std::string messages = log();
    EXPECT_NE(messages.find("Unknown entity id"), std::string::npos) << messages;
    EXPECT_EQ(text("calls"), "abp");
    EXPECT_TRUE(isNil("className"));
    EXPECT_EQ(ScriptingActionListener::count(), 0u);
}

TEST_F(CallbacksTest, QueryReportsCallTheScriptPerObject) {
    run("hits = ''\n"
        "function onHit(id, x, y, z, d) hits = hits .. id .. ':' .. x .. ',' .. d .. ' '; "
        "return id ~= 0 end\n"
        "seen = ''\n"
        "function onObject(id) seen = seen .. id .. ' ' end\n"
        "n = createTransformGroup('n')");
    Entity* node = EntityRegistry::find(static_cast<int32_t>(number("n")));
    ScriptingRaycastReport report("onHit", nullptr);
    EXPECT_TRUE(report.hit(node, {1, 2, 3}, 4));
    EXPECT_FALSE(report.hit(nullptr, {5, 0, 0}, 6));  // the function answered false
    const std::string name = "onObject";
    ScriptingPhysicsEntityReport overlap(name);
    overlap.object(node);
    overlap.object(nullptr);
    ScriptingRaycastReport missing("noSuchFunction", nullptr);
    EXPECT_FALSE(missing.hit(node, {0, 0, 0}, 0));
    const std::string id = std::to_string(node->getId());
    EXPECT_EQ(text("hits"), id + ":1,4 0:5,6 ");
    EXPECT_EQ(text("seen"), id + " 0 ");
    run("delete(n)");
}

}  // namespace
}  // namespace scriptapitest
