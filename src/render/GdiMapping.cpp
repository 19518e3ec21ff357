#include "render/GdiMapping.h"

#include <algorithm>
#include <cmath>

#include "common/Rect.h"

namespace qfip::emf {

Affine Affine::after(const Affine& first) const {
    return {a * first.a + c * first.b,     b * first.a + d * first.b,     a * first.c + c * first.d,
            b * first.c + d * first.d,     a * first.e + c * first.f + e, b * first.e + d * first.f + f};
}

std::optional<Affine> Affine::inverse() const {
    const double det = a * d - b * c;
    if (!std::isfinite(det) || det == 0) return std::nullopt;
    const Affine inv{d / det, -b / det, -c / det, a / det, (c * f - d * e) / det, (b * e - a * f) / det};
    if (!isUsable(inv)) return std::nullopt;
    return inv;
}

bool isUsable(const Affine& t) {
    for (double v : {t.a, t.b, t.c, t.d, t.e, t.f})
        if (!std::isfinite(v)) return false;
    const double det = t.a * t.d - t.b * t.c;
    return std::isfinite(det) && det != 0;
}

namespace {

// GDI's MulDiv-style rounding of a scaled extent.
int32_t scaled(int32_t value, int32_t numerator, int32_t denominator) {
    return clamp32(int64_t(std::llround(double(value) * numerator / denominator)));
}

}  // namespace

void PageMapping::setMapMode(uint32_t mode) {
    if (mode < MM_TEXT || mode > MM_ANISOTROPIC) return;
    if (mode == mode_ && freeMode()) return;
    const int64_t mmX = device_.millimetres.x, mmY = device_.millimetres.y;
    const IntPair devicePixels{device_.pixels.x, -device_.pixels.y};  // y up in the fixed modes
    const auto fixed = [&](int64_t perMmTimes254) {
        windowExtent_ = {clamp32(mmX * perMmTimes254 / 254), clamp32(mmY * perMmTimes254 / 254)};
        viewportExtent_ = devicePixels;
    };
    switch (mode) {
    case MM_TEXT:
        windowExtent_ = viewportExtent_ = {1, 1};
        break;
    case MM_LOMETRIC:
    case MM_ISOTROPIC: fixed(2540); break;  // 0.1 mm
    case MM_HIMETRIC: fixed(25400); break;  // 0.01 mm
    case MM_LOENGLISH: fixed(1000); break;  // 0.01 inch
    case MM_HIENGLISH: fixed(10000); break; // 0.001 inch
    case MM_TWIPS: fixed(14400); break;     // 1/1440 inch
    default: break;                         // MM_ANISOTROPIC keeps the extents
    }
    mode_ = mode;
}

void PageMapping::setWindowExtent(int32_t x, int32_t y) {
    if (!freeMode() || x == 0 || y == 0) return;
    windowExtent_ = {x, y};
    if (mode_ == MM_ISOTROPIC) fixIsotropic();
}

void PageMapping::setViewportExtent(int32_t x, int32_t y) {
    if (!freeMode() || x == 0 || y == 0) return;
    viewportExtent_ = {x, y};
    if (mode_ == MM_ISOTROPIC) fixIsotropic();
}

void PageMapping::scaleWindowExtent(int32_t xNum, int32_t xDenom, int32_t yNum, int32_t yDenom) {
    if (!freeMode() || xDenom == 0 || yDenom == 0) return;
    setWindowExtent(scaled(windowExtent_.x, xNum, xDenom), scaled(windowExtent_.y, yNum, yDenom));
}

void PageMapping::scaleViewportExtent(int32_t xNum, int32_t xDenom, int32_t yNum, int32_t yDenom) {
    if (!freeMode() || xDenom == 0 || yDenom == 0) return;
    setViewportExtent(scaled(viewportExtent_.x, xNum, xDenom), scaled(viewportExtent_.y, yNum, yDenom));
}

void PageMapping::fixIsotropic() {
    // Millimetres per unit on each axis, the device's pixel shape included.
    const double xDim = std::fabs(double(viewportExtent_.x) * device_.millimetres.x /
                                  (double(device_.pixels.x) * windowExtent_.x));
    const double yDim = std::fabs(double(viewportExtent_.y) * device_.millimetres.y /
                                  (double(device_.pixels.y) * windowExtent_.y));
    const auto shrink = [](int32_t extent, double ratio) {
        const int32_t v = int32_t(std::clamp(std::round(extent * ratio), double(INT32_MIN), double(INT32_MAX)));
        return v != 0 ? v : (extent >= 0 ? 1 : -1);
    };
    if (xDim > yDim) viewportExtent_.x = shrink(viewportExtent_.x, yDim / xDim);
    else if (yDim > xDim) viewportExtent_.y = shrink(viewportExtent_.y, xDim / yDim);
}

Affine PageMapping::transform() const {
    const double sx = double(viewportExtent_.x) / windowExtent_.x, sy = double(viewportExtent_.y) / windowExtent_.y;
    return {sx, 0, 0, sy, viewportOrigin_.x - windowOrigin_.x * sx, viewportOrigin_.y - windowOrigin_.y * sy};
}

bool PageMapping::sameMapping(const PageMapping& other) const {
    return windowOrigin_ == other.windowOrigin_ && windowExtent_ == other.windowExtent_ &&
           viewportOrigin_ == other.viewportOrigin_ && viewportExtent_ == other.viewportExtent_;
}

}  // namespace qfip::emf
