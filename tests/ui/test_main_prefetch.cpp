// The series with the next picture read ahead: what a step shows and logs is exactly what
// it would be without the prefetch, whatever happens to the files meanwhile.
#include <sys/mman.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <thread>

#include "raster/PicturePrefetch.h"
#include "support/RestrictedChild.h"
#include "support/MainFormTesting.h"
#include "ui/PictureImage.h"

using namespace qfip::testing;

namespace {

class PrefetchSeriesTest : public MainFormTest {
protected:
    PictureImage* image1() { return control<PictureImage>("Image1"); }
    uint32_t shownPixel() { return image1()->shown().picture()->raster().at(0, 0) & 0xFF; }
    void waitForPrefetch() { form->prefetch().waitUntilIdle(); }
    std::string pathOf(const char* name) { return QDir(folder.path()).filePath(name).toStdString(); }
    // Writes `bytes` over the start of the file through a shared mapping, as a program that
    // edits a file in memory does.
    static bool overwriteThroughMapping(const std::string& path, const std::vector<uint8_t>& bytes) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return false;
        void* map = ::mmap(nullptr, bytes.size(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        ::close(fd);
        if (map == MAP_FAILED) return false;
        std::memcpy(map, bytes.data(), bytes.size());
        return ::munmap(map, bytes.size()) == 0;
    }
};

// Whatever happens to the next file once it has been read ahead, the step after it logs the
// file's current content, or meets the failure a load of it meets now (dropped: the same
// picture is measured again under its label). Run as an ordinary user, so that a file
// made unreadable can't be read.
TEST_F(PrefetchSeriesTest, EveryStepLogsTheFilesCurrentContent) {
    if (::geteuid() == 0) {
        EXPECT_EQ(rerunCurrentTestAsNobody(), 0);
        return;
    }
    using namespace std::chrono_literals;
    namespace fs = std::filesystem;
    const std::vector<uint8_t> other = greyPicture(100, 80, 40, kSquare, 77);  // same size as b.bmp
    const std::string b = pathOf("b.bmp");
    const auto run = [](const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; };
    const struct {
        const char* name;
        std::function<void()> change;
        const char* secondLine;  // what the step after the change logs
    } cases[] = {
        {"unchanged", [] {}, "    b       150       40\n"},
        {"replaced by rename", [&] {
             write("new.bmp", other);
             fs::rename(pathOf("new.bmp"), b);
         }, "    b       77       40\n"},
        {"rewritten in place, same size", [&] {
             const auto before = fs::last_write_time(b);
             write("b.bmp", other);
             fs::last_write_time(b, before + 1s);
         }, "    b       77       40\n"},
        // The rows y >= 40 of a bottom-up picture are in the first half: 11 of the window's
        // 22 rows hold the square, the others and the background are black.
        {"truncated to half", [&] { fs::resize_file(b, fs::file_size(b) / 2); }, "    b       75       0\n"},
        {"truncated before its pixels", [&] { fs::resize_file(b, 54); }, "    b       0       0\n"},
        {"truncated to zero", [&] { fs::resize_file(b, 0); }, "    b       255       255\n"},
        {"deleted", [&] { fs::remove(b); }, "    a       200       40\n"},
        {"made unreadable", [&] { fs::permissions(b, fs::perms::none); }, "    a       200       40\n"},
        {"another picture of the same size", [&] { write("b.bmp", other); }, "    b       77       40\n"},
        {"copied over with cp -p", [&] {
             write("other.bmp", other);
             fs::last_write_time(pathOf("other.bmp"), fs::last_write_time(b));
             run("cp -p other.bmp b.bmp");
         }, "    b       77       40\n"},
        {"rewritten, then touch -r", [&] {
             write("reference.bmp", {});
             fs::last_write_time(pathOf("reference.bmp"), fs::last_write_time(b));
             write("b.bmp", other);
             run("touch -r reference.bmp b.bmp");
         }, "    b       77       40\n"},
        {"rewritten through a mapping", [&] { ASSERT_TRUE(overwriteThroughMapping(b, other)); },
         "    b       77       40\n"},
    };
    for (const auto& c : cases) {
        memo()->clear();
        fs::remove(b);  // whatever the row before left of it
        write("b.bmp", greyPicture(100, 80, 40, kSquare, 150));
        open({"a.bmp", "b.bmp"});
        form->ToolButton4Click();  // a finished series before this one waits for Restart
        point();
        waitForPrefetch();  // b.bmp is read ahead
        c.change();
        click();
        click();
        EXPECT_EQ(log(), QString("    a       200       40\n") + c.secondLine) << c.name;
        EXPECT_TRUE(host.errors.isEmpty()) << c.name;
    }
}

TEST_F(PrefetchSeriesTest, FileDeletedAfterItWasReadAheadFailsTheAdvanceSilently) {
    open({"a.bmp", "b.bmp", "c.bmp"});
    point();
    waitForPrefetch();
    std::filesystem::remove(pathOf("b.bmp"));
    click();
    // The advance failed and was dropped: still picture 1, measured again under its label.
    EXPECT_EQ(form->CurrentImage, 1);
    EXPECT_EQ(form->statusText(0), "   Image 1 of 3");
    EXPECT_TRUE(host.errors.isEmpty());
    EXPECT_TRUE(host.messages.isEmpty());
    click();
    EXPECT_EQ(log(), "    a       200       40\n    a       200       40\n");
    // Once the file is back, the same step reaches it.
    write("b.bmp", greyPicture(100, 80, 40, kSquare, 150));
    click();
    EXPECT_EQ(form->CurrentImage, 2);
    click();
    EXPECT_EQ(log(), "    a       200       40\n    a       200       40\n    a       200       40\n    b       150       40\n");
}

TEST_F(PrefetchSeriesTest, PrefetchedPicturesAreTheSeriesPictures) {
    open({"a.bmp", "b.bmp", "c.bmp"});
    point();
    for (const uint32_t square : {150u, 100u}) {
        waitForPrefetch();
        click();
        EXPECT_EQ(image1()->shown().picture()->raster().at(kX, kY) & 0xFF, square);
    }
    click();
    EXPECT_EQ(log(), "    a       200       40\n    b       150       40\n    c       100       40\n");
    EXPECT_EQ(host.messages, QStringList{"It was the last line."});
}

// A read of the old series held half-way while a new series is opened, or the series
// restarted.
TEST_F(PrefetchSeriesTest, OpenOrRestartDuringAPrefetchNeverShowsTheOldSeries) {
    write("d.bmp", greyPicture(100, 80, 90, kSquare, 10));
    write("e.bmp", greyPicture(100, 80, 91, kSquare, 11));
    for (const bool restart : {false, true}) {
        memo()->clear();
        std::promise<void> started;
        std::atomic<bool> startedOnce{false}, release{false}, sawStop{false};
        form->prefetch().setLoader([&](const std::string& path, const qfip::LoadOptions& options, qfip::LoadInfo* info) {
            if (!startedOnce.exchange(true)) started.set_value();
            while (!release && !options.stop.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (options.stop.stop_requested()) sawStop = true;
            return qfip::loadPicture(path, options, info);
        });
        open({"a.bmp", "b.bmp"});
        form->ToolButton4Click();  // a finished series before this one waits for Restart
        point();
        started.get_future().wait();  // b.bmp is being read for position 2
        if (restart) {
            form->ToolButton4Click();
        } else {
            open({"d.bmp", "e.bmp"});
        }
        EXPECT_TRUE(sawStop);
        release = true;
        waitForPrefetch();
        EXPECT_EQ(shownPixel(), restart ? 40u : 90u);
        click();
        EXPECT_EQ(shownPixel(), restart ? 40u : 91u);  // b.bmp or e.bmp, as the series says
        click();
        EXPECT_EQ(log(), restart ? "    a       200       40\n    b       150       40\n"
                                 : "    d       10       90\n    e       11       91\n");
    }
    form->prefetch().setLoader([](const std::string& path, const qfip::LoadOptions& options, qfip::LoadInfo* info) {
        return qfip::loadPicture(path, options, info);
    });
}

TEST_F(PrefetchSeriesTest, ClosingTheWindowStopsTheRead) {
    std::promise<void> started;
    std::atomic<bool> sawStop{false};
    form->prefetch().setLoader([&](const std::string& path, const qfip::LoadOptions& options, qfip::LoadInfo* info) {
        started.set_value();
        while (!options.stop.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sawStop = true;
        return qfip::loadPicture(path, options, info);
    });
    open({"a.bmp", "b.bmp"});
    started.get_future().wait();
    form->show();
    form->close();
    EXPECT_TRUE(sawStop);
    EXPECT_TRUE(form->prefetch().idle());
}

// A step whose picture is still being read ahead waits for that read instead of
// stopping it and reading the file again.
TEST_F(PrefetchSeriesTest, AStepWaitsForTheReadOfItsPicture) {
    std::promise<void> started;
    std::atomic<int> reads{0};
    std::atomic<bool> release{false}, sawStop{false};
    form->prefetch().setLoader([&](const std::string& path, const qfip::LoadOptions& options, qfip::LoadInfo* info) {
        if (reads++ == 0) started.set_value();
        while (!release && !options.stop.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (options.stop.stop_requested()) sawStop = true;
        return qfip::loadPicture(path, options, info);
    });
    open({"a.bmp", "b.bmp", "c.bmp"});
    point();
    started.get_future().wait();  // b.bmp is being read ahead
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the step has begun to wait
        release = true;
    });
    click();
    releaser.join();
    EXPECT_FALSE(sawStop);
    EXPECT_EQ(image1()->shown().picture()->raster().at(kX, kY) & 0xFF, 150u);
    waitForPrefetch();
    EXPECT_EQ(reads, 2);  // b.bmp, then c.bmp ahead of the next step
    click();
    click();
    EXPECT_EQ(log(), "    a       200       40\n    b       150       40\n    c       100       40\n");
    form->prefetch().setLoader([](const std::string& path, const qfip::LoadOptions& options, qfip::LoadInfo* info) {
        return qfip::loadPicture(path, options, info);
    });
}

TEST_F(PrefetchSeriesTest, WithoutPrefetchTheSeriesIsTheSame) {
    form->setPrefetchEnabled(false);
    open({"a.bmp", "b.bmp", "c.bmp"});
    point();
    EXPECT_TRUE(form->prefetch().idle());
    click();
    click();
    click();
    EXPECT_EQ(log(), "    a       200       40\n    b       150       40\n    c       100       40\n");
}

}  // namespace
