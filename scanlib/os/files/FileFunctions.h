// Folders, paths, temporary names, deletion and free space of the library's
// data files.
#pragma once

#include <string>

// The per-model data folder: which 0 = all users' application data, 1 = the
// user's; maker and model are appended as folders, which are created. path
// (MAX_PATH bytes) ends with a separator. False on any failure or when the
// joined path would reach MAX_PATH.
bool GetDataDirectory(int which, const char* maker, const char* model, char* path);

// Joins element to path (MAX_PATH bytes) with one backslash between them; a
// trailing backslash is added or removed as trailingSeparator says. False,
// path unchanged, when the result would reach MAX_PATH.
bool AppendPath(char* path, const char* element, bool trailingSeparator);

// Creates every missing folder of path. True when path is (or became) a
// folder; an existing file of that name is a failure.
bool CreateDirectoryTree(const char* path);

// Creates an empty temporary file with the prefix "SI" and names it in out.
bool MakeTempFileName(std::string& out);

bool OSDeleteFile(const char* path);

// The bytes available to the caller on the volume of dir, in two halves.
bool OSGetDiskFreeSpace(const char* dir, int* high, unsigned* low);

