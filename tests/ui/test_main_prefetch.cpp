// The series with the next picture read ahead: what a step shows and logs is exactly what
// it would be without the prefetch, whatever happens to the files meanwhile.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "raster/PicturePrefetch.h"
#include "support/MainFormTesting.h"
#include "ui/PicturePane.h"

using namespace qfip::testing;

namespace {

class PrefetchSeriesTest : public MainFormTest {
protected:
    PictureImage* image1() { return control<PictureImage>("Image1"); }
    uint32_t shownPixel() { return image1()->shown().picture()->raster().at(0, 0) & 0xFF; }
    void waitForPrefetch() { form->prefetch().waitUntilIdle(); }
    std::string pathOf(const char* name) { return QDir(folder.path()).filePath(name).toStdString(); }
};

TEST_F(PrefetchSeriesTest, FileChangedAfterItWasReadAheadIsReadAgain) {
    using namespace std::chrono_literals;
    const struct {
        const char* name;
        bool rename;
    } cases[] = {{"rewritten in place", false}, {"replaced by another file", true}};
    for (const auto& c : cases) {
        memo()->clear();
        open({"a.bmp", "b.bmp"});
        form->ToolButton4Click();  // a finished series before this one waits for Restart
        point();
        waitForPrefetch();  // b.bmp (square 150) is read ahead
        const std::vector<uint8_t> changed = greyPicture(100, 80, 40, kSquare, 77);
        if (c.rename) {
            write("new.bmp", changed);
            std::filesystem::rename(pathOf("new.bmp"), pathOf("b.bmp"));
        } else {
            const auto before = std::filesystem::last_write_time(pathOf("b.bmp"));
            write("b.bmp", changed);  // same size
            std::filesystem::last_write_time(pathOf("b.bmp"), before + 1s);
        }
        click();
        click();
        EXPECT_EQ(log(), "    a       200       40\n    b       77       40\n") << c.name;
        write("b.bmp", greyPicture(100, 80, 40, kSquare, 150));
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
