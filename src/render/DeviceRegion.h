#pragma once

// A GDI clipping region in device pixels: a set of pixels made of rectangles (right and
// bottom exclusive), kept as horizontal bands of disjoint spans as GDI keeps its regions,
// so that the set operations of ExtSelectClipRgn (and, or, xor, diff) are exact.
// Standard library only. A region never grows past kMaxRects rectangles, nor does one
// operation look at more than kMaxWork spans: a combination that would is replaced by a
// box that holds its result (it clips less, never more).
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qfip::emf {

struct DeviceRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool isEmpty() const { return right <= left || bottom <= top; }
    friend bool operator==(const DeviceRect&, const DeviceRect&) = default;
};

class DeviceRegion {
public:
    static constexpr size_t kMaxRects = 16384;
    // The most spans one operation looks at; a hostile region costs no more.
    static constexpr size_t kMaxWork = size_t(1) << 22;

    enum class Op { And, Or, Xor, Diff };

    DeviceRegion() = default;
    explicit DeviceRegion(const DeviceRect& rect);
    // The union of the rectangles (empty ones ignored); more than kMaxRects give their
    // bounding box.
    static DeviceRegion unionOf(std::span<const DeviceRect> rects);

    DeviceRegion combined(const DeviceRegion& other, Op op) const;
    DeviceRegion translated(int32_t dx, int32_t dy) const;

    bool isEmpty() const { return bands_.empty(); }
    DeviceRect bounds() const;
    // Its rectangles: bands top to bottom, spans left to right, none overlapping.
    std::vector<DeviceRect> rects() const;
    size_t rectCount() const;
    friend bool operator==(const DeviceRegion&, const DeviceRegion&) = default;

private:
    struct Band {
        int32_t top = 0, bottom = 0;
        std::vector<int32_t> spans;  // left, right, left, right ... sorted, disjoint, not touching
        friend bool operator==(const Band&, const Band&) = default;
    };
    void append(int32_t top, int32_t bottom, std::vector<int32_t> spans);
    DeviceRegion boundedOrBox() const;
    DeviceRect boxOfBoth(const DeviceRegion& other, Op op) const;

    std::vector<Band> bands_;  // top to bottom, not overlapping, touching ones differ
};

}  // namespace qfip::emf
