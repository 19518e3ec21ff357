#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/Error.h"
#include "results/ResultFile.h"
#include "results/ResultsLog.h"

namespace qfip {
namespace {

namespace fs = std::filesystem;

std::string readBytes(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f << bytes;
}

std::string messageOf(const std::string& path, const std::string& text) {
    try {
        writeResultFile(path, text);
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

class ResultFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "qfip-results-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    // Names in the folder other than `keep` (left-over temporary files).
    int strayFiles(const std::string& keep) const {
        int n = 0;
        for (const auto& e : fs::directory_iterator(dir_)) n += e.path().filename() != keep;
        return n;
    }
    fs::path dir_;
};

TEST_F(ResultFile, EmptyLogGivesEmptyFile) {
    const fs::path p = dir_ / "empty.dat";
    writeResultFile(p.string(), "");
    ASSERT_TRUE(fs::exists(p));
    EXPECT_EQ(fs::file_size(p), 0u);
    EXPECT_EQ(strayFiles("empty.dat"), 0);
}

TEST_F(ResultFile, TwoLinesExactBytesReplacingOldFile) {
    const fs::path p = dir_ / "results.dat";
    writeBytes(p, "an older and much longer content that must disappear completely\n");
    std::string log;
    appendLine(log, resultLine(fileLabel("/data/f0000017.bmp"), 143, 12));
    appendLine(log, resultLine(fileLabel("/data/f0000018.bmp"), 7, -1));
    writeResultFile(p.string(), log);
    EXPECT_EQ(readBytes(p), "    f0000017       143       12\r\n    f0000018       7       -1\r\n");
    EXPECT_EQ(strayFiles("results.dat"), 0);
}

TEST_F(ResultFile, Utf8WrittenAsGivenWithoutBom) {
    const fs::path p = dir_ / "ä.txt";
    writeResultFile(p.string(), "    d_äöü_01       1       2\r\n");
    EXPECT_EQ(readBytes(p), "    d_\xC3\xA4\xC3\xB6\xC3\xBC_01       1       2\r\n");
}

TEST_F(ResultFile, KeepsPermissionsOfReplacedFile) {
    const fs::path p = dir_ / "mode.dat";
    writeBytes(p, "x");
    ASSERT_EQ(chmod(p.c_str(), 0600), 0);
    writeResultFile(p.string(), "y");
    struct stat st{};
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ResultFile, NewFileGetsUsualMode) {
    const mode_t old = umask(022);
    const fs::path p = dir_ / "new.dat";
    writeResultFile(p.string(), "z");
    umask(old);
    struct stat st{};
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(ResultFile, WritesThroughSymbolicLink) {
    const fs::path real = dir_ / "real.dat", link = dir_ / "link.dat";
    writeBytes(real, "old");
    fs::create_symlink(real, link);
    writeResultFile(link.string(), "new\r\n");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readBytes(real), "new\r\n");
}

TEST_F(ResultFile, MissingFolder) {
    const std::string p = (dir_ / "no-such-folder" / "r.dat").string();
    EXPECT_EQ(messageOf(p, "abc"), "Cannot create file " + p);
}

TEST_F(ResultFile, FileUsedAsFolder) {
    // Fails for root too: a regular file can't hold entries.
    const fs::path file = dir_ / "plain";
    writeBytes(file, "keep");
    const std::string p = (file / "x.dat").string();
    EXPECT_EQ(messageOf(p, "abc"), "Cannot create file " + p);
    EXPECT_EQ(readBytes(file), "keep");
}

TEST_F(ResultFile, TargetIsAFolder) {
    fs::create_directory(dir_ / "sub");
    const std::string p = (dir_ / "sub").string();
    EXPECT_EQ(messageOf(p, "abc"), "Cannot create file " + p);
    EXPECT_TRUE(fs::is_directory(dir_ / "sub"));
    EXPECT_EQ(strayFiles("sub"), 0);
}

TEST_F(ResultFile, FolderNotWritable) {
    if (geteuid() == 0) GTEST_SKIP() << "permission bits don't stop root";
    ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
    const std::string p = (dir_ / "r.dat").string();
    EXPECT_EQ(messageOf(p, "abc"), "Cannot create file " + p);
}

TEST_F(ResultFile, ReadOnlyFileIsNotReplaced) {
    if (geteuid() == 0) GTEST_SKIP() << "permission bits don't stop root";
    const fs::path p = dir_ / "locked.dat";
    writeBytes(p, "keep");
    ASSERT_EQ(chmod(p.c_str(), 0444), 0);
    EXPECT_EQ(messageOf(p.string(), "new"), "Cannot create file " + p.string());
    EXPECT_EQ(readBytes(p), "keep");
}

TEST_F(ResultFile, WriteFailureKeepsOldFile) {
    const fs::path p = dir_ / "results.dat";
    const std::string old = "    f0000001       1       2\r\n";
    writeBytes(p, old);
    const std::string big(4096, 'q');

    // A child process whose file size limit is below the text's size sees the write fail.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit{};
        limit.rlim_cur = limit.rlim_max = 1000;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
        try {
            writeResultFile(p.string(), big);
        } catch (const Error& e) {
            _exit(std::string(e.what()) == "Stream write error" ? 0 : 1);
        }
        _exit(2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: other message, 2: no error, 3: no limit";
    EXPECT_EQ(readBytes(p), old);
    EXPECT_EQ(strayFiles("results.dat"), 0);
}

TEST_F(ResultFile, RelativePathInCurrentFolder) {
    const fs::path before = fs::current_path();
    fs::current_path(dir_);
    writeResultFile("rel.dat", "r\r\n");
    fs::current_path(before);
    EXPECT_EQ(readBytes(dir_ / "rel.dat"), "r\r\n");
}

}  // namespace
}  // namespace qfip
