#include <windows.h>
// After windows.h, which it needs.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <shellapi.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "output/file_platform.h"

namespace {

constexpr DWORD kLargestWrite = 1u << 30;  // bytes handed to one WriteFile

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

std::string utf8Of(const wchar_t* wide) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], length, nullptr, nullptr);
    text.resize(static_cast<std::size_t>(length) - 1);
    return text;
}

std::string systemMessage(DWORD error) {
    wchar_t text[512];
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, 512, nullptr);
    std::string message = length > 0 ? utf8Of(text) : std::string();
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : message;
}

// The system's reason for the last failed call, else the C library's.
std::string lastFailure() {
    const DWORD error = GetLastError();
    return error != 0 ? systemMessage(error) : std::strerror(errno);
}

// The temporary file being written, for the console's Ctrl+C, Ctrl+Break and close, which run
// their handler on a thread of their own. Empty while there is none.
SRWLOCK pendingLock = SRWLOCK_INIT;
std::wstring pendingFile;

// The device that the last part of `path` names (NUL, CON, COM1, ...), or empty. Windows takes such
// a name with any extension and trailing blanks as the device, so that what is written there would
// reach the device and no file.
std::string deviceNamed(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\:");
    std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    std::string upper = name;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (upper == device) return name;
    if (upper.rfind("COM", 0) != 0 && upper.rfind("LPT", 0) != 0) return "";
    const std::string number = upper.substr(3);
    // 1 to 9, and the superscripts 1, 2 and 3 in UTF-8.
    if ((number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\xC2\xB9" ||
        number == "\xC2\xB2" || number == "\xC2\xB3")
        return name;
    return "";
}

BOOL WINAPI removePendingOnConsoleEvent(DWORD /*event*/) {
    AcquireSRWLockExclusive(&pendingLock);
    // Opened with FILE_SHARE_DELETE: the file goes as the process ends and its handle closes.
    if (!pendingFile.empty()) DeleteFileW(pendingFile.c_str());
    ReleaseSRWLockExclusive(&pendingLock);
    return FALSE;  // and the event's usual end of the process
}

void setPending(const std::wstring& path) {
    AcquireSRWLockExclusive(&pendingLock);
    pendingFile = path;
    ReleaseSRWLockExclusive(&pendingLock);
}

}  // namespace

void useUtf8Arguments(int& argc, char**& argv) {
    // The C runtime's argv is the ANSI command line: a name outside the system's code page
    // arrives as question marks. Windows keeps the command line as the user typed it in UTF-16.
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return;
    texts.clear();
    for (int i = 0; i < count; ++i)
        texts.push_back(utf8Of(wide[i]));
    LocalFree(wide);
    pointers.clear();
    for (std::string& text : texts)
        pointers.push_back(&text[0]);
    pointers.push_back(nullptr);
    argc = count;
    argv = pointers.data();
}

void printError(const std::string& line) {
    // A console shows UTF-16 as it is, whatever its code page; a pipe or file takes the bytes.
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    const std::wstring wide = widePath(line);
    if (!wide.empty() && GetConsoleMode(handle, &mode)) {
        DWORD written = 0;
        WriteConsoleW(handle, wide.c_str(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::fputs(line.c_str(), stderr);
}

void protectOutputFiles() {
    SetConsoleCtrlHandler(removePendingOnConsoleEvent, TRUE);
}

int processNumber() {
    return _getpid();
}

bool resolveTarget(const char* path, std::string& target, std::string& /*reason*/) {
    // Links on Windows need rights few users have; a name is taken as it is.
    target = path;
    return true;
}

bool checkReplaceable(const std::string& target, std::string& reason) {
    const std::wstring wide = widePath(target);
    if (wide.empty()) {
        reason = "the name is not valid UTF-8";
        return false;
    }
    const std::string device = deviceNamed(target);
    if (!device.empty()) {
        reason = device + " is a device on Windows, not a file";
        return false;
    }
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;  // a new file, or its folder is tried
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        reason = std::strerror(EISDIR);
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        reason = systemMessage(ERROR_ACCESS_DENIED) + ": the file is read-only";
        return false;
    }
    return true;
}

std::FILE* createNewFile(const std::string& path, const std::string& /*model*/, bool& exists,
                         std::string& reason) {
    exists = false;
    const std::wstring wide = widePath(path);
    if (wide.empty()) {
        reason = "the name is not valid UTF-8";
        return nullptr;
    }
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        reason = systemMessage(error);
        return nullptr;
    }
    setPending(wide);
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    std::FILE* file = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (file != nullptr) return file;
    reason = std::strerror(errno);
    if (fd >= 0) {
        _close(fd);
    } else {
        CloseHandle(handle);
    }
    removeFile(path.c_str());
    return nullptr;
}

bool writeBytes(std::FILE* file, const char* bytes, std::size_t size, std::string& reason) {
    // Straight to the system, past the C runtime, whose errno for a full disk is EINVAL.
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    while (size > 0) {
        const DWORD piece = size < kLargestWrite ? static_cast<DWORD>(size) : kLargestWrite;
        DWORD written = 0;
        const bool wrote = WriteFile(handle, bytes, piece, &written, nullptr);
        if (!wrote || written == 0) {
            // A file that takes no byte without an error has no room left.
            reason = systemMessage(wrote ? ERROR_DISK_FULL : GetLastError());
            return false;
        }
        bytes += written;
        size -= written;
    }
    return true;
}

bool syncFile(std::FILE* file, std::string& reason) {
    SetLastError(0);
    if (std::fflush(file) == 0 &&
        FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))))
        return true;
    reason = lastFailure();
    return false;
}

bool closeFile(std::FILE* file, std::string& reason) {
    SetLastError(0);
    if (std::fclose(file) == 0) return true;
    reason = lastFailure();
    return false;
}

bool replaceFile(const char* from, const char* to, std::string& reason) {
    // Write-through: the call returns once the move is on the disk.
    if (MoveFileExW(widePath(from).c_str(), widePath(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        setPending(std::wstring());
        return true;
    }
    reason = systemMessage(GetLastError());
    return false;
}

void removeFile(const char* path) {
    const std::wstring wide = widePath(path);
    DeleteFileW(wide.c_str());
    AcquireSRWLockExclusive(&pendingLock);
    if (pendingFile == wide) pendingFile.clear();
    ReleaseSRWLockExclusive(&pendingLock);
}
