// A thread waiting for work under way takes a share of it: the worker's picture is the
// same, and the worker's failures stay the worker's.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "raster/BmpReader.h"
#include "raster/SharedWork.h"
#include "support/BmpWriter.h"

namespace qfip {
namespace {

TEST(SharedWorkTest, HelperReturnsAtTheEndAndMeetsNoFailure) {
    SharedWork shared;
    std::future<void> helper = std::async(std::launch::async, [&] { shared.helpUntilFinished(); });
    {
        const std::function<void()> failing = [] { throw std::runtime_error("the worker's to report"); };
        const SharedWork::Offer offer(&shared, failing);
    }
    shared.finish();
    EXPECT_NO_THROW(helper.get());
    // Once finished, a helper has nothing to wait for.
    EXPECT_EQ(std::async(std::launch::async, [&] { shared.helpUntilFinished(); }).wait_for(std::chrono::seconds(10)),
              std::future_status::ready);
}

// Bytes in memory whose reads, from any thread but the helper, wait until the helper has
// read (up to a limit): the helper surely takes bands of the picture.
class HelperFirstSource final : public ByteSource {
public:
    explicit HelperFirstSource(std::span<const uint8_t> bytes) : memory_(bytes) {}
    uint64_t size() const override { return memory_.size(); }
    std::span<const uint8_t> read(uint64_t offset, size_t length, uint8_t* scratch) override {
        // Headers are read before any band is offered.
        if (offset >= 1024) {
            std::unique_lock lock(mutex_);
            if (std::this_thread::get_id() == helper) {
                helperRead_ = true;
                changed_.notify_all();
            } else {
                changed_.wait_for(lock, std::chrono::seconds(20), [this] { return helperRead_; });
            }
        }
        return memory_.read(offset, length, scratch);
    }
    std::thread::id helper;
    bool helped() {
        std::lock_guard lock(mutex_);
        return helperRead_;
    }

private:
    MemorySource memory_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool helperRead_ = false;
};

TEST(SharedWorkTest, HelpedDecodeGivesThePictureItself) {
    const int w = 700, h = 600;  // 1.2 MiB of pixel data: read in bands
    std::vector<testing::Rgb> pixels(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pixels[size_t(y) * w + x] = {uint8_t(x), uint8_t(y), uint8_t(x ^ y)};
    const std::vector<uint8_t> bytes = testing::bmp24(w, h, pixels);

    HelperFirstSource source(bytes);
    SharedWork shared;
    std::promise<std::thread::id> helperId;
    std::future<void> helper = std::async(std::launch::async, [&] {
        helperId.set_value(std::this_thread::get_id());
        shared.helpUntilFinished();
    });
    source.helper = helperId.get_future().get();
    BmpDecoder decoder(source, Raster::kMaxPixels, 64 << 10);
    const Raster raster = decoder.decode({}, &shared);
    shared.finish();
    helper.get();
    EXPECT_TRUE(source.helped());
    ASSERT_EQ(raster.width(), w);
    ASSERT_EQ(raster.height(), h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(raster.at(x, y), 0xFF000000u | uint32_t(x & 0xFF) << 16 | uint32_t(y & 0xFF) << 8 | uint32_t((x ^ y) & 0xFF))
                << x << "," << y;
}

}  // namespace
}  // namespace qfip
