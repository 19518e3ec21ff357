#pragma once

#include <cstdint>
#include <functional>
#include <vector>

// The pixels a polygon fills, as GDI decides them: the polygon's corners are whole pixel
// coordinates, each ring is closed, and pixel (x, y) is inside when the point (x, y) is,
// with the points on a left or top edge inside and those on a right or bottom edge
// outside (a rectangle's corners (L, T) and (R, B) fill columns L to R - 1 and rows T to
// B - 1). Under ALTERNATE a point is inside when a ray from it crosses the rings an odd
// number of times; under WINDING when they wind around it at all (the middle of a
// pentagram: twice, filled).
// The rows are walked edge by edge (each crossing moves by a fixed step from one row to
// the next), never pixel by pixel, so a polygon far larger than the picture costs only
// the rows asked for.
struct PixelPoint {
    int64_t x = 0, y = 0;  // within +-2^40
};

enum class FillRule { Alternate, Winding };

struct PixelRun {
    int64_t left, right;  // [left, right)
};

// Calls row(y, runs) for each row y in [rowFrom, rowTo) that has pixels inside, with the
// row's runs sorted and disjoint.
void forEachPolygonRow(const std::vector<std::vector<PixelPoint>>& rings, FillRule rule, int64_t rowFrom, int64_t rowTo,
                       const std::function<void(int64_t y, const std::vector<PixelRun>& runs)>& row);
