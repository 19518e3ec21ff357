#include "render/GdRaster.h"

#include <algorithm>
#include <cstdlib>

namespace {

using Wide = __int128;

Wide floorDiv(Wide a, Wide b) {  // b > 0
    const Wide q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}
Wide ceilDiv(Wide a, Wide b) { return -floorDiv(-a, b); }

// One pixel drawn with the paint: the hatch decides between colour, background and nothing.
inline void paintPixel(int& pixel, int64_t x, int64_t y, const PixelPaint& paint) {
    uint32_t colour = paint.colour;
    if (paint.hatch && !(paint.hatch[y & 7] >> (7 - (x & 7)) & 1)) {
        if (!paint.opaqueGaps) return;
        colour = paint.background;
    }
    pixel = int(rop::binary(paint.rop2, colour, uint32_t(pixel)));
}

void paintRun(gdImage& image, int64_t y, int64_t from, int64_t to, const PixelPaint& paint) {  // [from, to)
    int* row = image.tpixels[y];
    if (!paint.hatch && rop::binaryIgnoresPixel(paint.rop2)) {
        std::fill(row + from, row + to, int(rop::binary(paint.rop2, paint.colour, 0)));
        return;
    }
    for (int64_t x = from; x < to; ++x) paintPixel(row[x], x, y, paint);
}

}  // namespace

void fillPixels(const GdCanvas& canvas, int64_t left, int64_t top, int64_t right, int64_t bottom, const PixelPaint& paint) {
    if (!canvas.image || !canvas.image->trueColor) return;
    int** rows = canvas.image->tpixels;
    if (!paint.hatch && rop::binaryIgnoresPixel(paint.rop2)) {
        const int colour = int(rop::binary(paint.rop2, paint.colour, 0));
        forEachVisibleBox(canvas, left, top, right, bottom, [&](const qfip::Rect& box) {
            for (int64_t y = box.Top; y < box.Bottom; ++y) std::fill(rows[y] + box.Left, rows[y] + box.Right, colour);
        });
        return;
    }
    forEachVisibleBox(canvas, left, top, right, bottom, [&](const qfip::Rect& box) {
        for (int64_t y = box.Top; y < box.Bottom; ++y) paintRun(*canvas.image, y, box.Left, box.Right, paint);
    });
}

void drawPixelLine(const GdCanvas& canvas, int64_t x0, int64_t y0, int64_t x1, int64_t y1, const PixelPaint& paint,
                   LineStyle* style, bool lastPixel) {
    if (!canvas.image || !canvas.image->trueColor) return;
    gdImage& image = *canvas.image;
    // Pixel k (0 to `steps`) lies at major = m0 + ms * k and minor = n0 + ns * f(k), with
    // f(k) = floor((2 k dn + steps) / (2 steps)): the nearest row or column.
    const auto distance = [](int64_t a, int64_t b) { return a >= b ? Wide(a) - b : Wide(b) - a; };
    const bool alongX = distance(x1, x0) >= distance(y1, y0);
    const int64_t m0 = alongX ? x0 : y0, m1 = alongX ? x1 : y1, n0 = alongX ? y0 : x0, n1 = alongX ? y1 : x1;
    const Wide steps = m1 >= m0 ? Wide(m1) - m0 : Wide(m0) - m1;
    const Wide dn = n1 >= n0 ? Wide(n1) - n0 : Wide(n0) - n1;
    const int ms = m1 >= m0 ? 1 : -1, ns = n1 >= n0 ? 1 : -1;
    const Wide lastStep = lastPixel ? steps : steps - 1;
    uint64_t period = 0;
    if (style)
        for (uint32_t l : style->lengths) period += l;
    const bool plain = !style || period == 0;
    const bool fast = plain && !paint.hatch && rop::binaryIgnoresPixel(paint.rop2);
    const int fastColour = int(rop::binary(paint.rop2, paint.colour, 0));
    PixelPaint gap = paint;
    if (style) {
        gap.colour = style->gapColour;
        gap.hatch = nullptr;
    }
    forEachVisibleBox(canvas, std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1), [&](const qfip::Rect& box) {
        const int64_t mLow = alongX ? box.Left : box.Top, mHigh = (alongX ? box.Right : box.Bottom) - 1;
        const int64_t nLow = alongX ? box.Top : box.Left, nHigh = (alongX ? box.Bottom : box.Right) - 1;
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
        last = std::min(last, lastStep);
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
        if (fast) {  // a plain copy: the tight loop
            for (int64_t k = 0; k <= count; ++k) {
                if (alongX) {
                    image.tpixels[minor][major] = fastColour;
                } else {
                    image.tpixels[major][minor] = fastColour;
                }
                major += ms;
                rest += dnTwice;
                if (rest >= denom) {
                    rest -= denom;
                    minor += ns;
                }
            }
            return;
        }
        // Where pixel `first` falls in the dash pattern, then one pixel at a time.
        uint64_t dashAt = 0;
        size_t dash = 0;
        if (!plain) {
            dashAt = uint64_t((Wide(style->position) + first) % period);
            while (dashAt >= style->lengths[dash]) dashAt -= style->lengths[dash++];
        }
        for (int64_t k = 0; k <= count; ++k) {
            const int64_t x = alongX ? major : minor, y = alongX ? minor : major;
            int& pixel = image.tpixels[y][x];
            if (plain || dash % 2 == 0) {
                paintPixel(pixel, x, y, paint);
            } else if (style->opaqueGaps) {
                paintPixel(pixel, x, y, gap);
            }
            if (!plain && ++dashAt >= style->lengths[dash]) {
                dashAt = 0;
                dash = (dash + 1) % style->lengths.size();
            }
            major += ms;
            rest += dnTwice;
            if (rest >= denom) {
                rest -= denom;
                minor += ns;
            }
        }
    });
    if (style && period) style->position = uint64_t((Wide(style->position) + steps) % period);
}

void fillPolygon(const GdCanvas& canvas, const std::vector<std::vector<PixelPoint>>& rings, FillRule rule, const PixelPaint& paint) {
    if (!canvas.image || !canvas.image->trueColor) return;
    gdImage& image = *canvas.image;
    int64_t rowFrom = 0, rowTo = image.sy;
    if (canvas.clip) {
        const qfip::Rect bounds = canvas.clip->bounds();
        rowFrom = std::max<int64_t>(rowFrom, bounds.Top);
        rowTo = std::min<int64_t>(rowTo, bounds.Bottom);
    }
    forEachPolygonRow(rings, rule, rowFrom, rowTo, [&](int64_t y, const std::vector<PixelRun>& runs) {
        for (const PixelRun& run : runs) {
            if (run.right <= 0 || run.left >= image.sx) continue;
            forEachVisibleBox(canvas, run.left, y, run.right - 1, y, [&](const qfip::Rect& box) {
                paintRun(image, y, box.Left, box.Right, paint);
            });
        }
    });
}

void strokeWithNib(const GdCanvas& canvas, const std::vector<PixelPoint>& points, bool closed, int64_t width, int64_t height,
                   const PixelPaint& paint) {
    if (points.empty() || width < 1 || height < 1) return;
    const int64_t left = width / 2, right = width - left, up = height / 2, down = height - up;
    const auto nib = [&](const PixelPoint& p) {
        return std::vector<PixelPoint>{{p.x - left, p.y - up}, {p.x + right, p.y - up}, {p.x + right, p.y + down}, {p.x - left, p.y + down}};
    };
    // Each line swept by the nib: the convex hull of the nib at both ends (monotone chain),
    // counter-clockwise, so that the rings' union is what WINDING fills.
    std::vector<std::vector<PixelPoint>> rings;
    const size_t lines = points.size() == 1 ? 0 : closed ? points.size() : points.size() - 1;
    if (lines == 0) rings.push_back(nib(points[0]));
    for (size_t i = 0; i < lines; ++i) {
        std::vector<PixelPoint> corners = nib(points[i]);
        const std::vector<PixelPoint> end = nib(points[(i + 1) % points.size()]);
        corners.insert(corners.end(), end.begin(), end.end());
        std::sort(corners.begin(), corners.end(), [](const PixelPoint& a, const PixelPoint& b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
        const auto turn = [](const PixelPoint& o, const PixelPoint& a, const PixelPoint& b) {
            return Wide(a.x - o.x) * (b.y - o.y) - Wide(a.y - o.y) * (b.x - o.x);
        };
        std::vector<PixelPoint> hull;
        for (int pass = 0; pass < 2; ++pass) {
            const size_t start = hull.size();
            for (const PixelPoint& p : corners) {
                while (hull.size() >= start + 2 && turn(hull[hull.size() - 2], hull.back(), p) <= 0) hull.pop_back();
                hull.push_back(p);
            }
            hull.pop_back();
            std::reverse(corners.begin(), corners.end());
        }
        rings.push_back(std::move(hull));
    }
    fillPolygon(canvas, rings, FillRule::Winding, paint);
}
