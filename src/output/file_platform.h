#pragma once

// What each platform provides for writing a file whole (file_posix.cpp, file_win32.cpp). Paths
// are UTF-8. On failure `reason` says why, in the system's words.

#include <cstdio>
#include <string>

// The program's process number, which makes the names of its temporary files its own.
int processNumber();

// Makes the file `path`, which must not exist yet, and opens it for writing. Null when it cannot
// be made; `exists` then tells whether a file of that name was in the way.
std::FILE* createNewFile(const std::string& path, bool& exists, std::string& reason);

// Writes what the stream holds and makes the system put the file's data on the disk.
bool syncFile(std::FILE* file, std::string& reason);

// Puts the file `from` in the place of `to` in one step: a reader finds the old file or the new
// one, never neither nor half of one.
bool replaceFile(const char* from, const char* to, std::string& reason);

// Removes a file the program made.
void removeFile(const char* path);
