// The memory of large rasters: the block of one released is reused by the next raster of
// exactly its size, one block at most is kept, and small rasters are never kept.
#include <gtest/gtest.h>

#include "raster/Raster.h"

namespace qfip {
namespace {

TEST(PixelMemory, LargeBlockIsReusedForTheSameSizeOnly) {
    const uint32_t* first = nullptr;
    {
        Raster a = Raster::uninitialised(2048, 2048);  // 16 MiB
        first = a.data();
    }
    ASSERT_TRUE(pixelBlockKept()) << "this machine has less than 64 MiB available";
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

TEST(PixelMemory, SmallRastersAreNotKept) {
    { Raster big = Raster::uninitialised(4096, 4096); }
    { Raster small = Raster::uninitialised(100, 100); }
    EXPECT_TRUE(pixelBlockKept());  // the small one did not take or replace it
    Raster again = Raster::uninitialised(4096, 4096);
    EXPECT_FALSE(pixelBlockKept());
}

}  // namespace
}  // namespace qfip
