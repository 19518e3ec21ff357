// Reading ahead: a picture is handed out only for its key and path, once finished, and
// while its file is unchanged; cancelling stops a read half-way and releases everything.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include "common/Error.h"
#include "raster/PicturePrefetch.h"
#include "support/BmpWriter.h"

namespace qfip {
namespace {

namespace fs = std::filesystem;

class PrefetchTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qfip_prefetch_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        path_ = write("b.bmp", testing::bmp24Uniform(40, 30, {100, 100, 100}));
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = (dir_ / name).string();
        testing::writeFile(path, bytes);
        return path;
    }
    static uint32_t firstPixel(const std::optional<Picture>& p) { return p->raster().at(0, 0); }

    fs::path dir_;
    std::string path_;
    PicturePrefetch prefetch_;
};

constexpr PrefetchKey kKey{1, 2};

TEST_F(PrefetchTest, FinishedPictureIsTakenOnceForItsKeyAndPath) {
    prefetch_.start(path_, kKey);
    prefetch_.waitUntilIdle();
    const std::optional<Picture> taken = prefetch_.take(path_, kKey);
    ASSERT_TRUE(taken);
    EXPECT_EQ(firstPixel(taken), 0xFF646464u);
    EXPECT_FALSE(prefetch_.take(path_, kKey));  // used up
}

TEST_F(PrefetchTest, AnotherKeyOrPathGetsNothing) {
    const std::string other = write("c.bmp", testing::bmp24Uniform(40, 30, {1, 1, 1}));
    const struct {
        const char* name;
        std::string path;
        PrefetchKey key;
    } cases[] = {
        {"another series", path_, {2, 2}},
        {"another position", path_, {1, 3}},
        {"another file", other, kKey},
    };
    for (const auto& c : cases) {
        prefetch_.start(path_, kKey);
        prefetch_.waitUntilIdle();
        EXPECT_FALSE(prefetch_.take(c.path, c.key)) << c.name;
        EXPECT_FALSE(prefetch_.take(path_, kKey)) << c.name << ": the mismatch used it up";
    }
}

TEST_F(PrefetchTest, ChangedOrMissingFileGetsNothing) {
    using namespace std::chrono_literals;
    const std::vector<uint8_t> other = testing::bmp24Uniform(40, 30, {7, 7, 7});
    const std::vector<uint8_t> bigger = testing::bmp24Uniform(41, 30, {7, 7, 7});
    const struct {
        const char* name;
        std::function<void()> change;
    } cases[] = {
        {"replaced by rename (another inode)", [&] {
             write("new.bmp", other);
             fs::rename(dir_ / "new.bmp", path_);
         }},
        {"rewritten in place, same size", [&] {
             const auto before = fs::last_write_time(path_);
             testing::writeFile(path_, other);
             fs::last_write_time(path_, before + 1s);  // a clock tick coarser than the write
         }},
        {"rewritten in place, other size", [&] { testing::writeFile(path_, bigger); }},
        {"only touched", [&] { fs::last_write_time(path_, fs::last_write_time(path_) + 1s); }},
        {"deleted", [&] { fs::remove(path_); }},
    };
    for (const auto& c : cases) {
        write("b.bmp", testing::bmp24Uniform(40, 30, {100, 100, 100}));
        prefetch_.start(path_, kKey);
        prefetch_.waitUntilIdle();
        c.change();
        EXPECT_FALSE(prefetch_.take(path_, kKey)) << c.name;
    }
}

TEST_F(PrefetchTest, FailedReadGetsNothingSoTheCallerMeetsTheFailureItself) {
    const std::string bad = write("bad.bmp", {'X', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    prefetch_.start(bad, kKey);
    prefetch_.waitUntilIdle();
    EXPECT_FALSE(prefetch_.take(bad, kKey));
    prefetch_.start((dir_ / "missing.bmp").string(), kKey);
    prefetch_.waitUntilIdle();
    EXPECT_FALSE(prefetch_.take((dir_ / "missing.bmp").string(), kKey));
}

// A loader held half-way until the test lets it go, as a big picture would be.
class HeldLoader {
public:
    PicturePrefetch::Loader loader() {
        return [this](const std::string& path, const LoadOptions& options, LoadInfo* info) {
            started.set_value();
            while (!released && !options.stop.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            sawStop = options.stop.stop_requested();
            if (sawStop) throw LoadAbandoned{};
            return loadPicture(path, options, info);
        };
    }
    std::promise<void> started;
    std::atomic<bool> released{false};
    std::atomic<bool> sawStop{false};
};

TEST_F(PrefetchTest, UnfinishedReadOfAnotherPictureIsStopped) {
    const struct {
        const char* name;
        std::string path;
        PrefetchKey key;
    } cases[] = {
        {"another position", path_, {1, 3}},
        {"another series", path_, {2, 2}},
        {"another file", (dir_ / "c.bmp").string(), kKey},
    };
    for (const auto& c : cases) {
        HeldLoader held;
        prefetch_.setLoader(held.loader());
        prefetch_.start(path_, kKey);
        held.started.get_future().wait();
        EXPECT_FALSE(prefetch_.idle()) << c.name;
        EXPECT_FALSE(prefetch_.take(c.path, c.key)) << c.name;
        EXPECT_TRUE(held.sawStop) << c.name;
        EXPECT_TRUE(prefetch_.idle()) << c.name;
    }
}

// The read of the very picture asked for is waited for, whatever the file became
// meanwhile: what is handed out is the file's content when the read opened it, and only
// while the file is still that.
TEST_F(PrefetchTest, UnfinishedReadOfThisPictureIsWaitedFor) {
    for (const bool changedMeanwhile : {false, true}) {
        write("b.bmp", testing::bmp24Uniform(40, 30, {100, 100, 100}));
        HeldLoader held;
        prefetch_.setLoader(held.loader());
        prefetch_.start(path_, kKey);
        held.started.get_future().wait();
        std::future<std::optional<Picture>> taken =
            std::async(std::launch::async, [&] { return prefetch_.take(path_, kKey); });
        EXPECT_EQ(taken.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
        if (changedMeanwhile) write("b.bmp", testing::bmp24Uniform(40, 30, {9, 9, 9}));
        held.released = true;
        const std::optional<Picture> picture = taken.get();
        EXPECT_FALSE(held.sawStop);
        ASSERT_TRUE(picture) << changedMeanwhile;
        EXPECT_EQ(firstPixel(picture), changedMeanwhile ? 0xFF090909u : 0xFF646464u);
        EXPECT_FALSE(prefetch_.take(path_, kKey));  // used up
    }
}

TEST_F(PrefetchTest, FileChangedAfterTheWaitedForReadGetsNothing) {
    HeldLoader held;
    prefetch_.setLoader([&](const std::string& path, const LoadOptions& options, LoadInfo* info) {
        Picture picture = loadPicture(path, options, info);
        held.started.set_value();
        while (!held.released) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return picture;
    });
    prefetch_.start(path_, kKey);
    held.started.get_future().wait();  // read, not yet handed over
    std::future<std::optional<Picture>> taken = std::async(std::launch::async, [&] { return prefetch_.take(path_, kKey); });
    write("new.bmp", testing::bmp24Uniform(40, 30, {9, 9, 9}));
    fs::rename(dir_ / "new.bmp", path_);
    held.released = true;
    EXPECT_FALSE(taken.get());
}

TEST_F(PrefetchTest, CancelAndANewStartStopTheReadUnderWay) {
    for (const bool restart : {false, true}) {
        HeldLoader held;
        prefetch_.setLoader(held.loader());
        prefetch_.start(path_, kKey);
        held.started.get_future().wait();
        if (restart) {
            prefetch_.setLoader([](const std::string& path, const LoadOptions& options, LoadInfo* info) {
                return loadPicture(path, options, info);
            });
            prefetch_.start(path_, {1, 3});
        } else {
            prefetch_.cancel();
        }
        EXPECT_TRUE(held.sawStop);
        prefetch_.waitUntilIdle();
        EXPECT_FALSE(prefetch_.take(path_, kKey));
    }
}

TEST_F(PrefetchTest, RealReadOfALargePictureStopsWhenCancelled) {
    const std::string big = write("big.bmp", testing::bmp24Uniform(2000, 2000, {5, 5, 5}));
    std::atomic<bool> stopped{false};
    prefetch_.setLoader([&](const std::string& path, const LoadOptions& options, LoadInfo* info) {
        try {
            return loadPicture(path, options, info);
        } catch (const LoadAbandoned&) {
            stopped = true;
            throw;
        }
    });
    for (int attempt = 0; attempt < 50 && !stopped; ++attempt) {
        prefetch_.start(big, kKey);
        std::this_thread::sleep_for(std::chrono::microseconds(200 * attempt));
        prefetch_.cancel();
    }
    EXPECT_TRUE(stopped) << "no read was ever caught half-way";
}

TEST_F(PrefetchTest, ReleasedPicturesAreFreedByTheWorkerOrByCancel) {
    const auto released = [&] {
        Picture p = loadPicture(path_);
        std::weak_ptr<const Raster> raster = p.sharedRaster();
        prefetch_.release(std::move(p));
        return raster;
    };
    const auto freedSoon = [](const std::weak_ptr<const Raster>& raster) {
        for (int i = 0; i < 2000 && !raster.expired(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return raster.expired();
    };
    EXPECT_TRUE(freedSoon([&] {
        auto r = released();
        prefetch_.releaseNow();
        return r;
    }()));
    EXPECT_TRUE(freedSoon([&] {
        auto r = released();
        prefetch_.start(path_, kKey);  // freed before the read starts
        return r;
    }()));
    prefetch_.waitUntilIdle();
    const std::weak_ptr<const Raster> cancelled = released();
    prefetch_.cancel();
    EXPECT_TRUE(cancelled.expired());  // at once
}

TEST(PrefetchMemory, AQuarterOfTheAvailableMemoryAtMost) {
    const struct {
        int32_t width, height;
        std::optional<uint64_t> available;
        bool fits;
    } cases[] = {
        {1024, 1024, uint64_t(16) << 20, true},       // 4 MiB of 16 MiB
        {1024, 1025, uint64_t(16) << 20, false},
        {16384, 16384, uint64_t(4) << 30, true},      // 1 GiB of 4 GiB
        {16384, 16384, (uint64_t(4) << 30) - 1, false},
        {10, 10, std::nullopt, false},                // unknown: not read ahead
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PicturePrefetch::fitsInMemory(c.width, c.height, c.available), c.fits) << c.width << "x" << c.height;
    }
    const std::optional<uint64_t> available = availableMemory();
    ASSERT_TRUE(available);
    EXPECT_GT(*available, 0u);
}

}  // namespace
}  // namespace qfip
