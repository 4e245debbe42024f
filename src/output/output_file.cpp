#include "output/output_file.h"

#include <cerrno>
#include <cstring>

#include "output/file_platform.h"

namespace {

constexpr int kNameAttempts = 100;  // names tried before giving up on a crowded folder

// Makes a file beside `path`, in the same folder, under a name no file has yet, and opens it for
// writing; its name goes to `tempPath`. Null when it cannot be made.
std::FILE* createFileBeside(const char* path, std::string& tempPath, std::string& reason) {
    bool exists = true;
    for (int attempt = 0; attempt < kNameAttempts && exists; ++attempt) {
        tempPath = std::string(path) + "." + std::to_string(processNumber()) + "-" +
                   std::to_string(attempt) + ".tmp";
        std::FILE* file = createNewFile(tempPath, exists, reason);
        if (file != nullptr) return file;
    }
    return nullptr;
}

}  // namespace

bool checkWritable(const char* path, std::string& reason) {
    std::string tempPath;
    std::FILE* file = createFileBeside(path, tempPath, reason);
    if (file == nullptr) return false;
    std::fclose(file);
    removeFile(tempPath.c_str());
    return true;
}

bool beginOutput(OutputFile& output, const char* path) {
    output.reason.clear();
    output.file = createFileBeside(path, output.tempPath, output.reason);
    return output.file != nullptr;
}

void writeOutput(OutputFile& output, const char* bytes, std::size_t size) {
    if (!output.reason.empty()) return;
    if (std::fwrite(bytes, 1, size, output.file) != size) output.reason = std::strerror(errno);
}

void outputSink(void* context, const char* bytes, std::size_t size) {
    writeOutput(*static_cast<OutputFile*>(context), bytes, size);
}

bool finishOutput(OutputFile& output, const char* path) {
    bool written = output.reason.empty() && syncFile(output.file, output.reason);
    // A full disk may show only when the last of the data is handed over, at the close.
    if (std::fclose(output.file) != 0 && written) {
        output.reason = std::strerror(errno);
        written = false;
    }
    output.file = nullptr;
    if (written && replaceFile(output.tempPath.c_str(), path, output.reason)) return true;
    removeFile(output.tempPath.c_str());
    return false;
}
