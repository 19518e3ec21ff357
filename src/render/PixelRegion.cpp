#include "render/PixelRegion.h"

#include <algorithm>
#include <limits>

namespace qfip {

// Appends bands from the top, each joined to the one above when they touch and have the
// same runs. Past the runs allowed it keeps nothing but the bounds of what it is given.
class PixelRegion::Builder {
public:
    explicit Builder(size_t maxBoxes) : maxBoxes_(maxBoxes) {}

    void append(int32_t top, int32_t bottom, const Span* runs, size_t count) {
        if (count == 0 || top >= bottom) return;
        if (region_.isEmpty() && !over_) {
            bounds_ = Rect{runs[0].left, top, runs[count - 1].right, bottom};
        } else {
            bounds_.Left = std::min(bounds_.Left, runs[0].left);
            bounds_.Right = std::max(bounds_.Right, runs[count - 1].right);
            bounds_.Bottom = bottom;
        }
        if (over_) return;
        std::vector<Band>& bands = region_.bands_;
        std::vector<Span>& spans = region_.spans_;
        if (!bands.empty()) {
            Band& last = bands.back();
            if (last.bottom == top && last.count == count && std::equal(runs, runs + count, spans.begin() + last.first)) {
                last.bottom = bottom;
                return;
            }
        }
        if (spans.size() + count > maxBoxes_) {
            over_ = true;
            region_ = PixelRegion();
            return;
        }
        bands.push_back(Band{top, bottom, uint32_t(spans.size()), uint32_t(count)});
        spans.insert(spans.end(), runs, runs + count);
    }

    RegionOutcome finish() && { return over_ ? RegionOutcome{PixelRegion(), true, bounds_} : RegionOutcome{std::move(region_), false, bounds_}; }

private:
    size_t maxBoxes_;
    PixelRegion region_;
    bool over_ = false;
    Rect bounds_;
};

namespace {

bool inResult(PixelRegion::Op op, bool inA, bool inB) {
    switch (op) {
    case PixelRegion::Op::And: return inA && inB;
    case PixelRegion::Op::Or: return inA || inB;
    case PixelRegion::Op::Xor: return inA != inB;
    case PixelRegion::Op::Diff: return inA && !inB;
    }
    return false;
}

// A box that holds every result of combining regions of these bounds.
Rect holderOfBoth(const PixelRegion& a, const PixelRegion& b, PixelRegion::Op op) {
    const Rect p = a.bounds(), q = b.bounds();
    if (op == PixelRegion::Op::Diff) return p;
    if (op == PixelRegion::Op::And)
        return Rect{std::max(p.Left, q.Left), std::max(p.Top, q.Top), std::min(p.Right, q.Right), std::min(p.Bottom, q.Bottom)};
    if (a.isEmpty()) return q;
    if (b.isEmpty()) return p;
    return Rect{std::min(p.Left, q.Left), std::min(p.Top, q.Top), std::max(p.Right, q.Right), std::max(p.Bottom, q.Bottom)};
}

}  // namespace

Rect boundsOf(std::span<const Rect> rects) {
    Rect box;
    bool first = true;
    for (const Rect& r : rects) {
        if (r.isEmpty()) continue;
        box = first ? r
                    : Rect{std::min(box.Left, r.Left), std::min(box.Top, r.Top), std::max(box.Right, r.Right),
                           std::max(box.Bottom, r.Bottom)};
        first = false;
    }
    return box;
}

PixelRegion::PixelRegion(const Rect& box) {
    if (box.isEmpty()) return;
    bands_.push_back(Band{box.Top, box.Bottom, 0, 1});
    spans_.push_back(Span{box.Left, box.Right});
}

size_t PixelRegion::firstBandBelow(int32_t y) const {
    return size_t(std::upper_bound(bands_.begin(), bands_.end(), y, [](int32_t row, const Band& b) { return row < b.bottom; }) -
                  bands_.begin());
}

RegionOutcome PixelRegion::unionOf(std::span<const Rect> rects, const RegionLimits& limits) {
    std::vector<Rect> byTop;
    byTop.reserve(rects.size());
    for (const Rect& r : rects)
        if (!r.isEmpty()) byTop.push_back(r);
    if (byTop.empty()) return {};
    std::sort(byTop.begin(), byTop.end(), [](const Rect& a, const Rect& b) { return a.Top < b.Top; });
    std::vector<int32_t> rows;
    rows.reserve(2 * byTop.size());
    for (const Rect& r : byTop) {
        rows.push_back(r.Top);
        rows.push_back(r.Bottom);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());

    // A sweep down the rows: the rectangles that cover each band between two edges, their
    // columns merged into runs. Rectangles stacked to cover many bands each cost their
    // square; the work's limit ends that.
    Builder out(limits.maxBoxes);
    std::vector<Rect> active;
    std::vector<Span> columns, runs;
    size_t next = 0;
    uint64_t work = 0;
    for (size_t r = 0; r + 1 < rows.size(); ++r) {
        const int32_t top = rows[r], bottom = rows[r + 1];
        std::erase_if(active, [top](const Rect& b) { return b.Bottom <= top; });
        for (; next < byTop.size() && byTop[next].Top <= top; ++next) active.push_back(byTop[next]);
        work += active.size() + 1;
        if (work > limits.maxWork) return RegionOutcome{PixelRegion(), true, boundsOf(byTop)};
        columns.clear();
        for (const Rect& b : active) columns.push_back(Span{b.Left, b.Right});
        std::sort(columns.begin(), columns.end(), [](const Span& a, const Span& b) { return a.left < b.left; });
        runs.clear();
        for (const Span& c : columns) {
            if (!runs.empty() && c.left <= runs.back().right) {
                runs.back().right = std::max(runs.back().right, c.right);
            } else {
                runs.push_back(c);
            }
        }
        out.append(top, bottom, runs.data(), runs.size());
    }
    return std::move(out).finish();
}

namespace {

template <typename Span>
void combineRuns(const Span* a, size_t na, const Span* b, size_t nb, PixelRegion::Op op, std::vector<Span>& out) {
    using Op = PixelRegion::Op;
    if (nb == 0) {
        if (op != Op::And) out.insert(out.end(), a, a + na);
        return;
    }
    if (na == 0) {
        if (op == Op::Or || op == Op::Xor) out.insert(out.end(), b, b + nb);
        return;
    }
    // The runs' edges left to right: at each, whether the column is in each list and in the
    // result. A run ends only where the result changes, so touching pieces make one run.
    constexpr int64_t kPast = std::numeric_limits<int64_t>::max();
    size_t ia = 0, ib = 0;
    bool inA = false, inB = false, in = false;
    int32_t start = 0;
    while (ia < na || ib < nb) {
        const int64_t edgeA = ia < na ? (inA ? a[ia].right : a[ia].left) : kPast;
        const int64_t edgeB = ib < nb ? (inB ? b[ib].right : b[ib].left) : kPast;
        const int64_t x = std::min(edgeA, edgeB);
        if (edgeA == x) {
            if (inA) ++ia;
            inA = !inA;
        }
        if (edgeB == x) {
            if (inB) ++ib;
            inB = !inB;
        }
        const bool now = inResult(op, inA, inB);
        if (now == in) continue;
        if (now) start = int32_t(x);
        else out.push_back(Span{start, int32_t(x)});
        in = now;
    }
}

}  // namespace

RegionOutcome PixelRegion::combined(const PixelRegion& other, Op op, const RegionLimits& limits) const {
    // Walked a band of rows at a time, from one edge of either region to the next: within
    // one, neither changes.
    const std::vector<Band>& a = bands_;
    const std::vector<Band>& b = other.bands_;
    Builder out(limits.maxBoxes);
    std::vector<Span> runs;
    size_t i = 0, j = 0;
    uint64_t work = 0;
    constexpr int32_t kLast = std::numeric_limits<int32_t>::max();
    int32_t y = std::min(a.empty() ? kLast : a.front().top, b.empty() ? kLast : b.front().top);
    for (;;) {
        while (i < a.size() && a[i].bottom <= y) ++i;
        while (j < b.size() && b[j].bottom <= y) ++j;
        if (i == a.size() && j == b.size()) break;
        const bool inA = i < a.size() && a[i].top <= y, inB = j < b.size() && b[j].top <= y;
        int32_t next = kLast;
        if (i < a.size()) next = std::min(next, inA ? a[i].bottom : a[i].top);
        if (j < b.size()) next = std::min(next, inB ? b[j].bottom : b[j].top);
        const size_t na = inA ? a[i].count : 0, nb = inB ? b[j].count : 0;
        work += 1 + na + nb;
        if (work > limits.maxWork) return RegionOutcome{PixelRegion(), true, holderOfBoth(*this, other, op)};
        runs.clear();
        combineRuns(spans_.data() + (inA ? a[i].first : 0), na, other.spans_.data() + (inB ? b[j].first : 0), nb, op, runs);
        out.append(y, next, runs.data(), runs.size());
        y = next;
    }
    return std::move(out).finish();
}

PixelRegion PixelRegion::translated(int64_t dx, int64_t dy) const {
    // Any move of 2^33 or more takes every pixel past an end.
    constexpr int64_t kFar = int64_t(1) << 33;
    dx = std::clamp(dx, -kFar, kFar);
    dy = std::clamp(dy, -kFar, kFar);
    Builder out(std::numeric_limits<size_t>::max());
    std::vector<Span> runs;
    for (const Band& band : bands_) {
        runs.clear();
        for (uint32_t s = band.first; s < band.first + band.count; ++s) {
            const Span moved{clamp32(spans_[s].left + dx), clamp32(spans_[s].right + dx)};
            if (moved.left < moved.right) runs.push_back(moved);  // none squeezed flat at an end
        }
        out.append(clamp32(band.top + dy), clamp32(band.bottom + dy), runs.data(), runs.size());
    }
    return std::move(out).finish().region;
}

Rect PixelRegion::bounds() const {
    if (bands_.empty()) return {};
    Rect box{std::numeric_limits<int32_t>::max(), bands_.front().top, std::numeric_limits<int32_t>::min(), bands_.back().bottom};
    for (const Band& band : bands_) {
        box.Left = std::min(box.Left, spans_[band.first].left);
        box.Right = std::max(box.Right, spans_[band.first + band.count - 1].right);
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

std::vector<Rect> PixelRegion::boxes() const {
    std::vector<Rect> out;
    out.reserve(spans_.size());
    for (const Band& band : bands_)
        for (uint32_t s = band.first; s < band.first + band.count; ++s)
            out.push_back(Rect{spans_[s].left, band.top, spans_[s].right, band.bottom});
    return out;
}

}  // namespace qfip
