#include "render/PolygonSpans.h"

#include <algorithm>

namespace {

using Wide = __int128;

Wide floorDiv(Wide a, Wide b) {  // b > 0
    const Wide q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

// An edge that is not horizontal, from its upper end: it crosses the rows [top, bottom).
// At row y it crosses at x = topX + (y - top) * dx / dy; `ceil` is the first column on
// or right of the crossing, kept as ceil * dy - remainder = the crossing's numerator.
struct Edge {
    int64_t top, bottom;
    int64_t topX, dx, dy;  // dy > 0
    int winding;           // +1 going down the rows, -1 going up
    int64_t ceil = 0, remainder = 0;
    int64_t stepWhole = 0, stepRest = 0;  // dx = stepWhole * dy + stepRest, 0 <= stepRest < dy

    void startAt(int64_t y) {
        const Wide numerator = Wide(y - top) * dx;
        const Wide q = -floorDiv(-numerator, dy);
        ceil = int64_t(topX + q);
        remainder = int64_t(q * dy - numerator);
        stepWhole = int64_t(floorDiv(dx, dy));
        stepRest = dx - stepWhole * dy;
    }
    void nextRow() {
        ceil += stepWhole;
        remainder -= stepRest;
        if (remainder < 0) {
            remainder += dy;
            ++ceil;
        }
    }
};

struct Crossing {
    int64_t x;
    int winding;
};

}  // namespace

void forEachPolygonRow(const std::vector<std::vector<PixelPoint>>& rings, FillRule rule, int64_t rowFrom, int64_t rowTo,
                       const std::function<void(int64_t y, const std::vector<PixelRun>& runs)>& row) {
    std::vector<Edge> edges;
    for (const std::vector<PixelPoint>& ring : rings) {
        for (size_t i = 0; i < ring.size() && ring.size() >= 2; ++i) {
            const PixelPoint& a = ring[i];
            const PixelPoint& b = ring[(i + 1) % ring.size()];
            if (a.y == b.y) continue;
            const bool down = a.y < b.y;
            const PixelPoint& upper = down ? a : b;
            const PixelPoint& lower = down ? b : a;
            edges.push_back(Edge{upper.y, lower.y, upper.x, lower.x - upper.x, lower.y - upper.y, down ? 1 : -1});
        }
    }
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.top < b.top; });

    std::vector<Edge*> active;
    std::vector<Crossing> crossings;
    std::vector<PixelRun> runs;
    size_t next = 0;
    for (; next < edges.size() && edges[next].bottom <= rowFrom; ++next) {}
    int64_t y = rowFrom;
    while (y < rowTo) {
        // Edges that begin by this row join (those begun above rowFrom start there).
        for (size_t i = next; i < edges.size() && edges[i].top <= y; ++i) {
            if (edges[i].bottom > y) {
                edges[i].startAt(y);
                active.push_back(&edges[i]);
            }
            next = i + 1;
        }
        std::erase_if(active, [y](const Edge* e) { return e->bottom <= y; });
        if (active.empty()) {
            if (next >= edges.size()) break;
            y = std::max(y + 1, edges[next].top);  // no pixels before the next edge begins
            continue;
        }
        crossings.clear();
        for (const Edge* e : active) crossings.push_back(Crossing{e->ceil, e->winding});
        std::sort(crossings.begin(), crossings.end(), [](const Crossing& a, const Crossing& b) { return a.x < b.x; });
        runs.clear();
        int winding = 0;
        int64_t start = 0;
        for (const Crossing& c : crossings) {
            const bool insideBefore = rule == FillRule::Winding ? winding != 0 : (winding & 1) != 0;
            winding += c.winding;
            const bool insideAfter = rule == FillRule::Winding ? winding != 0 : (winding & 1) != 0;
            if (!insideBefore && insideAfter) start = c.x;
            if (insideBefore && !insideAfter && c.x > start) {
                if (!runs.empty() && runs.back().right >= start) {
                    runs.back().right = std::max(runs.back().right, c.x);
                } else {
                    runs.push_back(PixelRun{start, c.x});
                }
            }
        }
        if (!runs.empty()) row(y, runs);
        for (Edge* e : active) e->nextRow();
        ++y;
    }
}
