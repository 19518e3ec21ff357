#pragma once

// How GDI maps an enhanced metafile's logical coordinates to the device's: the page
// mapping (map mode, window and viewport origins and extents) and the world transform,
// by the rules GDI plays a metafile with. Standard library only: the record rewriting
// (EmfNormaliser.h) is fuzzed on its own.
#include <cstdint>
#include <optional>

namespace qfip::emf {

// x' = a x + c y + e, y' = b x + d y + f: GDI's XFORM (eM11 eM12 eM21 eM22 eDx eDy) and
// SVG's matrix(a b c d e f) alike.
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    struct Point {
        double x, y;
    };
    Point apply(double x, double y) const { return {a * x + c * y + e, b * x + d * y + f}; }
    // This after `first`: apply `first`, then this.
    Affine after(const Affine& first) const;
    // Nullopt when it has no inverse (GDI refuses such a transform).
    std::optional<Affine> inverse() const;
    bool isIdentity() const { return a == 1 && b == 0 && c == 0 && d == 1 && e == 0 && f == 0; }
    friend bool operator==(const Affine&, const Affine&) = default;
};

// A transform GDI takes: finite, with an inverse.
bool isUsable(const Affine& transform);

enum MapMode : uint32_t {
    MM_TEXT = 1,
    MM_LOMETRIC,
    MM_HIMETRIC,
    MM_LOENGLISH,
    MM_HIENGLISH,
    MM_TWIPS,
    MM_ISOTROPIC,
    MM_ANISOTROPIC
};

struct IntPair {
    int32_t x = 0, y = 0;
    friend bool operator==(const IntPair&, const IntPair&) = default;
};

// The reference device the metafile was made on: its size in pixels and in millimetres
// (the header's szlDevice and szlMillimeters), which fix the metric and English modes.
struct ReferenceDevice {
    IntPair pixels{1024, 768};
    IntPair millimetres{271, 203};  // 96 dpi
};

// The page mapping: device = (logical - window origin) * viewport extent / window extent
// + viewport origin. Set as GDI's calls set it: SetMapMode gives the fixed modes their
// extents (MM_ISOTROPIC starts as MM_LOMETRIC, MM_ANISOTROPIC keeps the last ones),
// extents change only in the two free modes and never to zero, and MM_ISOTROPIC shrinks
// the viewport extent on the longer side so that a unit is as long on both axes (the
// smaller scale wins; each keeps its sign).
class PageMapping {
public:
    explicit PageMapping(const ReferenceDevice& device = {}) : device_(device) {}

    void setMapMode(uint32_t mode);
    void setWindowExtent(int32_t x, int32_t y);
    void setViewportExtent(int32_t x, int32_t y);
    void setWindowOrigin(int32_t x, int32_t y) { windowOrigin_ = {x, y}; }
    void setViewportOrigin(int32_t x, int32_t y) { viewportOrigin_ = {x, y}; }
    // SCALEWINDOWEXTEX / SCALEVIEWPORTEXTEX: extent * numerator / denominator.
    void scaleWindowExtent(int32_t xNum, int32_t xDenom, int32_t yNum, int32_t yDenom);
    void scaleViewportExtent(int32_t xNum, int32_t xDenom, int32_t yNum, int32_t yDenom);

    uint32_t mode() const { return mode_; }
    IntPair windowOrigin() const { return windowOrigin_; }
    IntPair windowExtent() const { return windowExtent_; }
    IntPair viewportOrigin() const { return viewportOrigin_; }
    IntPair viewportExtent() const { return viewportExtent_; }
    Affine transform() const;

    // The same mapping in MM_ANISOTROPIC terms (what libemf2svg is given): equal when
    // the origins and extents are.
    bool sameMapping(const PageMapping& other) const;

private:
    bool freeMode() const { return mode_ == MM_ISOTROPIC || mode_ == MM_ANISOTROPIC; }
    void fixIsotropic();

    ReferenceDevice device_;
    uint32_t mode_ = MM_TEXT;
    IntPair windowOrigin_, viewportOrigin_;
    IntPair windowExtent_{1, 1}, viewportExtent_{1, 1};
};

}  // namespace qfip::emf
