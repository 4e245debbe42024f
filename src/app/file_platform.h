#pragma once

// What each platform provides for writing a file whole (file_posix.cpp, file_win32.cpp). Paths
// are UTF-8. On failure `reason` says why, in the system's words.

#include <cstdio>
#include <string>

// Creates a file beside `path`, in the same folder, under a name no file has yet, and opens it
// for writing; its name goes to `tempPath`. Null when it cannot be made.
std::FILE* createFileBeside(const char* path, std::string& tempPath, std::string& reason);

// Writes what the stream holds and makes the system put the file's data on the disk.
bool syncFile(std::FILE* file, std::string& reason);

// Puts the file `from` in the place of `to` in one step: a reader finds the old file or the new
// one, never neither nor half of one.
bool replaceFile(const char* from, const char* to, std::string& reason);

// Removes a file the program made.
void removeFile(const char* path);
