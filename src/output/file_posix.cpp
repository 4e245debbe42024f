#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "output/file_platform.h"

int processNumber() {
    return static_cast<int>(getpid());
}

std::FILE* createNewFile(const std::string& path, bool& exists, std::string& reason) {
    // The mode is what any new file gets, less the umask.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    exists = fd < 0 && errno == EEXIST;
    std::FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (file != nullptr) return file;
    reason = std::strerror(errno);
    if (fd >= 0) {
        close(fd);
        unlink(path.c_str());
    }
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
