#include "render/PixelRegion.h"

#include <algorithm>
#include <limits>

namespace {

int32_t clamp32(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

PixelRegion::PixelRegion(const PixelBox& box) {
    if (box.empty()) return;
    const Span span{box.left, box.right};
    appendBand(box.top, box.bottom, &span, 1);
}

size_t PixelRegion::firstBandBelow(int32_t y) const {
    return size_t(std::upper_bound(bands_.begin(), bands_.end(), y, [](int32_t row, const Band& b) { return row < b.bottom; }) -
                  bands_.begin());
}

void PixelRegion::appendBand(int32_t top, int32_t bottom, const Span* spans, size_t count) {
    if (count == 0 || top >= bottom) return;
    if (!bands_.empty()) {
        Band& last = bands_.back();
        if (last.bottom == top && last.count == count && std::equal(spans, spans + count, spans_.begin() + last.first)) {
            last.bottom = bottom;
            return;
        }
    }
    if (spans_.size() + count > kMaxSpans) throw RegionTooComplex();
    bands_.push_back(Band{top, bottom, uint32_t(spans_.size()), uint32_t(count)});
    spans_.insert(spans_.end(), spans, spans + count);
}

template <typename Change>
void PixelRegion::rebuild(int32_t cutTop, int32_t cutBottom, Change change) {
    std::vector<Band> oldBands;
    std::vector<Span> oldSpans;
    oldBands.swap(bands_);
    oldSpans.swap(spans_);
    std::vector<Span> changed;
    for (const Band& band : oldBands) {
        const Span* runs = oldSpans.data() + band.first;
        // The band's rows above, inside and below [cutTop, cutBottom).
        const int32_t pieces[4] = {band.top, std::clamp(cutTop, band.top, band.bottom),
                                   std::clamp(cutBottom, band.top, band.bottom), band.bottom};
        for (int p = 0; p < 3; ++p) {
            if (pieces[p] >= pieces[p + 1]) continue;
            changed.clear();
            change(p == 1, runs, size_t(band.count), changed);
            appendBand(pieces[p], pieces[p + 1], changed.data(), changed.size());
        }
    }
}

void PixelRegion::intersect(const PixelBox& box) {
    if (box.empty()) {
        bands_.clear();
        spans_.clear();
        return;
    }
    rebuild(box.top, box.bottom, [&](bool inside, const Span* runs, size_t count, std::vector<Span>& out) {
        if (!inside) return;
        for (size_t i = 0; i < count; ++i) {
            const Span s{std::max(runs[i].left, box.left), std::min(runs[i].right, box.right)};
            if (s.left < s.right) out.push_back(s);
        }
    });
}

void PixelRegion::subtract(const PixelBox& box) {
    if (box.empty() || empty()) return;
    rebuild(box.top, box.bottom, [&](bool inside, const Span* runs, size_t count, std::vector<Span>& out) {
        for (size_t i = 0; i < count; ++i) {
            const Span s = runs[i];
            if (!inside || s.right <= box.left || s.left >= box.right) {
                out.push_back(s);
                continue;
            }
            if (s.left < box.left) out.push_back(Span{s.left, box.left});
            if (s.right > box.right) out.push_back(Span{box.right, s.right});
        }
    });
}

void PixelRegion::offset(int64_t dx, int64_t dy, const PixelBox& limit) {
    std::vector<PixelBox> moved;
    moved.reserve(spans_.size());
    forEachBox(bounds(), [&](const PixelBox& b) {
        moved.push_back(PixelBox{clamp32(int64_t(b.left) + dx), clamp32(int64_t(b.top) + dy), clamp32(int64_t(b.right) + dx),
                                 clamp32(int64_t(b.bottom) + dy)});
    });
    bands_.clear();
    spans_.clear();
    // The boxes stay disjoint and banded: moved whole, rows keep their order.
    std::vector<Span> runs;
    for (size_t i = 0; i < moved.size();) {
        const int32_t top = moved[i].top, bottom = moved[i].bottom;
        runs.clear();
        for (; i < moved.size() && moved[i].top == top && moved[i].bottom == bottom; ++i)
            if (moved[i].left < moved[i].right) runs.push_back(Span{moved[i].left, moved[i].right});
        appendBand(top, bottom, runs.data(), runs.size());
    }
    intersect(limit);
}

PixelBox PixelRegion::bounds() const {
    if (bands_.empty()) return {};
    PixelBox box{std::numeric_limits<int32_t>::max(), bands_.front().top, std::numeric_limits<int32_t>::min(), bands_.back().bottom};
    for (const Band& band : bands_) {
        box.left = std::min(box.left, spans_[band.first].left);
        box.right = std::max(box.right, spans_[band.first + band.count - 1].right);
    }
    return box;
}

bool PixelRegion::contains(int64_t x, int64_t y) const {
    if (y < std::numeric_limits<int32_t>::min() || y > std::numeric_limits<int32_t>::max()) return false;
    const size_t b = firstBandBelow(int32_t(y));
    if (b >= bands_.size() || bands_[b].top > y) return false;
    const Span* first = spans_.data() + bands_[b].first;
    const Span* last = first + bands_[b].count;
    const Span* s = std::upper_bound(first, last, x, [](int64_t column, const Span& run) { return column < run.right; });
    return s != last && s->left <= x;
}

std::vector<PixelBox> PixelRegion::boxes() const {
    std::vector<PixelBox> out;
    out.reserve(spans_.size());
    forEachBox(bounds(), [&](const PixelBox& b) { out.push_back(b); });
    return out;
}

PixelRegion PixelRegion::unionOf(const std::vector<PixelBox>& boxes) {
    std::vector<PixelBox> byTop;
    byTop.reserve(boxes.size());
    for (const PixelBox& b : boxes)
        if (!b.empty()) byTop.push_back(b);
    PixelRegion region;
    if (byTop.empty()) return region;
    std::sort(byTop.begin(), byTop.end(), [](const PixelBox& a, const PixelBox& b) { return a.top < b.top; });
    std::vector<int32_t> rows;
    rows.reserve(2 * byTop.size());
    for (const PixelBox& b : byTop) {
        rows.push_back(b.top);
        rows.push_back(b.bottom);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());

    // A sweep down the rows: the boxes that cover each slab between two edges, their
    // columns merged into runs.
    std::vector<PixelBox> active;
    std::vector<Span> columns, runs;
    size_t next = 0, work = 0;
    for (size_t r = 0; r + 1 < rows.size(); ++r) {
        const int32_t top = rows[r], bottom = rows[r + 1];
        std::erase_if(active, [top](const PixelBox& b) { return b.bottom <= top; });
        for (; next < byTop.size() && byTop[next].top <= top; ++next) active.push_back(byTop[next]);
        work += active.size() + 1;
        if (work > kMaxUnionWork) throw RegionTooComplex();
        columns.clear();
        for (const PixelBox& b : active) columns.push_back(Span{b.left, b.right});
        std::sort(columns.begin(), columns.end(), [](const Span& a, const Span& b) { return a.left < b.left; });
        runs.clear();
        for (const Span& c : columns) {
            if (!runs.empty() && c.left <= runs.back().right) {
                runs.back().right = std::max(runs.back().right, c.right);
            } else {
                runs.push_back(c);
            }
        }
        region.appendBand(top, bottom, runs.data(), runs.size());
    }
    return region;
}
