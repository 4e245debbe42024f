#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#endif

#include <cerrno>
#include <cstring>

#include "output/file_platform.h"

namespace {

constexpr int kMaxLinks = 40;  // links followed before the chain counts as a loop, as Linux does
const int kEndingSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The temporary file being written, for the signal handler: a fixed buffer, written only while
// those signals are blocked, so that the handler reads it whole. Empty while there is none.
char pendingFile[PATH_MAX];

// Removes the temporary file, then ends the process by the same signal with its usual action,
// so that the parent sees the status the signal always gives. Only async-signal-safe calls.
void removePendingAndEnd(int signalNumber) {
    if (pendingFile[0] != '\0') unlink(pendingFile);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);  // blocked while the handler runs; delivered as it returns
}

// Blocks the ending signals for as long as it lives.
struct EndingSignalsBlocked {
    sigset_t previous;
    EndingSignalsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        for (int s : kEndingSignals)
            sigaddset(&set, s);
        sigprocmask(SIG_BLOCK, &set, &previous);
    }
    ~EndingSignalsBlocked() { sigprocmask(SIG_SETMASK, &previous, nullptr); }
};

void setPending(const char* path) {
    const std::size_t length = std::strlen(path);
    if (length >= sizeof pendingFile) return;  // longer than any path the system opens
    std::memcpy(pendingFile, path, length + 1);
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void useUtf8Arguments(int& /*argc*/, char**& /*argv*/) {
    // The arguments are the bytes the user typed, UTF-8 in any current locale.
}

void printError(const std::string& line) {
    std::fputs(line.c_str(), stderr);
}

void protectOutputFiles() {
    // A write past the file-size limit then fails with EFBIG, which is reported, instead of
    // ending the process with SIGXFSZ and leaving the temporary file.
    signal(SIGXFSZ, SIG_IGN);
    for (int s : kEndingSignals) {
        struct sigaction action {};
        sigaction(s, nullptr, &action);
        if (action.sa_handler == SIG_IGN) continue;  // nohup's and a background job's stay
        action.sa_handler = removePendingAndEnd;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        sigaction(s, &action, nullptr);
    }
}

int processNumber() {
    return static_cast<int>(getpid());
}

bool resolveTarget(const char* path, std::string& target, std::string& reason) {
    target = path;
    for (int link = 0; link < kMaxLinks; ++link) {
        struct stat status;
        if (lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return true;
        char next[PATH_MAX];
        const ssize_t length = readlink(target.c_str(), next, sizeof next - 1);
        if (length < 0) {
            reason = std::strerror(errno);
            return false;
        }
        next[length] = '\0';
        target = next[0] == '/' ? std::string(next) : folderOf(target) + "/" + next;
    }
    reason = std::strerror(ELOOP);
    return false;
}

bool checkReplaceable(const std::string& target, std::string& reason) {
    struct stat status;
    if (lstat(target.c_str(), &status) != 0) {
        if (errno == ENOENT) return true;  // a new file; its folder is tried when it is made
        reason = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        reason = std::strerror(EISDIR);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        const char* kind = S_ISFIFO(status.st_mode)   ? "a FIFO"
                           : S_ISSOCK(status.st_mode) ? "a socket"
                                                      : "a device";
        reason = std::string("it is ") + kind + ", not a regular file";
        return false;
    }
    const uid_t user = geteuid();
    struct stat folder;
    if (user != 0 && stat(folderOf(target).c_str(), &folder) == 0 &&
        (folder.st_mode & S_ISVTX) != 0 && status.st_uid != user && folder.st_uid != user) {
        reason = std::string(std::strerror(EPERM)) +
                 ": the file belongs to another user, in a folder with the sticky bit";
        return false;
    }
#ifdef FS_IOC_GETFLAGS
    // The kernel takes the flags as an int, whatever the request's declared size.
    const int fd = open(target.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    int flags = 0;
    if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
        (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0) {
        reason = std::string(std::strerror(EPERM)) + ": the file is marked " +
                 ((flags & FS_IMMUTABLE_FL) != 0 ? "immutable" : "append-only");
    }
    if (fd >= 0) close(fd);
    if (!reason.empty()) return false;
#endif
    return true;
}

std::FILE* createNewFile(const std::string& path, const std::string& model, bool& exists,
                         std::string& reason) {
    int fd;
    {
        EndingSignalsBlocked blocked;
        // The mode is what any new file gets, less the umask.
        fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) setPending(path.c_str());
    }
    exists = fd < 0 && errno == EEXIST;
    if (fd < 0) {
        reason = std::strerror(errno);
        return nullptr;
    }
    struct stat old;
    bool kept = true;
    if (stat(model.c_str(), &old) == 0) {
        mode_t mode = old.st_mode & 07777;
        // Another owner only where the system lets us; without it, no set-id bits of theirs.
        if (fchown(fd, old.st_uid, old.st_gid) != 0) mode &= ~(S_ISUID | S_ISGID);
        kept = fchmod(fd, mode) == 0;
    }
    std::FILE* file = kept ? fdopen(fd, "wb") : nullptr;
    if (file != nullptr) return file;
    reason = std::strerror(errno);
    close(fd);
    removeFile(path.c_str());
    return nullptr;
}

bool writeBytes(std::FILE* file, const char* bytes, std::size_t size, std::string& reason) {
    if (std::fwrite(bytes, 1, size, file) == size) return true;
    reason = std::strerror(errno);
    return false;
}

bool syncFile(std::FILE* file, std::string& reason) {
    if (std::fflush(file) == 0 && fsync(fileno(file)) == 0) return true;
    reason = std::strerror(errno);
    return false;
}

bool closeFile(std::FILE* file, std::string& reason) {
    if (std::fclose(file) == 0) return true;
    reason = std::strerror(errno);
    return false;
}

bool replaceFile(const char* from, const char* to, std::string& reason) {
    // The folder is not synced after: a crash may then lose the rename, which leaves the old file
    // whole; it is the new file's data that must be on the disk before the rename.
    EndingSignalsBlocked blocked;
    if (std::rename(from, to) == 0) {
        pendingFile[0] = '\0';
        return true;
    }
    reason = std::strerror(errno);
    return false;
}

void removeFile(const char* path) {
    EndingSignalsBlocked blocked;
    unlink(path);
    if (std::strcmp(path, pendingFile) == 0) pendingFile[0] = '\0';
}
