#pragma once

// Files the program writes appear whole or not at all: each is written to a temporary file in
// the same folder, put on the disk, and only then renamed over the name asked for. A failure
// leaves whatever had that name as it was, and no temporary file behind.

#include <cstdio>
#include <string>

// Whether a file can be made beside `path`: its folder exists and takes a new file (one is made
// there and removed again). Checked at start, so that a mistake costs no session.
bool checkWritable(const char* path, std::string& reason);

// A file being written under its temporary name.
struct OutputFile {
    std::FILE* file = nullptr;
    std::string tempPath;
    std::string reason;  // why it failed, the first failure; empty while all goes well
};

// Starts the file that is to become `path`. False, with the reason, when it cannot be made.
bool beginOutput(OutputFile& output, const char* path);

// Appends bytes; a failure is kept in `reason` and ends the writing.
void writeOutput(OutputFile& output, const char* bytes, std::size_t size);

// The same, for an encoder that hands its bytes to a sink; `context` is the OutputFile.
void outputSink(void* context, const char* bytes, std::size_t size);

// Puts the file on the disk and renames it to `path`; on any failure, now or before, removes it
// and returns false with the reason.
bool finishOutput(OutputFile& output, const char* path);
