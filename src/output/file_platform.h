#pragma once

// What each platform provides for writing a file whole (file_posix.cpp, file_win32.cpp), and for
// the names and messages around it. Paths are UTF-8. On failure `reason` says why, in the
// system's words.

#include <cstdio>
#include <string>

// The program's arguments as UTF-8, replacing `argv` where the system hands them over otherwise
// (Windows' ANSI command line); the strings live until the process ends.
void useUtf8Arguments(int& argc, char**& argv);

// Prints one line of text (UTF-8, with its newline) on stderr so that the terminal shows it as
// written, names that are not ASCII included.
void printError(const std::string& line);

// Sets up, once at start, what keeps a file being written from being left half-done: a file too
// large for the process's limit fails to write instead of ending the process, and the signals
// that end a program from its terminal or from kill remove the temporary file first.
void protectOutputFiles();

// The program's process number, which helps make the names of its temporary files its own.
int processNumber();

// The file that writing to `path` changes: `path` itself, or the end of the chain of symbolic
// links it names (which need not exist yet). False when the chain cannot be followed.
bool resolveTarget(const char* path, std::string& target, std::string& reason);

// Whether the file `target` (resolved, see above) can be replaced by a rename: it does not exist
// or is a regular file, and neither the folder's sticky bit nor the file's own flags forbid it.
bool checkReplaceable(const std::string& target, std::string& reason);

// Makes the file `path`, which must not exist yet, and opens it for writing, with the permission
// bits (and, where it may, the owner) of `model` when that file exists. Until it is replaced or
// removed, the signals set up by protectOutputFiles remove it. Null when it cannot be made;
// `exists` then tells whether a file of that name was in the way.
std::FILE* createNewFile(const std::string& path, const std::string& model, bool& exists,
                         std::string& reason);

// Appends bytes to the file; false with the reason when they could not all be written.
bool writeBytes(std::FILE* file, const char* bytes, std::size_t size, std::string& reason);

// Writes what the stream holds and makes the system put the file's data on the disk.
bool syncFile(std::FILE* file, std::string& reason);

// Closes the stream; false with the reason when what it still held could not be written.
bool closeFile(std::FILE* file, std::string& reason);

// Puts the file `from` in the place of `to` in one step: a reader finds the old file or the new
// one, never neither nor half of one.
bool replaceFile(const char* from, const char* to, std::string& reason);

// Removes a file the program made.
void removeFile(const char* path);
