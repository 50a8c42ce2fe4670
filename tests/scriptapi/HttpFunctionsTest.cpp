// "httpGet" and "httpGetAsync" from scripts: bodies with zero bytes arrive
// whole, and the request on a worker calls back by name, with or without a
// target, only when the engine delivers finished requests.

#include "ScriptApiFixture.h"
#include "TestHttpServer.h"
#include "base/platform/Platform.h"
#include "foundation/HttpRequests.h"
#include "scripting/ScriptCallbacks.h"

namespace scriptapitest {
namespace {

using testsupport::TestHttpServer;

class HttpFunctionsTest : public ScriptApiTest {
protected:
    void TearDown() override {
        HttpRequests::get().cancelAll();
        ScriptApiTest::TearDown();
    }

    // Delivers finished requests, as the frame loop does, until the script
    // global is set (at most 20 s).
    void deliverUntilSet(const std::string& global) {
        const double until = platform::getTimeMs() + 20000.0;
        while (isNil(global) && platform::getTimeMs() < until) {
            HttpRequests::get().deliverFinished();
            platform::sleepMs(5);
        }
        ASSERT_FALSE(isNil(global)) << log();
    }
};

TEST_F(HttpFunctionsTest, BodiesWithZeroBytesArriveWhole) {
    const std::string binary("ab\0cd\0\0e", 8);
    TestHttpServer server(TestHttpServer::withBody(binary));
    const std::string url = server.url("/blob");
    run("local body = httpGet('" + url +
        "')\n"
        "length = #body; third = body:byte(3); last = body:byte(-1)\n"
        "function onBody(body, reason, id)\n"
        "    asyncLength = #body; asyncSixth = body:byte(6); asyncLast = body:sub(-1)\n"
        "    asyncReason = reason; asyncId = id\n"
        "end\n"
        "requestId = httpGetAsync('" +
        url + "', 'onBody')");
    EXPECT_EQ(number("length"), 8);
    EXPECT_EQ(number("third"), 0);
    EXPECT_EQ(number("last"), 'e');
    EXPECT_GT(number("requestId"), 0);
    deliverUntilSet("asyncLength");
    EXPECT_EQ(number("asyncLength"), 8);
    EXPECT_EQ(number("asyncSixth"), 0);
    EXPECT_EQ(text("asyncLast"), "e");
    EXPECT_TRUE(isNil("asyncReason"));
    EXPECT_EQ(number("asyncId"), number("requestId"));
    EXPECT_EQ(log(), "");
}

// A failure reaches the function as nil and the reason; a target table gets
// the call method style. A refused request returns nil and never calls
// back, and no callback object outlives its request.
TEST_F(HttpFunctionsTest, FailuresAndTargetsReachTheCallback) {
    uint16_t refusedPort = 0;
    {
        TestHttpServer closed(TestHttpServer::Reply{});
        refusedPort = closed.port();
    }
    const size_t listenersBefore = ScriptingActionListener::count();
    run("player = {name = 'player'}\n"
        "function player:onFetched(body, reason, id)\n"
        "    self.body = body; self.reason = reason; self.id = id; fetchedBy = self.name\n"
        "end\n"
        "function never() neverCalled = true end\n"
        "refused = httpGetAsync('ftp://127.0.0.1/x', 'never')\n"
        "pending = httpGetAsync('http://127.0.0.1:" +
        std::to_string(refusedPort) +
        "/x', 'onFetched', player)\n"
        "reasonRightAway = player.reason");
    EXPECT_TRUE(isNil("refused"));
    EXPECT_GT(number("pending"), 0);
    EXPECT_TRUE(isNil("reasonRightAway"));  // never within the starting call
    deliverUntilSet("fetchedBy");
    EXPECT_EQ(text("fetchedBy"), "player");
    EXPECT_EQ(text("player.reason"), "Could not connect to: 127.0.0.1");
    EXPECT_EQ(text("player.body"), "nil");
    EXPECT_EQ(text("player.id"), text("pending"));
    EXPECT_TRUE(isNil("neverCalled"));
    EXPECT_EQ(ScriptingActionListener::count(), listenersBefore);
}

}  // namespace
}  // namespace scriptapitest
