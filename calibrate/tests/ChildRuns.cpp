#include "ChildRuns.h"

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

namespace calibrate_test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> ChildEnvironment(const std::vector<std::string>& extra) {
    std::map<std::string, std::string> variables;
    auto add = [&](const std::string& text) { variables[text.substr(0, text.find('='))] = text; };
    for (char** entry = environ; *entry != nullptr; ++entry) add(*entry);
    for (const std::string& text : platform::testing::ChildEnvironment()) add(text);
    for (const std::string& text : extra) add(text);
    std::vector<std::string> all;
    for (auto& [name, text] : variables) all.push_back(text);
    return all;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

pid_t Spawn(const fs::path& program, const std::vector<std::string>& args, posix_spawn_file_actions_t* actions,
            const std::vector<std::string>& environment) {
    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = ChildEnvironment(environment);
    std::vector<char*> argp = Pointers(argv);
    std::vector<char*> envp = Pointers(env);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argp[0], actions, nullptr, argp.data(), envp.data()) != 0) return -1;
    return pid;
}

std::vector<std::string> Lines(const fs::path& path) {
    std::vector<std::string> lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

std::string Read(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

fs::path BuildProgram(const std::string& name) { return fs::read_symlink("/proc/self/exe").parent_path() / name; }

fs::path TestFile(const std::string& name) {
    const fs::path folder = fs::path(platform::testing::Root()) / "calibrate-test";
    fs::create_directories(folder);
    return folder / name;
}

CalibratorRun RunCalibrator(const std::vector<std::string>& args, const std::vector<std::string>& steps,
                  const std::vector<std::string>& environment) {
    const fs::path ui = TestFile("ui.log"), library = TestFile("library.log"), err = TestFile("stderr");
    fs::remove(ui);
    fs::remove(library);
    std::string script;
    for (const std::string& step : steps) script += (script.empty() ? "" : ";") + step;
    std::vector<std::string> env{"PLATFORM_UI_SCRIPT=" + script, "PLATFORM_UI_LOG=" + ui.string(),
                                 "FAKE_SI_LOG=" + library.string(),
                                 "PLATFORM_UI_PICTURES=" + TestFile("").string()};
    env.insert(env.end(), environment.begin(), environment.end());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const pid_t pid = Spawn(BuildProgram("Calibrate.exe"), args, &actions, env);
    posix_spawn_file_actions_destroy(&actions);
    CalibratorRun run;
    if (pid > 0) {
        int status = 0;
        if (::waitpid(pid, &status, 0) == pid) run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    run.err = Read(err);
    run.ui = Lines(ui);
    run.library = Lines(library);
    return run;
}

Emulator::Emulator(const std::string& board) {
    ::signal(SIGPIPE, SIG_IGN);
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    std::vector<std::string> args{"--root", platform::testing::Root(), "--board", board};
    if (emulator::UnderCpuEmulator()) {
        for (const auto& [name, value] : emulator::kEmulatedHostSwitches)
            args.insert(args.end(), {"--set", std::string(name) + "=" + value});
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    pid_ = Spawn(BuildProgram("emulator"), args, &actions, {});
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    toChild_ = in[1];
    fromChild_ = out[0];
    ready_ = pid_ > 0 && Line() == "ready";
}

Emulator::~Emulator() {
    if (pid_ > 0) {
        Ask("quit");
        ::close(toChild_);
        ::close(fromChild_);
        for (int i = 0; i < 500; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
            ::usleep(10000);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    } else {
        if (toChild_ >= 0) ::close(toChild_);
        if (fromChild_ >= 0) ::close(fromChild_);
    }
}

std::string Emulator::Line() {
    std::string line;
    char c = 0;
    while (::read(fromChild_, &c, 1) == 1) {
        if (c == '\n') return line;
        line += c;
    }
    return line;
}

std::string Emulator::Ask(const std::string& command) {
    const std::string text = command + "\n";
    if (::write(toChild_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return "";
    return Line();
}

int Emulator::Violations() {
    const std::string state = Ask("state");
    const size_t at = state.find(" violations=");
    if (at == std::string::npos) return -1;
    return std::stoi(state.substr(at + 12));
}

}  // namespace calibrate_test
