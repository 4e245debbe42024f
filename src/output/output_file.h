#pragma once

// Files the program writes appear whole or not at all: each is written to a temporary file in
// the same folder, put on the disk, and only then renamed over the name asked for. A failure
// leaves whatever had that name as it was, and no temporary file behind. A name that is a
// symbolic link is written through: the link stays and the file it leads to is replaced, keeping
// its permission bits.

#include <cstdint>
#include <cstdio>
#include <string>

// Whether `path` can take the file: it names no folder, FIFO, device or socket (through links),
// the folder it lies in takes a new file (one is made there and removed again), and nothing
// forbids replacing a file already there. Checked at start, so that a mistake costs no session.
bool checkWritable(const char* path, std::string& reason);

// A name for a temporary file beside the file `name` (the last part of its path): never longer
// than `name`, so that it fits wherever that does, and never `name` itself, in any case. Each
// call draws the next name from `state`.
std::string temporaryName(const std::string& name, std::uint64_t& state);

// A file being written under its temporary name.
struct OutputFile {
    std::FILE* file = nullptr;
    std::string target;           // the file that is replaced: the path, or where its links lead
    std::string tempPath;         // the temporary file beside it
    std::string reason;           // why it failed, the first failure; empty while all goes well
    std::uint64_t nameState = 0;  // draws the temporary names; 0 takes a fresh start
};

// Starts the file that is to become `path`. False, with the reason, when it cannot be made.
bool beginOutput(OutputFile& output, const char* path);

// Appends bytes; a failure is kept in `reason` and ends the writing.
void writeOutput(OutputFile& output, const char* bytes, std::size_t size);

// The same, for an encoder that hands its bytes to a sink; `context` is the OutputFile.
void outputSink(void* context, const char* bytes, std::size_t size);

// Puts the file on the disk and renames it into place; on any failure, now or before, removes it
// and returns false with the reason.
bool finishOutput(OutputFile& output);
