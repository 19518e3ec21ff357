// The client that runs the drawing helper, through a helper that misbehaves on purpose
// (tests/support/MisbehavingHelper.cpp, started by the real client with the real limits)
// and, when the window is built, through the real helper.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <algorithm>
#include <atomic>
#include <fstream>
#include <future>
#include <thread>
#include <vector>

#include "common/Error.h"
#include "exchange/RenderClient.h"
#include "support/LeftoverProcesses.h"
#include "support/DrawnPictureWriter.h"

using namespace qfip::exchange;
using namespace std::chrono_literals;
using qfip::testing::childProcesses;
using qfip::testing::noChildLeft;
using qfip::testing::noHelperLeft;

namespace {

class ClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { qfip::testing::adoptOrphans(); }
    void TearDown() override { unsetenv("QFIP_MISBEHAVE"); }

    static ClientOptions misbehaving(const char* mode, std::chrono::milliseconds deadline = 500ms) {
        setenv("QFIP_MISBEHAVE", mode, 1);
        ClientOptions options;
        options.helperPath = QFIP_MISBEHAVING_HELPER;
        options.deadline = deadline;
        return options;
    }

    // Draws into a vector; `sinkCalls` counts the allocations asked for.
    DrawResult draw(DrawnKind kind, const std::vector<uint8_t>& bytes, const ClientOptions& options,
                    std::stop_token stop = {}) {
        pixels.clear();
        sinkCalls = 0;
        return drawInHelper(kind, bytes, [this](int w, int h) {
            ++sinkCalls;
            pixels.assign(size_t(w) * size_t(h), 0);
            return pixels.data();
        }, options, stop);
    }

    std::vector<uint32_t> pixels;
    int sinkCalls = 0;
};

// The kernel keeps scheduler statistics (the time a process ran, the time it waited for a
// CPU, how many times it was given one): this process has been given one.
bool schedulerKeepsWaitingTimes() {
    std::ifstream schedstat("/proc/self/schedstat");
    uint64_t ran = 0, waited = 0, times = 0;
    return bool(schedstat >> ran >> waited >> times) && times > 0;
}

const std::vector<uint8_t> kEmf = qfip::testing::EmfFile{}.bytes();  // 48 x 24
const std::vector<uint8_t> kIcon = qfip::testing::icon32(2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});

}  // namespace

TEST_F(ClientTest, EveryMisbehaviourIsAFailureAndLeavesNoProcess) {
    struct Case {
        const char* mode;
        DrawnKind kind;
        Outcome outcome;
        int detail;
        bool allocated;  // whether the header passed and the picture was allocated
    };
    const Case cases[] = {
        {"draw", DrawnKind::EnhancedMetafile, Outcome::Drawn, 0, true},
        {"draw", DrawnKind::Icon, Outcome::Drawn, 0, true},
        {"not-valid", DrawnKind::EnhancedMetafile, Outcome::NotValid, 0, false},
        {"segv", DrawnKind::EnhancedMetafile, Outcome::Signalled, SIGSEGV, false},
        {"abort", DrawnKind::Icon, Outcome::Signalled, SIGABRT, false},
        {"hang", DrawnKind::EnhancedMetafile, Outcome::Timeout, 0, false},
        {"exit3", DrawnKind::Icon, Outcome::ExitCode, 3, false},
        {"silent", DrawnKind::EnhancedMetafile, Outcome::ShortReply, 0, false},
        {"not-valid-exit1", DrawnKind::EnhancedMetafile, Outcome::ExitCode, 1, false},
        {"short-header", DrawnKind::EnhancedMetafile, Outcome::ShortReply, 0, false},
        {"short-pixels", DrawnKind::EnhancedMetafile, Outcome::ShortReply, 0, true},
        {"crash-midway", DrawnKind::EnhancedMetafile, Outcome::Signalled, SIGSEGV, true},
        {"absurd", DrawnKind::Icon, Outcome::MalformedReply, int(ReplyCheck::TooLarge), false},
        {"absurd", DrawnKind::EnhancedMetafile, Outcome::MalformedReply, int(ReplyCheck::TooLarge), false},
        {"wrong-count", DrawnKind::Icon, Outcome::MalformedReply, int(ReplyCheck::WrongByteCount), false},
        {"wrong-size", DrawnKind::EnhancedMetafile, Outcome::MalformedReply, int(ReplyCheck::WrongSize), false},
        {"bad-magic", DrawnKind::EnhancedMetafile, Outcome::MalformedReply, int(ReplyCheck::WrongMagic), false},
        {"extra", DrawnKind::EnhancedMetafile, Outcome::ExtraBytes, 0, true},
        {"reply-then-hang", DrawnKind::EnhancedMetafile, Outcome::Timeout, 0, true},
        {"close-then-hang", DrawnKind::EnhancedMetafile, Outcome::Timeout, 0, false},
        {"grandchild", DrawnKind::Icon, Outcome::Timeout, 0, true},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t>& bytes = c.kind == DrawnKind::Icon ? kIcon : kEmf;
        const auto started = std::chrono::steady_clock::now();
        const DrawResult r = draw(c.kind, bytes, misbehaving(c.mode));
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(int(r.outcome), int(c.outcome)) << c.mode << ": " << describe(r);
        if (c.detail) {
            EXPECT_EQ(r.detail, c.detail) << c.mode;
        }
        EXPECT_EQ(sinkCalls, c.allocated ? 1 : 0) << c.mode;
        EXPECT_LT(took, 5s) << c.mode;  // the deadline (500 ms) ends a helper that hangs
        EXPECT_TRUE(noChildLeft()) << c.mode;

        // The thrown form: the kind's own message for everything but a drawing.
        std::string message = "(drawn)";
        try {
            drawInHelperOrThrow(c.kind, bytes, [this](int w, int h) {
                pixels.assign(size_t(w) * size_t(h), 0);
                return pixels.data();
            }, misbehaving(c.mode));
        } catch (const qfip::Error& e) {
            message = e.what();
        }
        EXPECT_EQ(message, c.outcome == Outcome::Drawn ? "(drawn)" : notValidMessage(c.kind)) << c.mode;
        EXPECT_TRUE(noChildLeft()) << c.mode;
    }
}

TEST_F(ClientTest, DrawnPixelsArriveInTheSinksBuffer) {
    const DrawResult r = draw(DrawnKind::EnhancedMetafile, kEmf, misbehaving("draw"));
    ASSERT_EQ(r.outcome, Outcome::Drawn);
    EXPECT_EQ(r.width, 48);
    EXPECT_EQ(r.height, 24);
    ASSERT_EQ(pixels.size(), 48u * 24u);
    for (uint32_t p : pixels) ASSERT_EQ(p, 0xFF336699u);
}

TEST_F(ClientTest, TheHelperStartsWithItsLimitsAndOnlyItsOwnDescriptors) {
    const DrawResult r = draw(DrawnKind::Icon, kIcon, misbehaving("limits"));
    ASSERT_EQ(r.outcome, Outcome::Drawn) << describe(r);
    ASSERT_EQ(r.width, 1);
    std::vector<uint64_t> values;
    for (size_t i = 0; i + 1 < pixels.size(); i += 2) values.push_back(uint64_t(pixels[i]) | uint64_t(pixels[i + 1]) << 32);
    struct Case {
        const char* what;
        uint64_t expected;
    };
    const Case cases[] = {
        {"RLIMIT_AS soft", uint64_t(1) << 30}, {"RLIMIT_AS hard", uint64_t(1) << 30},
        {"RLIMIT_CPU soft", 30},               {"RLIMIT_CPU hard", 31},
        {"RLIMIT_CORE soft", 0},               {"RLIMIT_CORE hard", 0},
        {"RLIMIT_FSIZE soft", 0},              {"RLIMIT_FSIZE hard", 0},
        {"RLIMIT_NOFILE soft", 256},           {"RLIMIT_NOFILE hard", 256},
        {"no new privileges", 1},              {"parent-death signal", SIGKILL},
        {"descriptors: 0, 1, 2 and the request", 4}, {"SIGXFSZ ignored", 1},
        {"own process group", 1},
        {"request sealed", F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL},
        {"request bytes", kIcon.size()},       {"standard error is /dev/null", 1},
    };
    ASSERT_EQ(values.size(), std::size(cases));
    for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(values[i], cases[i].expected) << cases[i].what;
    EXPECT_TRUE(noChildLeft());
}

TEST_F(ClientTest, AStopRequestKillsTheHelperAtOnce) {
    std::stop_source source;
    const auto options = misbehaving("hang", 10s);
    std::thread stopper([&] {
        std::this_thread::sleep_for(150ms);
        source.request_stop();
    });
    const auto started = std::chrono::steady_clock::now();
    const DrawResult r = draw(DrawnKind::EnhancedMetafile, kEmf, options, source.get_token());
    const auto took = std::chrono::steady_clock::now() - started;
    stopper.join();
    EXPECT_EQ(r.outcome, Outcome::Stopped);
    // Stopped soon after the request (the helper's deadline was 10 s away).
    EXPECT_LT(took, 1s);
    EXPECT_TRUE(noChildLeft());

    std::stop_source already;
    already.request_stop();
    EXPECT_EQ(draw(DrawnKind::EnhancedMetafile, kEmf, options, already.get_token()).outcome, Outcome::Stopped);
    EXPECT_TRUE(noChildLeft());
}

// A metafile is given time for the work it announces, never past the CPU limit (less a
// second); a helper that hangs on it is still killed once that time is up.
TEST_F(ClientTest, AMetafileAnnouncingMoreWorkGetsALongerDeadline) {
    using qfip::testing::WmfFile;
    WmfFile many, huge, saved, hugeAndSaved;
    many.rectangles = 60000;  // and four records before them
    huge.box[2] = 16384;
    huge.box[3] = 4096;
    saved.savedContexts = 25000;
    hugeAndSaved = huge;
    hugeAndSaved.savedContexts = 100000;
    std::vector<qfip::testing::MetaRecord> clips{{0x020B, {0, 0}}, {0x020C, {1000, 1000}}};
    for (uint32_t i = 0; i < 1000; ++i) clips.insert(clips.end(), {{0x0416, {900, 900, i, i}}, {0x0415, {20, 20, 10, 10}}});
    const std::vector<uint8_t> clipping = qfip::testing::placeableMetafile({0, 0, 1000, 1000}, 96, 1, clips);
    std::vector<uint8_t> manyCut = many.bytes();
    manyCut.resize(manyCut.size() / 2);
    // 1000 x 1000 pixels of polylines of 200 points each.
    const auto polylines = [](int count) {
        std::vector<qfip::testing::MetaRecord> records{{0x020B, {0, 0}}, {0x020C, {1000, 1000}}};
        for (int i = 0; i < count; ++i) {
            qfip::testing::MetaRecord line{0x0325, {200}};
            for (uint32_t k = 0; k < 200; ++k) line.words.insert(line.words.end(), {(k * 37 + i) % 1000, (k * 91) % 1000});
            records.push_back(line);
        }
        return qfip::testing::placeableMetafile({0, 0, 1000, 1000}, 96, 1, records);
    };
    const struct {
        const char* name;
        DrawnKind kind;
        std::vector<uint8_t> bytes;
        std::chrono::milliseconds extra;
    } cases[] = {
        {"icon", DrawnKind::Icon, kIcon, 0ms},
        {"small metafile", DrawnKind::EnhancedMetafile, kEmf, 0ms},
        {"60,000 records", DrawnKind::PlaceableMetafile, many.bytes(), 6000ms},
        {"only the records that are there", DrawnKind::PlaceableMetafile, manyCut, 3000ms},
        {"64 million pixels", DrawnKind::PlaceableMetafile, huge.bytes(), 16000ms},
        // 238 ms for the pixels, 1.2 for 12 records, 80 for 2,000 points across 1000.
        {"ten polylines of 200 points", DrawnKind::PlaceableMetafile, polylines(10), 319ms},
        // 2,500 for 25,005 records, 6,250 for 25,000 nested levels.
        {"25,000 saved device contexts", DrawnKind::PlaceableMetafile, saved.bytes(), 8750ms},
        // 238 for the pixels, 200 for 2,002 records, 2,000 for 2,000 clipping records.
        {"2,000 clipping records", DrawnKind::PlaceableMetafile, clipping, 2438ms},
        {"past the CPU limit: its limit less a second", DrawnKind::PlaceableMetafile, hugeAndSaved.bytes(), 26000ms},
    };
    ClientOptions options;
    EXPECT_EQ(options.limits.cpuSeconds, 30u);
    for (const auto& c : cases) {
        EXPECT_EQ(drawingDeadline(options, c.kind, c.bytes), 3000ms + c.extra) << c.name;
    }
    // The deadline follows the CPU limit it is given.
    ClientOptions tight;
    tight.limits.cpuSeconds = 10;
    EXPECT_EQ(drawingDeadline(tight, DrawnKind::PlaceableMetafile, huge.bytes()), 9000ms);
    EXPECT_EQ(drawingDeadline(tight, DrawnKind::PlaceableMetafile, polylines(10)), 3319ms);

    WmfFile longer;
    longer.rectangles = 10000;  // a second more
    const auto hanging = misbehaving("hang", 300ms);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(draw(DrawnKind::PlaceableMetafile, longer.bytes(), hanging).outcome, Outcome::Timeout);
    EXPECT_GE(std::chrono::steady_clock::now() - started, drawingDeadline(hanging, DrawnKind::PlaceableMetafile, longer.bytes()));
    EXPECT_TRUE(noChildLeft());
}

// The deadline counts the helper's own time. A helper that spins on one CPU beside four
// busy processes gets a fifth of it and spends most of its deadline waiting for it: it is
// not killed for that time, only once the clock has given it kStarvedDeadlines deadlines
// (its own time would reach its deadline later still).
TEST_F(ClientTest, TimeAHelperWaitsForACpuDoesNotCountAgainstItsDeadline) {
    if (!schedulerKeepsWaitingTimes()) GTEST_SKIP() << "the kernel counts no time spent waiting for a CPU";
    cpu_set_t oneCpu;
    ASSERT_EQ(sched_getaffinity(0, sizeof oneCpu, &oneCpu), 0);
    int cpu = 0;
    while (!CPU_ISSET(cpu, &oneCpu)) ++cpu;
    CPU_ZERO(&oneCpu);
    CPU_SET(cpu, &oneCpu);
    std::vector<pid_t> busy;
    for (int i = 0; i < 4; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            sched_setaffinity(0, sizeof oneCpu, &oneCpu);
            volatile uint64_t turns = 0;
            for (;;) turns = turns + 1;
        }
        if (pid > 0) busy.push_back(pid);
    }

    const auto options = misbehaving("spin", 300ms);
    const auto started = std::chrono::steady_clock::now();
    const DrawResult result = std::async(std::launch::async, [&] {
        // The helper started from this thread inherits its CPU.
        sched_setaffinity(0, sizeof oneCpu, &oneCpu);
        return draw(DrawnKind::EnhancedMetafile, kEmf, options);
    }).get();
    const auto took = std::chrono::steady_clock::now() - started;
    for (const pid_t pid : busy) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }

    ASSERT_EQ(busy.size(), 4u);
    EXPECT_EQ(result.outcome, Outcome::Timeout) << describe(result);
    EXPECT_GE(took, 2 * options.deadline) << "killed for the time it waited for the CPU";
    EXPECT_LT(took, kStarvedDeadlines * options.deadline + 2s);
    EXPECT_TRUE(noChildLeft());
}

TEST_F(ClientTest, CallsFromManyThreadsAtOnce) {
    const auto options = misbehaving("draw");
    std::vector<std::thread> threads;
    std::atomic<int> drawn{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 5; ++i) {
                std::vector<uint32_t> own;
                const DrawResult r = drawInHelper(DrawnKind::EnhancedMetafile, kEmf, [&](int w, int h) {
                    own.assign(size_t(w) * size_t(h), 0);
                    return own.data();
                }, options);
                if (r.outcome == Outcome::Drawn && own.size() == 48u * 24u && own[0] == 0xFF336699u) ++drawn;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(drawn.load(), 40);
    EXPECT_TRUE(noChildLeft());
}

TEST_F(ClientTest, NothingIsSentForAMetafileWithoutASizeOrAMissingHelper) {
    qfip::testing::EmfFile noSize;
    std::fill(std::begin(noSize.frame), std::end(noSize.frame), 0);
    std::fill(std::begin(noSize.bounds), std::end(noSize.bounds), 0);
    noSize.bounds[2] = 100000;
    EXPECT_EQ(draw(DrawnKind::EnhancedMetafile, noSize.bytes(), misbehaving("draw")).outcome, Outcome::NotValid);
    ClientOptions missing;
    missing.helperPath = "/nonexistent/quendral-render";
    const DrawResult r = draw(DrawnKind::Icon, kIcon, missing);
    EXPECT_EQ(r.outcome, Outcome::ExitCode);
    EXPECT_EQ(r.detail, 127);
    EXPECT_TRUE(noChildLeft());
}

#ifdef QFIP_RENDER_HELPER
// The install test runs this against the installed helper (QFIP_TEST_RENDER_HELPER),
// confined as it is when installed.
TEST_F(ClientTest, TheRealHelperDrawsAndRefuses) {
    ClientOptions options;
    const char* installed = std::getenv("QFIP_TEST_RENDER_HELPER");
    options.helperPath = installed ? installed : QFIP_RENDER_HELPER;
    DrawResult r = draw(DrawnKind::EnhancedMetafile, kEmf, options);
    ASSERT_EQ(r.outcome, Outcome::Drawn) << describe(r);
    EXPECT_EQ(pixels[size_t(12) * 48 + 10], 0xFFFF0000u);
    EXPECT_EQ(pixels[size_t(12) * 48 + 40], 0xFFFFFFFFu);
    r = draw(DrawnKind::Icon, kIcon, options);
    ASSERT_EQ(r.outcome, Outcome::Drawn) << describe(r);
    EXPECT_EQ(pixels, (std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}));
    std::vector<uint8_t> garbage = kEmf;
    for (size_t i = 108; i < garbage.size(); ++i) garbage[i] = uint8_t(0xA5 ^ i);
    EXPECT_EQ(draw(DrawnKind::EnhancedMetafile, garbage, options).outcome, Outcome::NotValid);

    // Text over the red half, in the fonts it may still read once confined.
    qfip::testing::EmfFile text;
    text.fontFace = u"DejaVu Sans";
    text.texts = {{2, 2, qfip::testing::utf16("Hi")}};
    r = draw(DrawnKind::EnhancedMetafile, text.bytes(), options);
    ASSERT_EQ(r.outcome, Outcome::Drawn) << describe(r);
    EXPECT_GT(std::count_if(pixels.begin(), pixels.end(), [](uint32_t p) { return (p >> 16 & 0xFF) < 0x40; }), 10);
    EXPECT_TRUE(noChildLeft());
}
#endif

TEST_F(ClientTest, TheNextHelperIsStartedAheadAndServesOnePictureOnly) {
    ClientOptions options = misbehaving("pid");
    options.spare = true;
    const auto drawPid = [&] {
        const DrawResult r = draw(DrawnKind::Icon, kIcon, options);
        EXPECT_EQ(r.outcome, Outcome::Drawn) << describe(r);
        return pixels.size() == 2 ? std::pair(pid_t(pixels[0]), int(pixels[1])) : std::pair(pid_t(0), 0);
    };
    // Waits up to 10 s for the spare to be started; null when none came.
    const auto spareHelper = [] {
        const auto until = std::chrono::steady_clock::now() + 10s;
        for (std::vector<pid_t> children;; std::this_thread::sleep_for(5ms)) {
            if ((children = childProcesses()).size() == 1) return children[0];
            if (std::chrono::steady_clock::now() > until) return pid_t(0);
        }
    };
    // Waits up to 10 s for a process to show the state a signal gives it: Z (or already
    // reaped) after SIGKILL, T after SIGSTOP.
    const auto inState = [](pid_t pid, char wanted) {
        const auto until = std::chrono::steady_clock::now() + 10s;
        for (;; std::this_thread::sleep_for(5ms)) {
            std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
            if (!stat) return wanted == 'Z';
            std::string line;
            std::getline(stat, line);
            const size_t close = line.rfind(')');
            if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == wanted) return true;
            if (std::chrono::steady_clock::now() > until) return false;
        }
    };
    const auto [first, firstWaited] = drawPid();  // none started yet: started for it
    const pid_t waiting = spareHelper();  // the spare, started once the first was done
    ASSERT_NE(waiting, 0);
    std::this_thread::sleep_for(400ms);  // the spare waits for its picture meanwhile
    ASSERT_EQ(childProcesses(), std::vector<pid_t>{waiting});
    const auto [second, secondWaited] = drawPid();
    EXPECT_EQ(second, waiting);
    EXPECT_NE(second, first);
    EXPECT_GE(secondWaited, 300);  // it was waiting for its picture before it was asked
    EXPECT_LT(firstWaited, 300);

    // A spare that has died or been stopped meanwhile is replaced at once: the picture
    // is drawn by a fresh helper long before its deadline.
    options = misbehaving("pid", 20s);
    options.spare = true;
    for (const auto& [signal, state] : {std::pair(SIGKILL, 'Z'), std::pair(SIGSTOP, 'T')}) {
        const pid_t spare = spareHelper();
        ASSERT_NE(spare, 0) << strsignal(signal);
        kill(spare, signal);
        ASSERT_TRUE(inState(spare, state)) << strsignal(signal);
        const auto started = std::chrono::steady_clock::now();
        const auto [next, nextWaited] = drawPid();
        EXPECT_LT(std::chrono::steady_clock::now() - started, 10s) << strsignal(signal);
        EXPECT_NE(next, spare) << strsignal(signal);
        EXPECT_NE(next, 0) << strsignal(signal);
    }
    EXPECT_TRUE(noHelperLeft());
    EXPECT_TRUE(childProcesses().empty());
}
