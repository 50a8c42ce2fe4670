// With the frame limiter switched off on the console, the loop runs as fast
// as the CPU allows; the device holds it at most two frames ahead of the GPU,
// so the software renderer queues no frames and memory stays flat.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "InProcessStartup.h"
#include "TestSupport.h"
#include "app/EngineApplication.h"
#include "app/Startup.h"
#include "base/device/IRenderDevice.h"
#include "foundation/File.h"
#include "foundation/TimerScheduler.h"
#include "foundation/XMLConfigFile.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ENGINE_TEST_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ENGINE_TEST_UNDER_ASAN 1
#endif

namespace {

// Under AddressSanitizer freed blocks wait in a quarantine of up to 256 MiB
// before they are reused, so resident memory grows whatever the loop does.
#ifdef ENGINE_TEST_UNDER_ASAN
constexpr bool kResidentMemoryTellsGrowth = false;
#else
constexpr bool kResidentMemoryTellsGrowth = true;
#endif

// Resident memory of this process in bytes.
long long residentBytes() {
    long long pages = 0;
    long long resident = 0;
    if (FILE* file = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(file, "%lld %lld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(file);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

TEST(UnlimitedFrames, TwoThousandFramesStayAtMostTwoAheadOfTheGpu) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "game.xml",
                           "<game><graphic><display><width>640</width><height>480</height>"
                           "</display></graphic></game>");
    testsupport::writePhysicsConfig(dir.path());
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 10));
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(DATA_FOLDER "/", 20));
    auto config = std::make_unique<XMLConfigFile>(dir / "game.xml", "ConfigFile", false);
    StartupParameters params = inProcessStartup(*config, dir.path(), "");
    auto app = std::make_unique<EngineApplication>(params);
    ASSERT_EQ(app->getStartupExitCode(), 0);
    IConsoleCommand* limiter = app->console.findCommand("enableFramerateLimit");
    ASSERT_NE(limiter, nullptr);
    limiter->execute({"enableFramerateLimit", "false"});
    ASSERT_FALSE(app->frameLimiterOn);
    app->showFps = true;

    long long settled = 0;
    int mostInFlight = 0;
    for (int frame = 1; frame <= 2000; ++frame) {
        ASSERT_TRUE(app->runFrame());
        mostInFlight = std::max(mostInFlight, app->renderDevice->getFramesInFlight());
        if (frame == 200) {
            settled = residentBytes();
        }
    }
    EXPECT_LE(mostInFlight, 2);
    EXPECT_GE(mostInFlight, 1);
    const long long growth = residentBytes() - settled;
    if (kResidentMemoryTellsGrowth) {
        EXPECT_LT(growth, 48ll << 20) << "resident memory grew by " << (growth >> 20) << " MiB";
    }
    app.reset();
    FileSystem::clearFileLoaders();
    TimerScheduler::get().reset();
}

}  // namespace
