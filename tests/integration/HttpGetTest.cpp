#include <gtest/gtest.h>

#include "GameRunner.h"
#include "TestHttpServer.h"

namespace {

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

}  // namespace
