#pragma once

// Checks that the drawing helper leaves nothing behind. The test process makes itself a
// child subreaper, so any process a helper started and left (orphaned) becomes its child
// too: "no helper left" is then "no child left", none running and none unreaped.
#include <cerrno>
#include <chrono>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <dirent.h>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "exchange/RenderClient.h"

namespace qfip::testing {

inline void adoptOrphans() { prctl(PR_SET_CHILD_SUBREAPER, 1); }

// Orphans killed with a helper's process group are reaped here (they are not helpers the
// client owns); waits at most `patience` for them to end.
inline bool noChildLeft(std::chrono::milliseconds patience = std::chrono::milliseconds(1000)) {
    const auto until = std::chrono::steady_clock::now() + patience;
    for (;;) {
        siginfo_t info{};
        const int rc = waitid(P_ALL, 0, &info, WEXITED | WNOHANG);
        if (rc < 0 && errno == ECHILD) return true;
        if (rc == 0 && info.si_pid != 0) continue;
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// The processes this one started (from every thread) and that are still its children.
inline std::vector<pid_t> childProcesses() {
    std::vector<pid_t> children;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* task = readdir(tasks)) {
            if (task->d_name[0] == '.') continue;
            std::ifstream list(std::string("/proc/self/task/") + task->d_name + "/children");
            pid_t pid;
            while (list >> pid) children.push_back(pid);
        }
        closedir(tasks);
    }
    return children;
}

// No helper left but the spare, which is by design: that one is killed and reaped first.
inline bool noHelperLeft() {
    qfip::exchange::discardSpareHelper();
    return noChildLeft();
}

}  // namespace qfip::testing
