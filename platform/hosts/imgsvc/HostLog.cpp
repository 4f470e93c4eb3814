#include "HostLog.h"

#include <unistd.h>

#include <fstream>
#include <mutex>

namespace imgsvc {
namespace {

struct LogFile {
    std::mutex mutex;
    std::ofstream out;
};

LogFile& File() {
    static auto* file = new LogFile;
    return *file;
}

}  // namespace

void OpenHostLog(const std::string& path) {
    LogFile& file = File();
    std::lock_guard<std::mutex> lock(file.mutex);
    file.out.open(path, std::ios::app);
}

void HostLog(const std::string& line) {
    LogFile& file = File();
    std::lock_guard<std::mutex> lock(file.mutex);
    if (file.out) file.out << "[" << ::getpid() << "] " << line << std::endl;
}

}  // namespace imgsvc
