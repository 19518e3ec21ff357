#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "results/ResultFile.h"
#include "results/ResultsLog.h"
#include "support/RestrictedChild.h"

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

using testing::asNobody;
using testing::ChildLimits;
using testing::kNobody;
using testing::runInChild;
using testing::withFileSizeLimit;

// What a save is checked against: the file's bytes and the inode that holds them.
struct FileState {
    bool exists = false;
    std::string bytes;
    ino_t inode = 0;
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
    nlink_t links = 0;
};

// The bytes of a file whoever runs the test: a file that its owner may not read (mode
// 0200; root reads it anyway) is made readable to its owner for the read, then given its
// mode back.
std::string bytesOf(const fs::path& p, mode_t mode) {
    if (access(p.c_str(), R_OK) == 0 || chmod(p.c_str(), mode | S_IRUSR) != 0) return readBytes(p);
    std::string bytes = readBytes(p);
    chmod(p.c_str(), mode);
    return bytes;
}

FileState stateOf(const fs::path& p) {
    FileState state;
    struct stat st{};
    if (stat(p.c_str(), &st) != 0) return state;
    const mode_t mode = st.st_mode & 07777;
    state = {true, bytesOf(p, mode), st.st_ino, mode, st.st_uid, st.st_gid, st.st_nlink};
    return state;
}

// The message of a save made in a child process under `limits`.
std::string messageInChild(const ChildLimits& limits, const std::string& path, const std::string& text) {
    return runInChild(limits, [&] { return messageOf(path, text); });
}

bool isRoot() { return geteuid() == 0; }

class ResultFile : public ::testing::Test {
protected:
    void SetUp() override {
        // Under /tmp, open to every user, so that a child running as nobody reaches it
        // whatever TMPDIR says.
        std::string pattern = "/tmp/qfip-results-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    // The names in the folder, sorted.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
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

// As an ordinary user: a folder nobody may write, with no file in it.
TEST_F(ResultFile, FolderNotWritable) {
    ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
    const std::string p = (dir_ / "r.dat").string();
    EXPECT_EQ(messageInChild(asNobody(), p, "abc"), "Cannot create file " + p);
    EXPECT_FALSE(fs::exists(p));
}

// As an ordinary user: a read-only file of one's own in a folder one may write.
TEST_F(ResultFile, ReadOnlyFileIsNotReplaced) {
    ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);
    const fs::path p = dir_ / "locked.dat";
    writeBytes(p, "keep");
    ASSERT_EQ(chmod(p.c_str(), 0444), 0);
    if (isRoot()) {
        ASSERT_EQ(chown(p.c_str(), kNobody, kNobody), 0);
    }
    EXPECT_EQ(messageInChild(asNobody(), p.string(), "new"), "Cannot create file " + p.string());
    EXPECT_EQ(readBytes(p), "keep");
    EXPECT_EQ(strayFiles("locked.dat"), 0);
}

// Only regular files are written: a pipe would stall the window, and renaming over a
// device would replace it.
TEST_F(ResultFile, TargetIsAPipe) {
    const fs::path p = dir_ / "pipe";
    ASSERT_EQ(mkfifo(p.c_str(), 0666), 0);
    EXPECT_EQ(messageOf(p.string(), "abc"), "Cannot create file " + p.string());
    EXPECT_TRUE(fs::is_fifo(p));
    EXPECT_EQ(strayFiles("pipe"), 0);
}

TEST_F(ResultFile, WriteFailureKeepsOldFile) {
    const fs::path p = dir_ / "results.dat";
    const std::string old = "    f0000001       1       2\r\n";
    writeBytes(p, old);
    const std::string big(4096, 'q');
    // A child process whose file size limit is below the text's size sees the write fail.
    EXPECT_EQ(messageInChild(withFileSizeLimit(1000), p.string(), big), "Stream write error");
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

TEST_F(ResultFile, TwoHardLinksKeepBothWithTheNewText) {
    const fs::path p = dir_ / "results.dat", other = dir_ / "also.dat";
    writeBytes(p, "old\r\n");
    fs::create_hard_link(p, other);
    const FileState before = stateOf(p);
    writeResultFile(p.string(), "new\r\n");
    const FileState after = stateOf(p);
    EXPECT_EQ(after.bytes, "new\r\n");
    EXPECT_EQ(readBytes(other), "new\r\n");
    EXPECT_EQ(after.links, 2u);
    EXPECT_EQ(after.inode, before.inode);
    EXPECT_EQ(stateOf(other).inode, before.inode);
}

TEST_F(ResultFile, ReplacementKeepsModeOwnerAndGroup) {
    if (!isRoot()) GTEST_SKIP() << "giving a file to another user needs root";
    const fs::path p = dir_ / "theirs.dat";
    writeBytes(p, "old");
    ASSERT_EQ(chown(p.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chmod(p.c_str(), 0640), 0);
    const FileState before = stateOf(p);
    writeResultFile(p.string(), "new");
    const FileState after = stateOf(p);
    EXPECT_EQ(after.bytes, "new");
    EXPECT_NE(after.inode, before.inode) << "replaced through a temporary file";
    EXPECT_EQ(after.mode, 0640u);
    EXPECT_EQ(after.owner, kNobody);
    EXPECT_EQ(after.group, kNobody);
}

// ---- symbolic links ---------------------------------------------------------------------

struct LinkCase {
    const char* name;
    std::vector<std::pair<const char*, const char*>> links;  // link name -> what it holds
    const char* existing;  // a file there before the save, or nullptr
    const char* saveTo;
    const char* lands;     // the file that must hold the text afterwards, or nullptr: refused
};

void PrintTo(const LinkCase& c, std::ostream* out) { *out << c.name; }

class SymbolicLinks : public ResultFile, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(SymbolicLinks, AreFollowedToTheFileTheyName) {
    const LinkCase& c = GetParam();
    fs::create_directory(dir_ / "sub");
    if (c.existing) writeBytes(dir_ / c.existing, "old");
    for (const auto& [link, target] : c.links) {
        // "@" stands for the test's folder, so that absolute links can be written here.
        std::string held = target;
        if (held.rfind("@", 0) == 0) held = dir_.string() + held.substr(1);
        fs::create_symlink(held, dir_ / link);
    }
    const std::string path = (dir_ / c.saveTo).string();
    const std::string message = messageOf(path, "    a       1       2\r\n");
    if (!c.lands) {
        EXPECT_EQ(message, "Cannot create file " + path);
    } else {
        EXPECT_EQ(message, "(no error)");
        EXPECT_EQ(readBytes(dir_ / c.lands), "    a       1       2\r\n");
        EXPECT_FALSE(fs::is_symlink(dir_ / c.lands));
    }
    for (const auto& link : c.links) EXPECT_TRUE(fs::is_symlink(dir_ / link.first)) << link.first;
    if (c.existing && (!c.lands || std::string(c.lands) != c.existing)) {
        EXPECT_EQ(readBytes(dir_ / c.existing), "old");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SymbolicLinks,
    ::testing::Values(
        LinkCase{"ToAFile", {{"link.dat", "real.dat"}}, "real.dat", "link.dat", "real.dat"},
        LinkCase{"Absolute", {{"link.dat", "@/real.dat"}}, "real.dat", "link.dat", "real.dat"},
        LinkCase{"Chain", {{"a.dat", "b.dat"}, {"b.dat", "sub/c.dat"}, {"sub/c.dat", "../real.dat"}}, "real.dat",
                 "a.dat", "real.dat"},
        LinkCase{"IntoAnotherFolder", {{"sub/link.dat", "../real.dat"}}, "real.dat", "sub/link.dat", "real.dat"},
        LinkCase{"Dangling", {{"link.dat", "new.dat"}}, nullptr, "link.dat", "new.dat"},
        LinkCase{"DanglingChain", {{"a.dat", "sub/b.dat"}, {"sub/b.dat", "new.dat"}}, nullptr, "a.dat", "sub/new.dat"},
        LinkCase{"DanglingIntoMissingFolder", {{"link.dat", "nowhere/new.dat"}}, nullptr, "link.dat", nullptr},
        LinkCase{"Loop", {{"a.dat", "b.dat"}, {"b.dat", "a.dat"}}, nullptr, "a.dat", nullptr},
        LinkCase{"ToAFolder", {{"link.dat", "sub"}}, nullptr, "link.dat", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- permissions, as an ordinary user ---------------------------------------------------

enum class Owner { NoFile, Nobody, Root };
enum class Outcome { Refused, InPlace, Replaced };

struct AccessCase {
    const char* name;
    mode_t folderMode;  // the folder belongs to the user running the tests
    Owner owner;
    mode_t fileMode;
    Outcome outcome;
};

void PrintTo(const AccessCase& c, std::ostream* out) { *out << c.name; }

class SavedByNobody : public ResultFile, public ::testing::WithParamInterface<AccessCase> {};

TEST_P(SavedByNobody, SavesWhereTheFileCanBeWrittenAndNeverDamagesIt) {
    const AccessCase& c = GetParam();
    if (c.owner == Owner::Root && !isRoot()) GTEST_SKIP() << "another user's file needs root to set up";
    const fs::path p = dir_ / "r.dat";
    const std::string oldText = "    f0000001       1       2\r\n";
    const std::string newText = "    f0000002       3       4\r\n    f0000003       5       6\r\n";
    if (c.owner != Owner::NoFile) {
        writeBytes(p, oldText);
        ASSERT_EQ(chmod(p.c_str(), c.fileMode), 0);
        const uid_t owner = c.owner == Owner::Nobody ? kNobody : 0;
        if (isRoot()) {
            ASSERT_EQ(chown(p.c_str(), owner, owner), 0);
        }
    }
    ASSERT_EQ(chmod(dir_.c_str(), c.folderMode), 0);
    const FileState before = stateOf(p);

    const mode_t umaskBefore = umask(022);
    const std::string message = messageInChild(asNobody(), p.string(), newText);
    umask(umaskBefore);
    const FileState after = stateOf(p);

    if (c.outcome == Outcome::Refused) {
        EXPECT_EQ(message, "Cannot create file " + p.string());
        EXPECT_EQ(after.exists, before.exists);
        EXPECT_EQ(after.bytes, before.bytes);
        EXPECT_EQ(after.inode, before.inode);
    } else {
        EXPECT_EQ(message, "(no error)");
        EXPECT_EQ(after.bytes, newText);
        if (before.exists) {
            EXPECT_EQ(after.mode, before.mode);
            EXPECT_EQ(after.owner, before.owner);
            EXPECT_EQ(after.group, before.group);
            if (c.outcome == Outcome::InPlace) {
                EXPECT_EQ(after.inode, before.inode) << "overwritten in place";
            } else {
                EXPECT_NE(after.inode, before.inode) << "replaced through a temporary file";
            }
        } else {
            EXPECT_EQ(after.mode, 0644u);
            if (isRoot()) {
                EXPECT_EQ(after.owner, kNobody);
            }
        }
    }
    EXPECT_EQ(strayFiles("r.dat"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SavedByNobody,
    ::testing::Values(
        // A folder the user may not write: the file itself is overwritten where it may be.
        AccessCase{"ReadOnlyFolderOwnFile", 0555, Owner::Nobody, 0644, Outcome::InPlace},
        AccessCase{"ReadOnlyFolderOthersFileWritableByAll", 0555, Owner::Root, 0666, Outcome::InPlace},
        AccessCase{"ReadOnlyFolderNoFile", 0555, Owner::NoFile, 0, Outcome::Refused},
        AccessCase{"ReadOnlyFolderReadOnlyFile", 0555, Owner::Nobody, 0444, Outcome::Refused},
        // In place the old bytes must be kept first, and they can't be read.
        AccessCase{"ReadOnlyFolderWriteOnlyFile", 0555, Owner::Nobody, 0200, Outcome::Refused},
        // A writable folder: replaced through a temporary file that looks like the old one.
        AccessCase{"WritableFolderMode0640", 0777, Owner::Nobody, 0640, Outcome::Replaced},
        AccessCase{"WritableFolderWriteOnlyFile", 0777, Owner::Nobody, 0200, Outcome::Replaced},
        AccessCase{"WritableFolderReadOnlyFile", 0777, Owner::Nobody, 0444, Outcome::Refused},
        AccessCase{"WritableFolderNoFile", 0777, Owner::NoFile, 0, Outcome::Replaced},
        // Another user's file keeps its owner: it is overwritten in place.
        AccessCase{"WritableFolderOthersFileWritableByAll", 0777, Owner::Root, 0666, Outcome::InPlace},
        AccessCase{"WritableFolderOthersReadOnlyFile", 0777, Owner::Root, 0644, Outcome::Refused},
        AccessCase{"StickyFolderOthersFileWritableByAll", 01777, Owner::Root, 0666, Outcome::InPlace}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- a full disk ------------------------------------------------------------------------

enum class Path { Rename, InPlaceHardLinked, InPlaceReadOnlyFolder, NewFile };

struct FullDiskCase {
    const char* name;
    Path path;
};

void PrintTo(const FullDiskCase& c, std::ostream* out) { *out << c.name; }

class FullDisk : public ResultFile, public ::testing::WithParamInterface<FullDiskCase> {};

// A file size limit below the new text's size makes the write fail part way, as a full
// disk does; the old file must come out of it byte for byte.
TEST_P(FullDisk, WriteFailureKeepsTheOldBytes) {
    const FullDiskCase& c = GetParam();
    const fs::path p = dir_ / "results.dat", other = dir_ / "also.dat";
    const std::string old = "    f0000001       1       2\r\n";
    std::string big;
    for (int i = 0; i < 200; ++i) appendLine(big, resultLine(std::to_string(1000000 + i), 143, 12));
    const ChildLimits limits = withFileSizeLimit(1000, c.path == Path::InPlaceReadOnlyFolder);

    if (c.path != Path::NewFile) {
        writeBytes(p, old);
        if (isRoot()) {
            ASSERT_EQ(chown(p.c_str(), kNobody, kNobody), 0);
        }
    }
    if (c.path == Path::InPlaceHardLinked) fs::create_hard_link(p, other);
    if (c.path == Path::InPlaceReadOnlyFolder) {
        ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
    }
    const FileState before = stateOf(p);

    EXPECT_EQ(messageInChild(limits, p.string(), big), "Stream write error");
    const FileState after = stateOf(p);
    EXPECT_EQ(after.exists, before.exists);
    EXPECT_EQ(after.bytes, before.bytes);
    EXPECT_EQ(after.inode, before.inode);
    if (c.path == Path::InPlaceHardLinked) {
        EXPECT_EQ(after.links, 2u);
        EXPECT_EQ(readBytes(other), old);
    }
    std::vector<std::string> expected;
    if (c.path == Path::InPlaceHardLinked) expected.push_back("also.dat");
    if (before.exists) expected.push_back("results.dat");
    EXPECT_EQ(entries(), expected) << "no temporary file is left behind";
}

INSTANTIATE_TEST_SUITE_P(Table, FullDisk,
                         ::testing::Values(FullDiskCase{"Rename", Path::Rename},
                                           FullDiskCase{"InPlaceHardLinked", Path::InPlaceHardLinked},
                                           FullDiskCase{"InPlaceReadOnlyFolder", Path::InPlaceReadOnlyFolder},
                                           FullDiskCase{"NewFile", Path::NewFile}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- a save killed half-way --------------------------------------------------------------

class KilledSave : public ResultFile, public ::testing::WithParamInterface<FullDiskCase> {};

// Saves of a few megabytes killed at random points: the file's name always holds the old
// text or the new one, or the old text is in the recovery copy beside it; the next save
// leaves no temporary file behind.
TEST_P(KilledSave, LeavesTheOldTextTheNewTextOrTheOldTextInItsCopy) {
    const fs::path p = dir_ / "results.dat", other = dir_ / "also.dat";
    std::string oldText, newText;
    for (int i = 0; i < 150000; ++i) {
        appendLine(oldText, resultLine(std::to_string(1000000 + i), 143, 12));
        appendLine(newText, resultLine(std::to_string(2000000 + i), 7, 1));
    }
    writeBytes(p, oldText);
    if (GetParam().path == Path::InPlaceHardLinked) fs::create_hard_link(p, other);
    const auto began = std::chrono::steady_clock::now();
    writeResultFile(p.string(), oldText);
    const auto oneSave = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - began);

    std::mt19937 random(20261208);
    std::uniform_int_distribution<int64_t> when(0, oneSave.count() * 3 / 2);
    int torn = 0;
    for (int kill = 0; kill < 40; ++kill) {
        const pid_t saver = fork();
        ASSERT_GE(saver, 0);
        if (saver == 0) {
            writeResultFile(p.string(), newText);
            _exit(0);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(when(random)));
        ::kill(saver, SIGKILL);
        ASSERT_EQ(waitpid(saver, nullptr, 0), saver);

        const std::string now = readBytes(p);
        bool recovered = false;
        for (const std::string& name : entries()) {
            if (!name.starts_with("results.dat.qfip-backup")) continue;
            EXPECT_EQ(readBytes(dir_ / name), oldText) << "kill " << kill;
            recovered = true;
            fs::remove(dir_ / name);
        }
        if (now != oldText && now != newText) {
            EXPECT_TRUE(recovered) << "kill " << kill << ": a torn file without its copy";
            ++torn;
        }
        writeBytes(p, oldText);  // in place, so a hard link stays one
    }
    RecordProperty("torn_and_recovered", torn);

    writeResultFile(p.string(), newText);
    std::vector<std::string> expected{"results.dat"};
    if (GetParam().path == Path::InPlaceHardLinked) expected.insert(expected.begin(), "also.dat");
    EXPECT_EQ(entries(), expected) << "a temporary file of a killed save survived the next save";
    EXPECT_EQ(readBytes(p), newText);
}

INSTANTIATE_TEST_SUITE_P(Table, KilledSave,
                         ::testing::Values(FullDiskCase{"Rename", Path::Rename},
                                           FullDiskCase{"InPlaceHardLinked", Path::InPlaceHardLinked}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qfip
