#pragma once

// Files the program writes appear whole or not at all: each is written to a temporary file in
// the same folder, put on the disk, and only then renamed over the name asked for. A failure
// leaves whatever had that name as it was, and no temporary file behind.

#include <cstddef>
#include <string>

// Whether a file can be made beside `path`: its folder exists and takes a new file (one is made
// there and removed again). Checked at start, so that a mistake costs no session.
bool checkWritable(const char* path, std::string& reason);

// Writes `size` bytes as the file `path`, whole or not at all. False with the reason.
bool writeWholeFile(const char* path, const void* data, std::size_t size, std::string& reason);
