// The calibrator as real X11 windows on an Xvfb server: the scripted user
// clicks through the X server and takes screenshots of the screen.
#include "ChildRuns.h"

#include <platform/testing_ui.h>

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <thread>

extern char** environ;

namespace calibrate_test {
namespace {

// An Xvfb server on a display number of its own for the test's life.
class VirtualDisplay {
public:
    VirtualDisplay() {
        number_ = 50 + static_cast<int>(::getpid() % 200);
        const std::string name = ":" + std::to_string(number_);
        std::vector<std::string> args{"/usr/bin/Xvfb", name, "-screen", "0", "1024x768x24", "-nolisten", "tcp"};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 01, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 01, 0);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        // The server is up once its socket is there.
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number_);
        for (int i = 0; i < 200 && pid_ > 0 && !std::filesystem::exists(socket); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ready_ = pid_ > 0 && std::filesystem::exists(socket);
    }
    ~VirtualDisplay() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool Ready() const { return ready_; }
    std::string Name() const { return ":" + std::to_string(number_); }

private:
    pid_t pid_ = -1;
    int number_ = 0;
    bool ready_ = false;
};

TEST(CalibratorDisplay, RunsAsRealWindowsUnderXvfb) {
    SKIP_IN_32_BIT_BUILD();
    if (!std::filesystem::exists("/usr/bin/Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    VirtualDisplay display;
    ASSERT_TRUE(display.Ready());
    const std::string page = TestFile("screen-page.png").string();
    const std::string box = TestFile("screen-box.png").string();
    const CalibratorRun run = RunCalibrator(
        {"FakeCalibrationLib.dll", "RM310__"},
        {"after:300", "screenshot:131:" + page, "click:131:1103", "after:300", "screenshot:box:" + box, "click:box:1"},
        {"PLATFORM_DISPLAY=x11", "DISPLAY=" + display.Name(), "PLATFORM_UI_TIMEOUT_MS=20000"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.library.back(), "close");
    EXPECT_EQ(std::count(run.ui.begin(), run.ui.end(), "answer 1"), 1);
    for (const std::string& picture : {page, box}) {
        int width = 0, height = 0;
        const std::vector<uint32_t> pixels = platform::testing::ReadPng(picture, &width, &height);
        ASSERT_EQ(width, 1024) << picture;
        ASSERT_EQ(height, 768) << picture;
        // Not blank: a window with its blue caption, grey face and text.
        const std::set<uint32_t> colours(pixels.begin(), pixels.end());
        EXPECT_GT(colours.size(), 10u) << picture;
        EXPECT_GT(std::count(pixels.begin(), pixels.end(), 0x0A246Au), 1000) << picture;
        EXPECT_GT(std::count(pixels.begin(), pixels.end(), 0xD4D0C8u), 5000) << picture;
    }
}

}  // namespace
}  // namespace calibrate_test
