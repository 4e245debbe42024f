#include "app/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/file_platform.h"

bool checkWritable(const char* path, std::string& reason) {
    std::string tempPath;
    std::FILE* file = createFileBeside(path, tempPath, reason);
    if (file == nullptr) return false;
    std::fclose(file);
    removeFile(tempPath.c_str());
    return true;
}

bool writeWholeFile(const char* path, const void* data, std::size_t size, std::string& reason) {
    std::string tempPath;
    std::FILE* file = createFileBeside(path, tempPath, reason);
    if (file == nullptr) return false;
    bool written = std::fwrite(data, 1, size, file) == size;
    if (!written) reason = std::strerror(errno);
    written = written && syncFile(file, reason);
    // A full disk may show only when the last of the data is handed over, at the close.
    if (std::fclose(file) != 0 && written) {
        reason = std::strerror(errno);
        written = false;
    }
    if (written && replaceFile(tempPath.c_str(), path, reason)) return true;
    removeFile(tempPath.c_str());
    return false;
}
