#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/file_platform.h"

namespace {

constexpr int kNameAttempts = 100;  // names tried before giving up on a crowded folder

}  // namespace

std::FILE* createFileBeside(const char* path, std::string& tempPath, std::string& reason) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        tempPath = std::string(path) + "." + std::to_string(getpid()) + "-" +
                   std::to_string(attempt) + ".tmp";
        // Made by this call alone; the mode is what any new file gets, less the umask.
        const int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) break;
        std::FILE* file = fdopen(fd, "wb");
        if (file != nullptr) return file;
        reason = std::strerror(errno);
        close(fd);
        unlink(tempPath.c_str());
        return nullptr;
    }
    reason = std::strerror(errno);
    return nullptr;
}

bool syncFile(std::FILE* file, std::string& reason) {
    if (std::fflush(file) == 0 && fsync(fileno(file)) == 0) return true;
    reason = std::strerror(errno);
    return false;
}

bool replaceFile(const char* from, const char* to, std::string& reason) {
    // The folder is not synced after: a crash may then lose the rename, which leaves the old file
    // whole; it is the new file's data that must be on the disk before the rename.
    if (std::rename(from, to) == 0) return true;
    reason = std::strerror(errno);
    return false;
}

void removeFile(const char* path) {
    unlink(path);
}
