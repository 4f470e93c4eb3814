// Where the source keeps its files: the work folder under the user's local
// application data, and the temporary files of spooled pages.
#pragma once

#include <string>
#include <string_view>

// The work folder ("...\Paperlyn\" with its trailing separator), made when
// missing; false when the shell folder cannot be had or the folder cannot
// be made.
bool GetWorkFolder(std::string& path);

// A new, empty temporary file in `folder` (the system temporary folder when
// empty) whose name starts with the first three characters of `prefix`; its
// name, or an empty string when none could be made. The file exists when
// this returns, so no other caller gets the same name.
std::string MakePageTempFileName(std::string_view prefix, std::string_view folder = {});
