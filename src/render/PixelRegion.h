#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

// A set of pixels made of rectangles, as GDI keeps a clip region: bands of rows, each
// with its sorted, disjoint runs of columns (both half-open). The drawing code asks it
// which boxes of a primitive's bounding box may be drawn on; the clipping records of a
// placeable metafile change it (intersect, exclude, offset, select a region object).
// Every operation walks the region once; a region that would hold more than
// kMaxSpans runs, or a union whose sweep would take more than kMaxUnionWork steps,
// throws RegionTooComplex instead of growing without bound.
struct PixelBox {
    int32_t left = 0, top = 0, right = 0, bottom = 0;  // [left, right) x [top, bottom)
    bool empty() const { return left >= right || top >= bottom; }
    friend bool operator==(const PixelBox&, const PixelBox&) = default;
};

class RegionTooComplex : public std::runtime_error {
public:
    RegionTooComplex() : std::runtime_error("clip region too complex") {}
};

class PixelRegion {
public:
    static constexpr size_t kMaxSpans = size_t(1) << 16;
    static constexpr size_t kMaxUnionWork = size_t(1) << 24;

    PixelRegion() = default;  // no pixels
    explicit PixelRegion(const PixelBox& box);
    // The union of any boxes (overlapping or not, in any order).
    static PixelRegion unionOf(const std::vector<PixelBox>& boxes);

    bool empty() const { return bands_.empty(); }
    PixelBox bounds() const;
    size_t boxCount() const { return spans_.size(); }
    bool contains(int64_t x, int64_t y) const;

    void intersect(const PixelBox& box);
    void subtract(const PixelBox& box);
    // Moved by (dx, dy), then kept within `limit` (what falls outside is dropped).
    void offset(int64_t dx, int64_t dy, const PixelBox& limit);

    // Calls draw(PixelBox) for each disjoint box of the region within `within`, cut to it.
    template <typename Draw>
    void forEachBox(const PixelBox& within, Draw draw) const {
        for (size_t b = firstBandBelow(within.top); b < bands_.size() && bands_[b].top < within.bottom; ++b) {
            const Band& band = bands_[b];
            const int32_t top = band.top > within.top ? band.top : within.top;
            const int32_t bottom = band.bottom < within.bottom ? band.bottom : within.bottom;
            for (uint32_t s = band.first; s < band.first + band.count; ++s) {
                const Span& span = spans_[s];
                if (span.right <= within.left) continue;
                if (span.left >= within.right) break;
                draw(PixelBox{span.left > within.left ? span.left : within.left, top,
                              span.right < within.right ? span.right : within.right, bottom});
            }
        }
    }
    std::vector<PixelBox> boxes() const;

    friend bool operator==(const PixelRegion& a, const PixelRegion& b) { return a.boxes() == b.boxes(); }

private:
    struct Span {
        int32_t left, right;
        friend bool operator==(const Span&, const Span&) = default;
    };
    struct Band {
        int32_t top, bottom;
        uint32_t first, count;  // its runs in spans_
    };

    // The first band whose bottom is below row y (bands are sorted and disjoint).
    size_t firstBandBelow(int32_t y) const;
    // Appends a band of `spans` (sorted, disjoint), joined to the last one when they touch
    // and their runs are the same.
    void appendBand(int32_t top, int32_t bottom, const Span* spans, size_t count);
    // Rebuilt band by band: `change(top, bottom, in, out)` gives the runs of the rows
    // [top, bottom) from their old runs; rows are split at `cuts` first.
    template <typename Change>
    void rebuild(int32_t cutTop, int32_t cutBottom, Change change);

    std::vector<Band> bands_;
    std::vector<Span> spans_;
};
