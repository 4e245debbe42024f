#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/file_platform.h"

namespace {

constexpr int kNameAttempts = 100;  // names tried before giving up on a crowded folder

std::string folderOf(const char* path) {
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) return ".";
    if (slash == path) return "/";
    return std::string(path, slash);
}

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
    if (std::rename(from, to) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    // The rename is an entry of the folder: it lasts a crash once the folder is on the disk.
    const int folder = open(folderOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return true;
}

void removeFile(const char* path) {
    unlink(path);
}
