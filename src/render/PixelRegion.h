#pragma once

// A set of pixels made of rectangles, kept as GDI keeps a region: bands of rows, each with
// its runs of columns (both half-open); the bands top to bottom and apart, the runs of a
// band left to right and neither overlapping nor touching, two touching bands never with
// the same runs. The same pixels are always kept the same way, so two regions are equal
// when their pixels are.
// The clip regions of both metafile kinds are these: the rewriting of an enhanced
// metafile combines them as ExtSelectClipRgn does (EmfNormaliser.h), the playback of a
// placeable one follows its clipping records with them (WmfPlaybackState.h), and its
// drawing asks which boxes of a shape's bounds may be drawn on (forEachBox, contains).
// Standard library only.
//
// What an operation may cost is bounded by the limits it is given: the runs its result
// may hold, and its work (one for each band of rows it walks and each run or rectangle it
// looks at there). Past either it gives no region but says so, with a box that holds every
// pixel its result would have had; what then is the caller's to decide (the EMF rewriting
// clips to that box, less and never more; the WMF playback refuses the file).
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/Rect.h"

namespace qfip {

struct RegionLimits {
    size_t maxBoxes = 0;  // runs the result may hold
    size_t maxWork = 0;   // bands walked and runs (or rectangles) looked at by one operation
};

struct RegionOutcome;

class PixelRegion {
public:
    // GDI's combinations (RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF): the pixels in both, in
    // either, in one alone, in this one and not the other.
    enum class Op { And, Or, Xor, Diff };

    PixelRegion() = default;  // no pixels
    explicit PixelRegion(const Rect& box);

    // The union of any rectangles (overlapping or not, in any order; empty ones ignored).
    static RegionOutcome unionOf(std::span<const Rect> rects, const RegionLimits& limits);
    RegionOutcome combined(const PixelRegion& other, Op op, const RegionLimits& limits) const;
    // Moved by (dx, dy); what would pass an end of the 32-bit range is cut there. It never
    // holds more than it did.
    PixelRegion translated(int64_t dx, int64_t dy) const;

    bool isEmpty() const { return bands_.empty(); }
    Rect bounds() const;  // {} when empty
    size_t boxCount() const { return spans_.size(); }
    bool contains(int64_t x, int64_t y) const;

    // Calls draw(Rect) for each box of the region within `within`, cut to it: bands top to
    // bottom, runs left to right, none overlapping.
    template <typename Draw>
    void forEachBox(const Rect& within, Draw draw) const {
        for (size_t b = firstBandBelow(within.Top); b < bands_.size() && bands_[b].top < within.Bottom; ++b) {
            const Band& band = bands_[b];
            const int32_t top = band.top > within.Top ? band.top : within.Top;
            const int32_t bottom = band.bottom < within.Bottom ? band.bottom : within.Bottom;
            for (uint32_t s = band.first; s < band.first + band.count; ++s) {
                const Span& span = spans_[s];
                if (span.right <= within.Left) continue;
                if (span.left >= within.Right) break;
                draw(Rect{span.left > within.Left ? span.left : within.Left, top,
                          span.right < within.Right ? span.right : within.Right, bottom});
            }
        }
    }
    // All its boxes, in the order forEachBox gives them.
    std::vector<Rect> boxes() const;

    friend bool operator==(const PixelRegion&, const PixelRegion&) = default;

private:
    struct Span {
        int32_t left, right;
        friend bool operator==(const Span&, const Span&) = default;
    };
    struct Band {
        int32_t top, bottom;
        uint32_t first, count;  // its runs in spans_
        friend bool operator==(const Band&, const Band&) = default;
    };
    class Builder;

    // The first band whose bottom is below row y.
    size_t firstBandBelow(int32_t y) const;

    std::vector<Band> bands_;
    std::vector<Span> spans_;
};

// The box of the rectangles that are not empty ({} when none is).
Rect boundsOf(std::span<const Rect> rects);

// What a bounded operation gives.
struct RegionOutcome {
    PixelRegion region;       // the result, when it kept within its limits
    bool tooComplex = false;  // it did not: `region` is empty and `holder` stands for it
    Rect holder;              // a box holding every pixel of the result
};

}  // namespace qfip
