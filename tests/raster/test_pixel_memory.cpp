// The memory of large rasters: the block of one released is reused by the next raster of
// exactly its size, one block at most is kept, and small rasters are never kept.
#include <gtest/gtest.h>

#include "raster/PixelMemory.h"
#include "raster/Raster.h"

namespace qfip {
namespace {

// The same memory whatever the machine has free: 1 GiB, of which a block may take 256 MiB.
class PixelMemory : public ::testing::Test {
protected:
    void SetUp() override {
        releaseKeptPixelBlock();
        setMemoryGauge([] { return std::optional<uint64_t>(uint64_t(1) << 30); });
    }
    void TearDown() override {
        setMemoryGauge(nullptr);
        releaseKeptPixelBlock();
    }
};

TEST_F(PixelMemory, LargeBlockIsReusedForTheSameSizeOnly) {
    const uint32_t* first = nullptr;
    {
        Raster a = Raster::uninitialised(2048, 2048);  // 16 MiB
        first = a.data();
    }
    ASSERT_TRUE(pixelBlockKept());
    {
        Raster b = Raster::uninitialised(2048, 2048);
        EXPECT_EQ(b.data(), first);
        EXPECT_FALSE(pixelBlockKept());
    }
    // Another size: the kept block is released, not kept beside the new one.
    Raster c = Raster::uninitialised(2048, 2049);
    EXPECT_FALSE(pixelBlockKept());
    // A window raster made from a kept block is white all the same.
    c = Raster();
    const Raster white = Raster::createWindow(2048, 2049);
    EXPECT_EQ(white.at(2047, 2048), Raster::kWhite);
    EXPECT_EQ(white.at(0, 0), Raster::kWhite);
}

TEST_F(PixelMemory, SmallRastersAreNotKept) {
    { Raster big = Raster::uninitialised(4096, 4096); }
    { Raster small = Raster::uninitialised(100, 100); }
    EXPECT_TRUE(pixelBlockKept());  // the small one did not take or replace it
    Raster again = Raster::uninitialised(4096, 4096);
    EXPECT_FALSE(pixelBlockKept());
}

TEST_F(PixelMemory, BlocksOverAQuarterOfTheAvailableMemoryAreNotKept) {
    { Raster quarter = Raster::uninitialised(8192, 8192); }  // 256 MiB
    EXPECT_TRUE(pixelBlockKept());
    releaseKeptPixelBlock();
    { Raster more = Raster::uninitialised(8192, 8193); }
    EXPECT_FALSE(pixelBlockKept());
    setMemoryGauge([] { return std::optional<uint64_t>(); });  // the system doesn't say
    { Raster unknown = Raster::uninitialised(2048, 2048); }
    EXPECT_FALSE(pixelBlockKept());
}

}  // namespace
}  // namespace qfip
