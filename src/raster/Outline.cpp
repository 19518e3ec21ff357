#include "raster/Outline.h"

#include <algorithm>

#include "common/Error.h"

namespace qfip {

namespace {

// A half-open box in 64 bits, so clipping extreme rectangles never overflows.
struct Box {
    int64_t left, top, right, bottom;
    bool isEmpty() const { return right <= left || bottom <= top; }
    Box clippedTo(const Box& c) const {
        return Box{std::max(left, c.left), std::max(top, c.top), std::min(right, c.right), std::min(bottom, c.bottom)};
    }
};

// The border ring of a non-empty rectangle as up to four disjoint strips: the top row,
// the bottom row (when the rectangle is taller than one row), and the left and right
// columns between them (the right one when it is wider than one column). Each ring pixel
// lies in exactly one strip.
int ringStrips(const Rect& r, Box strips[4]) {
    const int64_t l = r.Left, t = r.Top, rr = r.Right, b = r.Bottom;
    int n = 0;
    strips[n++] = Box{l, t, rr, t + 1};
    if (b - 1 > t) strips[n++] = Box{l, b - 1, rr, b};
    if (b - 2 > t) {
        strips[n++] = Box{l, t + 1, l + 1, b - 1};
        if (rr - 1 > l) strips[n++] = Box{rr - 1, t + 1, rr, b - 1};
    }
    return n;
}

// Inverts the dotted pixels ((x + y) even) of `strip` inside `clip`; `out` holds the
// clip's rows, `stride` pixels apart.
void xorDots(const Box& strip, const Box& clip, uint32_t* out, size_t stride) {
    const Box s = strip.clippedTo(clip);
    if (s.isEmpty()) return;
    for (int64_t y = s.top; y < s.bottom; ++y) {
        uint32_t* line = out + size_t(y - clip.top) * stride;
        for (int64_t x = s.left + ((s.left + y) & 1); x < s.right; x += 2) line[x - clip.left] ^= kOutlineXorMask;
    }
}

Rect toRect(const Box& b) { return Rect{int32_t(b.left), int32_t(b.top), int32_t(b.right), int32_t(b.bottom)}; }

}  // namespace

Rect composeOutlines(const Raster& picture, std::span<const Rect> outlines, const Rect& area, uint32_t* out,
                     size_t outStride) {
    const Box clip = Box{area.Left, area.Top, area.Right, area.Bottom}.clippedTo(
        Box{0, 0, picture.width(), picture.height()});
    if (clip.isEmpty()) return Rect{};

    for (int64_t y = clip.top; y < clip.bottom; ++y) {
        const uint32_t* in = picture.row(int32_t(y)) + clip.left;
        std::copy(in, in + (clip.right - clip.left), out + size_t(y - clip.top) * outStride);
    }
    for (const Rect& r : outlines) {
        if (r.isEmpty()) continue;
        Box strips[4];
        const int n = ringStrips(r, strips);
        for (int i = 0; i < n; ++i) xorDots(strips[i], clip, out, outStride);
    }
    return toRect(clip);
}

std::vector<Rect> outlineRepaintAreas(const Rect& rect, int32_t pictureWidth, int32_t pictureHeight) {
    std::vector<Rect> areas;
    if (rect.isEmpty()) return areas;
    const Box picture{0, 0, std::max(pictureWidth, 0), std::max(pictureHeight, 0)};
    Box strips[4];
    const int n = ringStrips(rect, strips);
    for (int i = 0; i < n; ++i) {
        const Box s = strips[i].clippedTo(picture);
        if (!s.isEmpty()) areas.push_back(toRect(s));
    }
    return areas;
}

void ShownPicture::setPicture(Picture picture) {
    picture_ = std::move(picture);
    outlines_.clear();
}

const Raster& ShownPicture::workingRaster(int32_t blankWidth, int32_t blankHeight) {
    if (!picture_) setPicture(Picture::bitmap(Raster::createWindow(blankWidth, blankHeight)));
    return picture_->raster();
}

std::vector<Rect> ShownPicture::toggleOutline(const Rect& rect) {
    if (!picture_ || !picture_->hasRaster()) throw Error(kNotABitmapMessage);
    if (rect.isEmpty()) return {};
    // Exclusive-or twice is no change, so a rectangle already in the set leaves it.
    const auto found = std::find(outlines_.begin(), outlines_.end(), rect);
    if (found != outlines_.end()) {
        outlines_.erase(found);
    } else {
        outlines_.push_back(rect);
    }
    const Raster& raster = picture_->raster();
    return outlineRepaintAreas(rect, raster.width(), raster.height());
}

Rect ShownPicture::compose(const Rect& area, uint32_t* out, size_t outStride) const {
    if (!picture_) throw Error(kNotABitmapMessage);
    return composeOutlines(picture_->raster(), outlines_, area, out, outStride);
}

}  // namespace qfip
