#include "output/output_file.h"

#include <cctype>
#include <chrono>
#include <cstring>

#include "output/file_platform.h"

namespace {

constexpr int kNameAttempts = 100;           // names tried before giving up on a crowded folder
constexpr std::size_t kTempNameLength = 16;  // bytes at most, the dot included
constexpr char kNameCharacters[] = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr std::uint64_t kGolden = 0x9e3779b97f4a7c15u;  // splitmix64's increment

// splitmix64: a well-mixed 64-bit number from each step of a counter.
std::uint64_t nextRandom(std::uint64_t& state) {
    std::uint64_t z = (state += kGolden);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

// A start no other run shares: this process's number and the moment, to the nanosecond.
std::uint64_t freshState() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    return static_cast<std::uint64_t>(nanoseconds) * kGolden ^
           static_cast<std::uint64_t>(processNumber());
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// Where the last part of a path begins: after its last separator ('\\' too, on Windows).
std::size_t nameStart(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? 0 : slash + 1;
}

// Makes a file beside `target`, in the same folder, under a name no file has yet, and opens it
// for writing; its name goes to `tempPath`. Null when it cannot be made.
std::FILE* createFileBeside(const std::string& target, std::uint64_t& state, std::string& tempPath,
                            std::string& reason) {
    if (state == 0) state = freshState();
    const std::size_t start = nameStart(target);
    bool exists = true;
    for (int attempt = 0; attempt < kNameAttempts && exists; ++attempt) {
        tempPath = target.substr(0, start) + temporaryName(target.substr(start), state);
        std::FILE* file = createNewFile(tempPath, target, exists, reason);
        if (file != nullptr) {
            reason.clear();  // a name taken before is no failure once another one served
            return file;
        }
    }
    return nullptr;
}

}  // namespace

std::string temporaryName(const std::string& name, std::uint64_t& state) {
    // At least a dot and one character: a target's name is never that short in practice (its
    // extension alone has four bytes), and the name then need not fit its place.
    std::size_t length = name.size() < kTempNameLength ? name.size() : kTempNameLength;
    if (length < 2) length = 2;
    std::string temp;
    do {
        temp = ".";
        std::uint64_t bits = nextRandom(state);
        while (temp.size() < length) {
            if (bits == 0) bits = nextRandom(state);
            temp += kNameCharacters[bits % (sizeof kNameCharacters - 1)];
            bits /= sizeof kNameCharacters - 1;
        }
    } while (sameIgnoringCase(temp, name));
    return temp;
}

bool checkWritable(const char* path, std::string& reason) {
    std::string target, tempPath;
    if (!resolveTarget(path, target, reason) || !checkReplaceable(target, reason)) return false;
    std::uint64_t state = 0;
    std::FILE* file = createFileBeside(target, state, tempPath, reason);
    if (file == nullptr) return false;
    std::string ignored;
    closeFile(file, ignored);
    removeFile(tempPath.c_str());
    return true;
}

bool beginOutput(OutputFile& output, const char* path) {
    output.reason.clear();
    if (!resolveTarget(path, output.target, output.reason) ||
        !checkReplaceable(output.target, output.reason))
        return false;
    output.file = createFileBeside(output.target, output.nameState, output.tempPath, output.reason);
    return output.file != nullptr;
}

void writeOutput(OutputFile& output, const char* bytes, std::size_t size) {
    if (!output.reason.empty()) return;
    writeBytes(output.file, bytes, size, output.reason);
}

void outputSink(void* context, const char* bytes, std::size_t size) {
    writeOutput(*static_cast<OutputFile*>(context), bytes, size);
}

bool finishOutput(OutputFile& output) {
    bool written = output.reason.empty() && syncFile(output.file, output.reason);
    // A full disk may show only when the last of the data is handed over, at the close.
    std::string closeReason;
    if (!closeFile(output.file, closeReason) && written) {
        output.reason = closeReason;
        written = false;
    }
    output.file = nullptr;
    if (written && replaceFile(output.tempPath.c_str(), output.target.c_str(), output.reason))
        return true;
    removeFile(output.tempPath.c_str());
    return false;
}
