#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <regex>
#include <thread>

#include "GameRunner.h"
#include "TestHttpServer.h"

namespace {

using testsupport::TestHttpServer;

// A script in the running game fetches a chunked document from a server in
// this test program; a second call, with a URL that has no path, gets nil.
TEST(HttpGet, ScriptFetchesFromALocalServer) {
    testsupport::TestHttpServer::Reply reply;
    reply.pieces = {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", "b\r\nHello from \r\n",
                    "6\r\nserver\r\n0\r\n\r\n"};
    reply.ending = testsupport::TestHttpServer::Ending::KeepOpen;
    reply.pauseMs = 5;
    testsupport::TestHttpServer server(reply);

    GameRunner game;
    std::string script = "function init()\n";
    script += "    local text = httpGet('" + server.url("/motd?lang=en") + "')\n";
    script += "    local none = httpGet('" + server.url("") + "')\n";
    script += "    print('fetched [', text, '] then ', tostring(none))\n";
    script += "    requestExit()\nend\n";
    game.writeProgramFile("main.lua", script);
    auto result = game.run({"-script", "main.lua"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const std::string log = testsupport::readFile(game.userFolder() + "game.log");
    EXPECT_NE(log.find("fetched [Hello from server] then nil\n"), std::string::npos) << log;
    EXPECT_EQ(server.connections(), 1);
    EXPECT_EQ(server.lastRequest().find("GET /motd?lang=en HTTP/1.1\r\n"), 0u)
        << server.lastRequest();
}

// Requests on workers while the game runs: a server that answers after 2 s
// (the frames go on meanwhile, many of them), a refused port, a body past the
// cap and a body with zero bytes, each reported to its callback once.
TEST(HttpGet, RequestsOnWorkersLeaveTheFramesRunning) {
    TestHttpServer::Reply slowReply = TestHttpServer::withBody("late news");
    slowReply.delayMs = 2000;
    TestHttpServer slow(slowReply);
    TestHttpServer::Reply hugeReply;
    hugeReply.pieces = {"HTTP/1.1 200 OK\r\n\r\n", std::string(16 * 1024 * 1024, 'x')};
    TestHttpServer huge(hugeReply);
    TestHttpServer zeros(TestHttpServer::withBody(std::string("ab\0cd\0", 6)));
    uint16_t refusedPort = 0;
    {
        TestHttpServer closed(TestHttpServer::Reply{});
        refusedPort = closed.port();
    }

    GameRunner game;
    std::string script =
        "frames, slowFrames, slowMs, longestFrame, slowDone, done = 0, 0, 0, 0, false, 0\n"
        "function init()\n";
    script += "    httpGetAsync('" + slow.url("/news") + "', 'onSlow')\n";
    script +=
        "    httpGetAsync('http://127.0.0.1:" + std::to_string(refusedPort) + "/x', 'onOther')\n";
    script += "    httpGetAsync('" + huge.url("/") + "', 'onOther')\n";
    script += "    httpGetAsync('" + zeros.url("/") + "', 'onOther')\n";
    script +=
        "end\n"
        "function update(dt)\n"
        "    frames = frames + 1\n"
        "    if not slowDone then\n"
        "        slowFrames = slowFrames + 1; slowMs = slowMs + dt\n"
        "        longestFrame = math.max(longestFrame, dt)\n"
        "    end\n"
        "    if frames > 5000 then print('gave up'); requestExit() end\n"
        "end\n"
        "function finish() done = done + 1; if done == 4 then requestExit() end end\n"
        "function onOther(body, reason, id)\n"
        "    if body then\n"
        "        print(string.format('request %d: %d bytes, byte 3 is %d', id, #body, "
        "body:byte(3)))\n"
        "    else\n"
        "        print(string.format('request %d failed: %s', id, reason))\n"
        "    end\n"
        "    finish()\n"
        "end\n"
        "function onSlow(body, reason, id)\n"
        "    slowDone = true\n"
        "    print(string.format('slow request %d: [%s] after %d frames, %d ms of frames, '\n"
        "        .. 'longest frame %d ms', id, tostring(body), slowFrames, math.floor(slowMs),\n"
        "        math.floor(longestFrame)))\n"
        "    finish()\n"
        "end\n";
    game.writeProgramFile("main.lua", script);
    auto result = game.run({"-script", "main.lua"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const std::string log = testsupport::readFile(game.userFolder() + "game.log");
    EXPECT_NE(log.find("request 2 failed: Could not connect to: 127.0.0.1\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find("request 3 failed: Response from: 127.0.0.1 larger than 16777216 bytes\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("request 4: 6 bytes, byte 3 is 0\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("gave up"), std::string::npos) << log;

    std::smatch slowLine;
    ASSERT_TRUE(std::regex_search(
        log, slowLine,
        std::regex("slow request 1: \\[late news\\] after (\\d+) frames, (\\d+) ms of frames, "
                   "longest frame (\\d+) ms")))
        << log;
    const int framesWhilePending = std::stoi(slowLine[1]);
    const int frameTimeWhilePending = std::stoi(slowLine[2]);
    std::printf("slow request: %d frames, %d ms of frame time, longest frame %s ms\n",
                framesWhilePending, frameTimeWhilePending, slowLine[3].str().c_str());
    // A loop held by the request would have run one or two frames; at the
    // frame limiter's 60 per second two seconds hold about 120 (a loaded
    // machine fewer). Frame times are counted at most 67 ms each, so the
    // sum shows that the callback came after about the server's delay, not
    // at once.
    EXPECT_GE(framesWhilePending, 20) << log;
    EXPECT_GE(frameTimeWhilePending, 1000) << log;
    EXPECT_LT(frameTimeWhilePending, 15000) << log;
    EXPECT_EQ(slow.connections(), 1);
}

// A request still waiting at shutdown is cancelled: the game ends without
// running into the request's 10-second deadline, and the callback is never
// called.
TEST(HttpGet, RequestPendingAtShutdownIsCancelled) {
    TestHttpServer::Reply silent;
    silent.ending = TestHttpServer::Ending::KeepOpen;  // reads the request, never answers
    TestHttpServer server(silent);

    GameRunner game;
    std::string script = "frames = 0\nfunction init()\n";
    script += "    print('started ', httpGetAsync('" + server.url("/never") + "', 'onBody'))\n";
    script +=
        "end\n"
        "function onBody(body, reason) print('called back with ', tostring(reason)) end\n"
        "function update(dt)\n"
        "    frames = frames + 1\n"
        "    if frames == 30 then requestExit() end\n"
        "end\n";
    game.writeProgramFile("main.lua", script);
    auto result = game.run({"-script", "main.lua"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const std::string log = testsupport::readFile(game.userFolder() + "game.log");
    EXPECT_NE(log.find("started 1\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Warning: Request 1 to: 127.0.0.1 cancelled at shutdown (HTTP)\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("called back"), std::string::npos) << log;
    // The server saw the connection close long before the deadline would
    // have ended it (30 frames and the shutdown, not 10 s).
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (server.clientClosedAfterMs() < 0.0 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const double closedAfter = server.clientClosedAfterMs();
    std::printf("connection closed %.0f ms after the request arrived\n", closedAfter);
    EXPECT_GE(closedAfter, 0.0);
    EXPECT_LT(closedAfter, 8000.0);
}

}  // namespace
