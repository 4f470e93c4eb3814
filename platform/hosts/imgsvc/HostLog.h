// The host's log file under the machine's services folder.
#pragma once

#include <string>

namespace imgsvc {

void OpenHostLog(const std::string& path);
void HostLog(const std::string& line);

}  // namespace imgsvc
