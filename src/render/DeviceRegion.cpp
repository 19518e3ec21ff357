#include "render/DeviceRegion.h"

#include <algorithm>

namespace qfip::emf {

namespace {

// The spans where op(in a, in b) holds; both lists sorted and disjoint.
std::vector<int32_t> combineSpans(const std::vector<int32_t>& a, const std::vector<int32_t>& b, DeviceRegion::Op op) {
    std::vector<int32_t> edges;
    edges.reserve(a.size() + b.size());
    std::merge(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(edges));
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    const auto inside = [](const std::vector<int32_t>& spans, int32_t x) {
        // x lies in [left, right) of a span when an odd number of edges are at or below it.
        return (std::upper_bound(spans.begin(), spans.end(), x) - spans.begin()) % 2 == 1;
    };
    std::vector<int32_t> out;
    for (size_t i = 0; i + 1 < edges.size(); ++i) {
        const bool inA = inside(a, edges[i]), inB = inside(b, edges[i]);
        bool in = false;
        switch (op) {
        case DeviceRegion::Op::And: in = inA && inB; break;
        case DeviceRegion::Op::Or: in = inA || inB; break;
        case DeviceRegion::Op::Xor: in = inA != inB; break;
        case DeviceRegion::Op::Diff: in = inA && !inB; break;
        }
        if (!in) continue;
        if (!out.empty() && out.back() == edges[i]) out.back() = edges[i + 1];  // touching: one span
        else out.insert(out.end(), {edges[i], edges[i + 1]});
    }
    return out;
}

}  // namespace

DeviceRegion::DeviceRegion(const DeviceRect& rect) {
    if (!rect.isEmpty()) bands_.push_back({rect.top, rect.bottom, {rect.left, rect.right}});
}

DeviceRegion DeviceRegion::unionOf(std::span<const DeviceRect> rects) {
    std::vector<DeviceRect> kept;
    DeviceRect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (const DeviceRect& r : rects) {
        if (r.isEmpty()) continue;
        kept.push_back(r);
        box = {std::min(box.left, r.left), std::min(box.top, r.top), std::max(box.right, r.right),
               std::max(box.bottom, r.bottom)};
    }
    if (kept.size() > kMaxRects) return DeviceRegion(box);
    std::sort(kept.begin(), kept.end(), [](const DeviceRect& p, const DeviceRect& q) { return p.top < q.top; });
    std::vector<int32_t> ys;
    for (const DeviceRect& r : kept) ys.insert(ys.end(), {r.top, r.bottom});
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    // Swept from the top with the rectangles that cover each band; GDI's own region data
    // is banded already, so that set is small. Rectangles stacked to cover many bands
    // each would cost their square: past a budget the bounding box stands in.
    size_t work = 0, next = 0;
    std::vector<DeviceRect> active;
    DeviceRegion region;
    for (size_t i = 0; i + 1 < ys.size(); ++i) {
        while (next < kept.size() && kept[next].top <= ys[i]) active.push_back(kept[next++]);
        std::erase_if(active, [&](const DeviceRect& r) { return r.bottom <= ys[i]; });
        work += active.size();
        if (work > kMaxWork) return DeviceRegion(box);
        std::vector<std::pair<int32_t, int32_t>> covering;
        for (const DeviceRect& r : active) covering.emplace_back(r.left, r.right);
        std::sort(covering.begin(), covering.end());
        std::vector<int32_t> spans;
        for (const auto& [left, right] : covering) {
            if (!spans.empty() && left <= spans.back()) spans.back() = std::max(spans.back(), right);
            else spans.insert(spans.end(), {left, right});
        }
        region.append(ys[i], ys[i + 1], std::move(spans));
    }
    return region.boundedOrBox();
}

void DeviceRegion::append(int32_t top, int32_t bottom, std::vector<int32_t> spans) {
    if (spans.empty() || top >= bottom) return;
    if (!bands_.empty() && bands_.back().bottom == top && bands_.back().spans == spans) {
        bands_.back().bottom = bottom;
        return;
    }
    bands_.push_back({top, bottom, std::move(spans)});
}

DeviceRegion DeviceRegion::combined(const DeviceRegion& other, Op op) const {
    std::vector<int32_t> ys;
    for (const DeviceRegion* r : {this, &other})
        for (const Band& b : r->bands_) ys.insert(ys.end(), {b.top, b.bottom});
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    static const std::vector<int32_t> kNone;
    // The spans of a region at row y, its bands walked once from the top.
    const auto spansAt = [](const std::vector<Band>& bands, size_t& at, int32_t y) -> const std::vector<int32_t>& {
        while (at < bands.size() && bands[at].bottom <= y) ++at;
        return at < bands.size() && bands[at].top <= y ? bands[at].spans : kNone;
    };
    DeviceRegion out;
    size_t inThis = 0, inOther = 0, work = 0;
    for (size_t i = 0; i + 1 < ys.size(); ++i) {
        const std::vector<int32_t>& a = spansAt(bands_, inThis, ys[i]);
        const std::vector<int32_t>& b = spansAt(other.bands_, inOther, ys[i]);
        work += a.size() + b.size();
        // Many bands against many spans: the box that holds every possible result.
        if (work > kMaxWork) return DeviceRegion(op == Op::Diff ? bounds() : boxOfBoth(other, op));
        out.append(ys[i], ys[i + 1], combineSpans(a, b, op));
    }
    return out.boundedOrBox();
}

DeviceRegion DeviceRegion::translated(int32_t dx, int32_t dy) const {
    const auto move = [](int32_t v, int32_t by) {
        return int32_t(std::clamp<int64_t>(int64_t(v) + by, INT32_MIN, INT32_MAX));
    };
    DeviceRegion out;
    for (const Band& b : bands_) {
        std::vector<int32_t> spans;
        for (size_t i = 0; i + 1 < b.spans.size(); i += 2) {
            const int32_t left = move(b.spans[i], dx), right = move(b.spans[i + 1], dx);
            if (left < right) spans.insert(spans.end(), {left, right});  // none squeezed flat at the end of int
        }
        out.append(move(b.top, dy), move(b.bottom, dy), std::move(spans));
    }
    return out;
}

DeviceRect DeviceRegion::bounds() const {
    if (bands_.empty()) return {};
    DeviceRect box{INT32_MAX, bands_.front().top, INT32_MIN, bands_.back().bottom};
    for (const Band& b : bands_) {
        box.left = std::min(box.left, b.spans.front());
        box.right = std::max(box.right, b.spans.back());
    }
    return box;
}

std::vector<DeviceRect> DeviceRegion::rects() const {
    std::vector<DeviceRect> out;
    for (const Band& b : bands_)
        for (size_t i = 0; i + 1 < b.spans.size(); i += 2) out.push_back({b.spans[i], b.top, b.spans[i + 1], b.bottom});
    return out;
}

size_t DeviceRegion::rectCount() const {
    size_t n = 0;
    for (const Band& b : bands_) n += b.spans.size() / 2;
    return n;
}

DeviceRect DeviceRegion::boxOfBoth(const DeviceRegion& other, Op op) const {
    const DeviceRect p = bounds(), q = other.bounds();
    if (op == Op::And) return {std::max(p.left, q.left), std::max(p.top, q.top), std::min(p.right, q.right), std::min(p.bottom, q.bottom)};
    if (isEmpty()) return q;
    if (other.isEmpty()) return p;
    return {std::min(p.left, q.left), std::min(p.top, q.top), std::max(p.right, q.right), std::max(p.bottom, q.bottom)};
}

DeviceRegion DeviceRegion::boundedOrBox() const { return rectCount() > kMaxRects ? DeviceRegion(bounds()) : *this; }

}  // namespace qfip::emf
