// OutputDebugStringA: one line "[pid] text" per call to the sink chosen by
// PLATFORM_DEBUG_OUTPUT (stderr or a file) or captured by a test.
#include "core/DebugOutput.h"

#include "core/Controls.h"

#include <platform/testing.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <utility>

namespace platform {
namespace {

struct Sink {
    std::mutex lock;
    std::string target;  // "", "stderr" or a file path
    int fd = -1;
    bool capture = false;
    std::vector<std::string> captured;

    Sink() {
        if (const char* env = std::getenv("PLATFORM_DEBUG_OUTPUT")) Open(env);
    }
    void Open(const std::string& where) {
        if (fd > 2) ::close(fd);
        fd = -1;
        target = where;
        if (where == "stderr") fd = 2;
        else if (!where.empty()) fd = ::open(where.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    }
};

Sink& GetSink() {
    static Sink* sink = new Sink;
    return *sink;
}

void Emit(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    std::string line = "[" + std::to_string(::getpid()) + "] " + text;
    Sink& sink = GetSink();
    std::lock_guard guard(sink.lock);
    if (sink.capture) sink.captured.push_back(line);
    if (sink.fd >= 0) {
        line += '\n';
        // One write per line so that lines of several processes never mix.
        [[maybe_unused]] ssize_t written = ::write(sink.fd, line.data(), line.size());
    }
}

}  // namespace

void DebugLine(const std::string& text) {
    Emit(text.rfind("platform:", 0) == 0 ? text : "platform: " + text);
}

std::string DebugOutputEnvironment() {
    Sink& sink = GetSink();
    std::lock_guard guard(sink.lock);
    return sink.target;
}

}  // namespace platform

namespace platform::testing {

void CaptureDebugOutput(bool capture) {
    Sink& sink = GetSink();
    std::lock_guard guard(sink.lock);
    sink.capture = capture;
    if (!capture) sink.captured.clear();
}

std::vector<std::string> TakeDebugOutput() {
    Sink& sink = GetSink();
    std::lock_guard guard(sink.lock);
    return std::exchange(sink.captured, {});
}

}  // namespace platform::testing

WINBASEAPI void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
    if (platform::FailNow("OutputDebugStringA")) return;
    platform::Emit(lpOutputString ? lpOutputString : "");
}
