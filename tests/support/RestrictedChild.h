#pragma once

// Runs a piece of a test in a forked child: as the ordinary user nobody (uid and gid 65534,
// no supplementary groups), so that permission bits apply even when the tests run as
// root, and/or with a file size limit, so that a write fails as on a full disk. The child
// reports one line of text back through a pipe. A test whose whole set-up must be an
// ordinary user's (a window, with its threads, can't be forked) runs again as nobody in a
// fresh process of its test program instead.
#include <gtest/gtest.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace qfip::testing {

constexpr uid_t kNobody = 65534;

struct ChildLimits {
    bool asNobody = false;                // drop to uid/gid 65534 when running as root
    std::optional<rlim_t> fileSizeLimit;  // RLIMIT_FSIZE in bytes
};

inline ChildLimits asNobody() { return {true, std::nullopt}; }
inline ChildLimits withFileSizeLimit(rlim_t bytes, bool nobody = false) { return {nobody, bytes}; }

// What `body` returned in the child, or a text starting with "child:" when the child could
// not be set up or did not finish.
inline std::string runInChild(const ChildLimits& limits, const std::function<std::string()>& body) {
    int channel[2];
    if (pipe(channel) != 0) return "child: no pipe";
    const pid_t child = fork();
    if (child < 0) return "child: no fork";
    if (child == 0) {
        close(channel[0]);
        std::string report;
        bool ready = true;
        if (limits.asNobody && geteuid() == 0) {
            ready = setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0 && geteuid() == kNobody;
            if (!ready) report = "child: cannot become nobody";
        }
        if (ready && limits.fileSizeLimit) {
            // Past the limit a write fails with EFBIG instead of ending the process.
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{*limits.fileSizeLimit, *limits.fileSizeLimit};
            ready = setrlimit(RLIMIT_FSIZE, &limit) == 0;
            if (!ready) report = "child: no file size limit";
        }
        if (ready) {
            try {
                report = body();
            } catch (const std::exception& e) {
                report = std::string("child: unexpected ") + e.what();
            }
        }
        for (size_t done = 0; done < report.size();) {
            const ssize_t n = write(channel[1], report.data() + done, report.size() - done);
            if (n <= 0) break;
            done += size_t(n);
        }
        _exit(0);
    }
    close(channel[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        report.append(buffer, size_t(n));
    }
    close(channel[0]);
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "child: did not finish";
    }
    return report;
}

// Runs the current test alone in a new process of this test program, as nobody; its output
// goes where this process's goes. Nobody may not be able to reach the program where it was
// built (a clone under a folder only its owner may enter), so the run starts from a copy
// in a fresh folder under /tmp open to every user, in the root folder and with TMPDIR=/tmp.
// The exit status of that run (0: the test passed), or -1 when it could not be started.
inline int rerunCurrentTestAsNobody() {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) return -1;
    std::string folderName = "/tmp/qfip-rerun-XXXXXX";
    if (!mkdtemp(folderName.data())) return -1;
    struct RemovedAfterwards {
        fs::path folder;
        ~RemovedAfterwards() {
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        }
    } copyFolder{folderName};
    const fs::path copy = copyFolder.folder / self.filename();
    if (!fs::copy_file(self, copy, error) || chmod(copy.c_str(), 0755) != 0 ||
        chmod(copyFolder.folder.c_str(), 0755) != 0)
        return -1;

    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    char* const argv[] = {const_cast<char*>(copy.c_str()), const_cast<char*>(filter.c_str()), nullptr};
    // This process's environment but TMPDIR, which may name a folder nobody can't enter.
    std::vector<std::string> variables{"TMPDIR=/tmp"};
    for (char** variable = environ; *variable; ++variable) {
        if (std::string_view(*variable).substr(0, 7) != "TMPDIR=") variables.emplace_back(*variable);
    }
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);

    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        // Only system calls between fork and exec: this process may have other threads.
        if (setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0 && chdir("/") == 0)
            execve(argv[0], argv, envp.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace qfip::testing
