// The whole-or-nothing writer on a real folder: temporary names, a name already taken, a write
// that fails, and what a replaced file keeps.

#include "output/output_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "output/file_platform.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

// A fresh folder of the test's own, removed with what it holds.
struct Folder {
    fs::path path;
    Folder() {
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        path = fs::temp_directory_path() / ("output-test-" + std::to_string(now));
        fs::create_directory(path);
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    std::string file(const std::string& name) const { return (path / name).string(); }
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const auto& entry : fs::directory_iterator(path))
            found.insert(entry.path().filename().string());
        return found;
    }
};

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeWhole(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool writeFile(const std::string& path, const std::string& text, std::string& reason,
               std::uint64_t nameState = 0) {
    OutputFile output;
    output.nameState = nameState;
    bool written = beginOutput(output, path.c_str());
    if (written) {
        writeOutput(output, text.data(), text.size());
        written = finishOutput(output);
    }
    reason = output.reason;
    return written;
}

}  // namespace

// The temporary name is never longer than the target's (so a name of 255 bytes, or a path at the
// system's limit, still has room for it) nor the target's own, whatever the case.
TEST(outputFile, temporaryNamesFitBesideTheTarget) {
    std::uint64_t state = 1;
    for (const std::string& name :
         {std::string(".ply"), std::string("a.PNG"), std::string(251, 'x') + ".stl"}) {
        std::set<std::string> drawn;
        for (int draw = 0; draw < 2000; ++draw) {
            const std::string temp = temporaryName(name, state);
            ASSERT_LE(temp.size(), name.size()) << name;
            ASSERT_EQ(temp[0], '.');
            ASSERT_NE(temp, name);
            ASSERT_FALSE(name == ".ply" && temp == ".PLY");
            drawn.insert(temp);
        }
        EXPECT_GT(drawn.size(), 1000u) << "names drawn for " << name;
    }
}

// A file at the first temporary name (left by a run killed while writing, say) is neither taken
// over nor a failure: the next name serves, and the file is written.
TEST(outputFile, nameTakenByAFileLeftBehindIsPassedOver) {
    Folder folder;
    const std::string target = folder.file("surface.ply");
    constexpr std::uint64_t kState = 12345;
    std::uint64_t state = kState;
    const std::string taken = temporaryName("surface.ply", state);
    writeWhole(folder.file(taken), "someone's");
    std::string reason;
    ASSERT_TRUE(writeFile(target, "new", reason, kState)) << reason;
    EXPECT_EQ(reason, "");
    EXPECT_EQ(readWhole(target), "new");
    EXPECT_EQ(readWhole(folder.file(taken)), "someone's");
    EXPECT_EQ(folder.names(), (std::set<std::string>{"surface.ply", taken}));
}

// Limits, modes, links and FIFOs are a real system's: Windows has none of them, and the browser
// build's file system is emscripten's in memory, which keeps no limit, umask or FIFO.
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
// A write that fails (here past the file-size limit, which would end the process by SIGXFSZ
// without protectOutputFiles) is reported and leaves the old file and nothing else.
TEST(outputFile, failedWriteKeepsTheOldFile) {
    protectOutputFiles();
    Folder folder;
    const std::string target = folder.file("surface.obj");
    writeWhole(target, "old");
    rlimit before;
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit limit = before;
    limit.rlim_cur = 4096;  // bytes
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    std::string reason;
    const bool written = writeFile(target, std::string(100000, 'v'), reason);
    setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_FALSE(written);
    EXPECT_EQ(reason, "File too large");
    EXPECT_EQ(readWhole(target), "old");
    EXPECT_EQ(folder.names(), std::set<std::string>{"surface.obj"});
}

// A link is written through and stays a link; the file it leads to, and any replaced file, keeps
// its permission bits; a new file has those of any new file. A folder or a FIFO is refused.
TEST(outputFile, linksWrittenThroughAndModesKept) {
    Folder folder;
    fs::create_directory(folder.path / "real");
    const std::string real = folder.file("real/surface.ply");
    writeWhole(real, "old");
    chmod(real.c_str(), 0640);
    fs::create_symlink("real/surface.ply", folder.path / "link.ply");
    const std::string readOnly = folder.file("shot.png");
    writeWhole(readOnly, "old");
    chmod(readOnly.c_str(), 0444);
    const mode_t mask = umask(022);
    std::string reason;
    EXPECT_TRUE(writeFile(folder.file("link.ply"), "new", reason)) << reason;
    EXPECT_TRUE(writeFile(readOnly, "new", reason)) << reason;
    EXPECT_TRUE(writeFile(folder.file("fresh.stl"), "new", reason)) << reason;
    umask(mask);
    EXPECT_TRUE(fs::is_symlink(folder.path / "link.ply"));
    EXPECT_EQ(readWhole(real), "new");
    struct stat status;
    for (const auto& [path, mode] :
         {std::pair{real, 0640}, {readOnly, 0444}, {folder.file("fresh.stl"), 0644}}) {
        ASSERT_EQ(stat(path.c_str(), &status), 0) << path;
        EXPECT_EQ(status.st_mode & 07777, static_cast<mode_t>(mode)) << path;
    }
    EXPECT_EQ(folder.names(), (std::set<std::string>{"real", "link.ply", "shot.png", "fresh.stl"}));
    EXPECT_EQ(fs::directory_iterator(folder.path / "real")->path().filename(), "surface.ply");

    fs::create_directory(folder.path / "dir.ply");
    ASSERT_EQ(mkfifo(folder.file("fifo.ply").c_str(), 0644), 0);
    EXPECT_FALSE(checkWritable(folder.file("dir.ply").c_str(), reason));
    EXPECT_EQ(reason, "Is a directory");
    EXPECT_FALSE(checkWritable(folder.file("fifo.ply").c_str(), reason));
    EXPECT_EQ(reason, "it is a FIFO, not a regular file");
}
#endif
