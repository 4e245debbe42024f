#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "output/file_platform.h"

namespace {

// The UTF-16 form of a UTF-8 path, which the wide-character calls take; empty when invalid.
std::wstring widePath(const std::string& path) {
    const int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.c_str(), -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.c_str(), -1, &wide[0], length);
    wide.resize(static_cast<std::size_t>(length) - 1);
    return wide;
}

std::string systemMessage(DWORD error) {
    char text[512];
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : message;
}

}  // namespace

int processNumber() {
    return _getpid();
}

std::FILE* createNewFile(const std::string& path, bool& exists, std::string& reason) {
    exists = false;
    const std::wstring wide = widePath(path);
    if (wide.empty()) {
        reason = "the name is not valid UTF-8";
        return nullptr;
    }
    const int fd =
        _wopen(wide.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    exists = fd < 0 && errno == EEXIST;
    std::FILE* file = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (file != nullptr) return file;
    reason = std::strerror(errno);
    if (fd >= 0) {
        _close(fd);
        _wunlink(wide.c_str());
    }
    return nullptr;
}

bool syncFile(std::FILE* file, std::string& reason) {
    if (std::fflush(file) == 0 && _commit(_fileno(file)) == 0) return true;
    reason = std::strerror(errno);
    return false;
}

bool replaceFile(const char* from, const char* to, std::string& reason) {
    // Write-through: the call returns once the move is on the disk.
    if (MoveFileExW(widePath(from).c_str(), widePath(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    reason = systemMessage(GetLastError());
    return false;
}

void removeFile(const char* path) {
    _wunlink(widePath(path).c_str());
}
