#include "ChildPrograms.h"

#include <emulator/HostSpeed.h>
#include <platform/testing.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

extern char** environ;

namespace siscan_test {
namespace {

namespace fs = std::filesystem;

// This process's environment with the test machine's controls over it.
std::vector<std::string> ChildEnvironment()
{
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        variables[text.substr(0, text.find('='))] = text;
    }
    for (const std::string& text : platform::testing::ChildEnvironment()) {
        variables[text.substr(0, text.find('='))] = text;
    }
    std::vector<std::string> all;
    for (auto& [name, text] : variables) {
        all.push_back(text);
    }
    return all;
}

std::vector<char*> Pointers(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

pid_t Spawn(const fs::path& program, const std::vector<std::string>& args, posix_spawn_file_actions_t* actions)
{
    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = ChildEnvironment();
    std::vector<char*> argp = Pointers(argv);
    std::vector<char*> envp = Pointers(env);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argp[0], actions, nullptr, argp.data(), envp.data()) != 0) {
        return -1;
    }
    return pid;
}

int Reap(pid_t pid)
{
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

fs::path BuildProgram(const std::string& name) { return fs::read_symlink("/proc/self/exe").parent_path() / name; }

fs::path BuildFolder() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path(); }

Completed RunProgram(const fs::path& program, const std::vector<std::string>& args)
{
    // Output to files in the test machine's folder, removed with it.
    const fs::path folder = fs::path(platform::testing::Root()) / "siscan-test-output";
    fs::create_directories(folder);
    const fs::path out = folder / "stdout";
    const fs::path err = folder / "stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const pid_t pid = Spawn(program, args, &actions);
    posix_spawn_file_actions_destroy(&actions);
    Completed done;
    if (pid > 0) {
        done.status = Reap(pid);
    }
    done.out = ReadFile(out);
    done.err = ReadFile(err);
    return done;
}

Emulator::Emulator(const std::string& board, const std::vector<std::string>& sheets, const std::string& clock)
{
    // A scanner that ended early makes writes fail instead of ending the test.
    ::signal(SIGPIPE, SIG_IGN);
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    std::vector<std::string> args{"--root", platform::testing::Root(), "--board", board};
    for (const std::string& sheet : sheets) {
        args.push_back("--sheet");
        args.push_back(sheet);
    }
    // The scanner runs on its virtual clock, which the scanning process's
    // sleeps and timed waits move on: the tests do not depend on the host's speed.
    args.insert(args.end(), {"--set", "clock=" + clock});
    // Under a CPU emulator a smaller FIFO keeps each catch-up of the scanner
    // inside the driver's transfer time-out.
    if (emulator::UnderCpuEmulator()) {
        for (const auto& [name, value] : emulator::kEmulatedHostSwitches) {
            args.insert(args.end(), {"--set", std::string(name) + "=" + value});
        }
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    pid_ = Spawn(BuildProgram("emulator"), args, &actions);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    toChild_ = in[1];
    fromChild_ = out[0];
    ready_ = pid_ > 0 && Line() == "ready";
}

Emulator::~Emulator()
{
    if (pid_ > 0) {
        Ask("quit");
        ::close(toChild_);
        ::close(fromChild_);
        // A scanner that does not stop on quit and end of input is stopped.
        for (int i = 0; i < 500; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                return;
            }
            ::usleep(10000);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    } else {
        if (toChild_ >= 0) {
            ::close(toChild_);
        }
        if (fromChild_ >= 0) {
            ::close(fromChild_);
        }
    }
}

std::string Emulator::Line()
{
    std::string line;
    char c = 0;
    while (::read(fromChild_, &c, 1) == 1) {
        if (c == '\n') {
            return line;
        }
        line += c;
    }
    return line;
}

std::string Emulator::Ask(const std::string& command)
{
    const std::string text = command + "\n";
    if (::write(toChild_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        return "";
    }
    return Line();
}

int Emulator::Violations()
{
    const std::string state = Ask("state");
    const size_t at = state.find(" violations=");
    if (at == std::string::npos) {
        return -1;
    }
    return std::stoi(state.substr(at + 12));
}

}  // namespace siscan_test
