#include "render/GdRaster.h"

#include <algorithm>
#include <cstdlib>

namespace {

struct Box {
    int64_t left, top, right, bottom;  // inclusive
};

// Calls `draw` with each part of the bitmap that may be drawn on: the clip rectangles
// (disjoint, as the device's region gives them) within the bitmap, or the bitmap.
template <typename Draw>
void forEachVisibleBox(const gdImage& image, Draw draw) {
    const Box whole{0, 0, int64_t(image.sx) - 1, int64_t(image.sy) - 1};
    const gdClipSet* clip = image.clip;
    if (!clip || clip->count <= 0) {
        draw(whole);
        return;
    }
    for (int i = 0; i < clip->count; ++i) {
        const gdClipRectangle& r = clip->list[i];
        const Box box{std::max<int64_t>(r.x_min, 0), std::max<int64_t>(r.y_min, 0), std::min<int64_t>(r.x_max, whole.right),
                      std::min<int64_t>(r.y_max, whole.bottom)};
        if (box.left <= box.right && box.top <= box.bottom) draw(box);
    }
}

using Wide = __int128;

Wide floorDiv(Wide a, Wide b) {  // b > 0
    const Wide q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}
Wide ceilDiv(Wide a, Wide b) { return -floorDiv(-a, b); }

}  // namespace

void fillPixels(gdImage& image, int64_t left, int64_t top, int64_t right, int64_t bottom, int colour) {
    if (!image.trueColor) return;
    forEachVisibleBox(image, [&](const Box& box) {
        const int64_t x0 = std::max(left, box.left), x1 = std::min(right, box.right);
        const int64_t y0 = std::max(top, box.top), y1 = std::min(bottom, box.bottom);
        for (int64_t y = y0; y <= y1 && x0 <= x1; ++y) std::fill(image.tpixels[y] + x0, image.tpixels[y] + x1 + 1, colour);
    });
}

void drawPixelLine(gdImage& image, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int colour) {
    if (!image.trueColor) return;
    // Pixel k (0 to `steps`) lies at major = m0 + ms * k and minor = n0 + ns * f(k), with
    // f(k) = floor((2 k dn + steps) / (2 steps)): the nearest row or column.
    const auto distance = [](int64_t a, int64_t b) { return a >= b ? Wide(a) - b : Wide(b) - a; };
    const bool alongX = distance(x1, x0) >= distance(y1, y0);
    const int64_t m0 = alongX ? x0 : y0, m1 = alongX ? x1 : y1, n0 = alongX ? y0 : x0, n1 = alongX ? y1 : x1;
    const Wide steps = m1 >= m0 ? Wide(m1) - m0 : Wide(m0) - m1;
    const Wide dn = n1 >= n0 ? Wide(n1) - n0 : Wide(n0) - n1;
    const int ms = m1 >= m0 ? 1 : -1, ns = n1 >= n0 ? 1 : -1;
    forEachVisibleBox(image, [&](const Box& box) {
        const int64_t mLow = alongX ? box.left : box.top, mHigh = alongX ? box.right : box.bottom;
        const int64_t nLow = alongX ? box.top : box.left, nHigh = alongX ? box.bottom : box.right;
        // The steps whose major coordinate is inside the box ...
        Wide first = ms > 0 ? Wide(mLow) - m0 : Wide(m0) - mHigh;
        Wide last = ms > 0 ? Wide(mHigh) - m0 : Wide(m0) - mLow;
        // ... and whose minor one is: f(k) within [a, b].
        const Wide a = ns > 0 ? Wide(nLow) - n0 : Wide(n0) - nHigh;
        const Wide b = ns > 0 ? Wide(nHigh) - n0 : Wide(n0) - nLow;
        if (dn == 0 || steps == 0) {
            if (a > 0 || b < 0) return;
        } else {
            first = std::max(first, ceilDiv((2 * a - 1) * steps, 2 * dn));
            last = std::min(last, ceilDiv((2 * b + 1) * steps, 2 * dn) - 1);
        }
        first = std::max<Wide>(first, 0);
        last = std::min(last, steps);
        if (first > last) return;
        // f(first) and its remainder, then one step at a time.
        const Wide denominator = steps == 0 ? 1 : 2 * steps;
        Wide numerator = 2 * first * dn + steps;
        int64_t f = int64_t(floorDiv(numerator, denominator));
        Wide remainder = numerator - Wide(f) * denominator;
        const int64_t count = int64_t(last - first);
        int64_t major = int64_t(m0 + ms * first), minor = n0 + ns * f;
        const int64_t dnTwice = int64_t(2 * dn), denom = int64_t(denominator);
        int64_t rest = int64_t(remainder);
        for (int64_t k = 0; k <= count; ++k) {
            if (alongX) {
                image.tpixels[minor][major] = colour;
            } else {
                image.tpixels[major][minor] = colour;
            }
            major += ms;
            rest += dnTwice;
            if (rest >= denom) {
                rest -= denom;
                minor += ns;
            }
        }
    });
}
