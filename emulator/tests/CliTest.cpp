// The emulator command as a child process: arguments, `ready`, the command
// lines and their answers, quit and end of input, a busy endpoint.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace emulator::testing {
namespace {

namespace fs = std::filesystem;

fs::path EmulatorProgram() { return fs::read_symlink("/proc/self/exe").parent_path() / "emulator"; }

class TempDir {
public:
    TempDir()
    {
        std::string tmpl = (fs::temp_directory_path() / "emuchip-cli-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data());
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

// A running emulator with pipes on its standard streams.
class Child {
public:
    explicit Child(const std::vector<std::string>& args)
    {
        int in[2], out[2], err[2];
        EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
        EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
        EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<std::string> all{EmulatorProgram().string()};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        EXPECT_EQ(::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        stdin_ = in[1];
        stdout_ = out[0];
        stderr_ = err[0];
    }
    ~Child()
    {
        CloseInput();
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(stdout_);
        ::close(stderr_);
    }

    void Send(const std::string& line)
    {
        const std::string text = line + "\n";
        ASSERT_EQ(::write(stdin_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    // One line of standard output ("" at end of stream).
    std::string Line()
    {
        std::string line;
        char c;
        while (::read(stdout_, &c, 1) == 1) {
            if (c == '\n')
                return line;
            line += c;
        }
        return line;
    }
    std::string Ask(const std::string& command)
    {
        Send(command);
        return Line();
    }
    void CloseInput()
    {
        if (stdin_ >= 0)
            ::close(stdin_);
        stdin_ = -1;
    }
    int Wait()
    {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Errors()
    {
        std::string text;
        char buf[256];
        ssize_t n;
        while ((n = ::read(stderr_, buf, sizeof buf)) > 0)
            text.append(buf, static_cast<std::size_t>(n));
        return text;
    }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    int stdin_ = -1, stdout_ = -1, stderr_ = -1;
};

TEST(CliTest, ServesCommandsAndQuits)
{
    TempDir root;
    Child child({"--root", root.Path().string(), "--board", "RM410", "--device", "2", "--set", "clock=virtual"});
    ASSERT_EQ(child.Line(), "ready");
    const fs::path endpoint = root.Path() / "devices" / "usbscan2";
    EXPECT_TRUE(fs::exists(endpoint));

    const std::pair<const char*, const char*> dialogue[] = {
        {"press", "ok"},
        {"release", "ok"},
        {"insert-calibration", "ok"},
        {"advance 5", "ok"},
        {"set speed=2", "ok"},
        {"set nothing=1", "error: unknown switch"},
        {"fault stall ON control-in", "ok"},
        {"fault nonsense", "error: bad fault"},
        {"bogus", "error: unknown command"},
        {"plug", "error: already plugged"},
        {"unplug", "ok"},
        {"unplug", "error: not plugged"},
        {"plug", "ok"},
        {"power-cycle", "ok"},
    };
    for (auto [command, answer] : dialogue)
        EXPECT_EQ(child.Ask(command), answer) << command;
    const std::string state = child.Ask("state");
    EXPECT_EQ(state.rfind("ok engine=idle status=0x10 fifo=0 lines=0 ", 0), 0u) << state;
    EXPECT_NE(state.find("sensor=paper"), std::string::npos) << state;
    EXPECT_NE(state.find("violations=0"), std::string::npos) << state;
    EXPECT_EQ(child.Ask("insert /no/such/sheet.pnm").rfind("error: cannot read", 0), 0u);

    EXPECT_EQ(child.Ask("quit"), "ok");
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_FALSE(fs::exists(endpoint));
}

TEST(CliTest, EndOfInputQuitsAndASecondServerIsRefused)
{
    TempDir root;
    Child first({"--root", root.Path().string(), "--board", "RM310-GL841"});
    ASSERT_EQ(first.Line(), "ready");

    Child second({"--root", root.Path().string(), "--board", "RM1100"});
    EXPECT_EQ(second.Wait(), 1);
    EXPECT_NE(second.Errors().find("error: device busy"), std::string::npos);

    first.CloseInput();
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_FALSE(fs::exists(root.Path() / "devices" / "usbscan0"));
}

// The feeder takes the sheets in the order of the command line, the
// calibration sheet (11 in long) where it stands among the others: the
// first one given is the one ready at the sensor.
TEST(CliTest, SheetsQueueInTheOrderGiven)
{
    TempDir root;
    const fs::path page = root.Path() / "page.pgm";
    {
        std::ofstream out(page, std::ios::binary);
        out << "P5\n1200 1800\n255\n" << std::string(1200 * 1800, '\x80');  // 2 x 3 in
    }
    struct Case {
        std::vector<std::string> sheets;
        const char* ready;
    };
    const std::vector<Case> cases = {
        {{"--calibration-sheet", "--sheet", page.string()}, "sheet_length=11 "},
        {{"--sheet", page.string(), "--calibration-sheet"}, "sheet_length=3 "},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"--root", root.Path().string(), "--board", "RM410", "--set", "clock=virtual"};
        args.insert(args.end(), c.sheets.begin(), c.sheets.end());
        Child child(args);
        ASSERT_EQ(child.Line(), "ready");
        EXPECT_EQ(child.Ask("advance 1"), "ok");
        const std::string state = child.Ask("state");
        EXPECT_NE(state.find(c.ready), std::string::npos) << c.sheets.front() << ": " << state;
        EXPECT_NE(state.find("queue=1 "), std::string::npos) << state;
        EXPECT_EQ(child.Ask("quit"), "ok");
        EXPECT_EQ(child.Wait(), 0);
    }
}

TEST(CliTest, BadArgumentsAndSheetsExitWithTwo)
{
    TempDir root;
    const fs::path small = root.Path() / "small.pnm";
    {
        std::ofstream out(small, std::ios::binary);
        out << "P5\n10 10\n255\n" << std::string(100, '\x80');
    }
    const std::vector<std::vector<std::string>> cases = {
        {"--board", "RM410"},
        {"--root", root.Path().string()},
        {"--root", root.Path().string(), "--board", "RM999"},
        {"--root", root.Path().string(), "--board", "RM410", "--device", "x"},
        {"--root", root.Path().string(), "--board", "RM410", "--set", "nothing=1"},
        {"--root", root.Path().string(), "--board", "RM410", "--bogus"},
        {"--root", root.Path().string(), "--board", "RM410", "--sheet", (root.Path() / "missing.pnm").string()},
        {"--root", root.Path().string(), "--board", "RM410", "--sheet", small.string()},
    };
    for (const auto& args : cases) {
        Child child(args);
        EXPECT_EQ(child.Wait(), 2) << args.back();
        EXPECT_FALSE(child.Errors().empty()) << args.back();
    }
    EXPECT_FALSE(fs::exists(root.Path() / "devices" / "usbscan0"));
}

}  // namespace
}  // namespace emulator::testing
