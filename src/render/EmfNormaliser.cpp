#include "render/EmfNormaliser.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "common/LittleEndian.h"
#include "render/EmfSvgState.h"
#include "render/GdiMapping.h"

namespace qfip::emf {

namespace {

// Record types ([MS-EMF] 2.1.1).
enum Type : uint32_t {
    EMR_HEADER = 1, EMR_POLYBEZIER, EMR_POLYGON, EMR_POLYLINE, EMR_POLYBEZIERTO, EMR_POLYLINETO, EMR_POLYPOLYLINE,
    EMR_POLYPOLYGON, EMR_SETWINDOWEXTEX, EMR_SETWINDOWORGEX, EMR_SETVIEWPORTEXTEX, EMR_SETVIEWPORTORGEX,
    EMR_EOF = 14, EMR_SETPIXELV, EMR_SETMAPMODE = 17, EMR_SETBKMODE, EMR_SETPOLYFILLMODE, EMR_SETROP2,
    EMR_SETSTRETCHBLTMODE, EMR_SETTEXTALIGN, EMR_SETBKCOLOR = 25, EMR_OFFSETCLIPRGN, EMR_MOVETOEX, EMR_SETMETARGN,
    EMR_EXCLUDECLIPRECT, EMR_INTERSECTCLIPRECT, EMR_SCALEVIEWPORTEXTEX, EMR_SCALEWINDOWEXTEX, EMR_SAVEDC,
    EMR_RESTOREDC, EMR_SETWORLDTRANSFORM, EMR_MODIFYWORLDTRANSFORM, EMR_SELECTOBJECT, EMR_CREATEPEN,
    EMR_CREATEBRUSHINDIRECT, EMR_DELETEOBJECT, EMR_ANGLEARC, EMR_ELLIPSE, EMR_RECTANGLE, EMR_ROUNDRECT, EMR_ARC,
    EMR_CHORD, EMR_PIE, EMR_CREATEPALETTE = 49, EMR_EXTFLOODFILL = 53, EMR_LINETO, EMR_ARCTO, EMR_POLYDRAW,
    EMR_BEGINPATH = 59, EMR_ENDPATH, EMR_CLOSEFIGURE, EMR_FILLPATH, EMR_STROKEANDFILLPATH, EMR_STROKEPATH,
    EMR_SELECTCLIPPATH = 67, EMR_ABORTPATH, EMR_FILLRGN = 71, EMR_FRAMERGN, EMR_INVERTRGN, EMR_PAINTRGN,
    EMR_EXTSELECTCLIPRGN, EMR_BITBLT, EMR_STRETCHBLT, EMR_MASKBLT, EMR_PLGBLT, EMR_SETDIBITSTODEVICE,
    EMR_STRETCHDIBITS, EMR_EXTCREATEFONTINDIRECTW, EMR_EXTTEXTOUTA, EMR_EXTTEXTOUTW, EMR_POLYBEZIER16,
    EMR_POLYGON16, EMR_POLYLINE16, EMR_POLYBEZIERTO16, EMR_POLYLINETO16, EMR_POLYPOLYLINE16, EMR_POLYPOLYGON16,
    EMR_POLYDRAW16, EMR_CREATEMONOBRUSH, EMR_CREATEDIBPATTERNBRUSHPT, EMR_EXTCREATEPEN, EMR_CREATECOLORSPACE = 99,
    EMR_ALPHABLEND = 114, EMR_TRANSPARENTBLT = 116, EMR_GRADIENTFILL = 118, EMR_CREATECOLORSPACEW = 122,
};

constexpr uint32_t kStockObject = 0x80000000u;
constexpr uint32_t PS_STYLE_MASK = 0xF, PS_DASHDOTDOT = 4, PS_NULL = 5, PS_GEOMETRIC = 0x10000,
                   PS_TYPE_MASK = 0xF0000, PS_ENDCAP_MASK = 0xF00, PS_JOIN_MASK = 0xF000, PS_ENDCAP_FLAT = 0x200,
                   PS_JOIN_MITER = 0x2000;
constexpr uint32_t BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2;
constexpr uint32_t OPAQUE = 2, WINDING = 2, R2_COPYPEN = 13, HALFTONE = 4;
constexpr uint32_t RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5;
constexpr uint32_t TA_UPDATECP = 1, TA_RIGHT = 2, TA_CENTER = 6, TA_BOTTOM = 8, TA_BASELINE = 24;
constexpr uint32_t ETO_OPAQUE = 2, ETO_PDY = 0x2000;
constexpr uint32_t SRCCOPY = 0x00CC0020;

// A font's ascent and descent as parts of its em, and its cell height (ascent, descent
// and internal leading) as GDI's positive heights count it: common faces' own values.
constexpr double kAscent = 0.9, kDescent = 0.21, kCellPerEm = 1.15;
// The clip and the shapes written here are given in sixteenths of a device pixel.
constexpr double kFine = 16;
constexpr size_t kMaxSavedContexts = 65536;

uint32_t rgbOf(uint32_t colorRef) { return (colorRef & 0xFF) << 16 | (colorRef & 0xFF00) | (colorRef >> 16 & 0xFF); }
float floatAt(std::span<const uint8_t> r, size_t at) {
    const uint32_t bits = readU32(r, at);
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}
uint32_t bitsOf(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return bits;
}
int32_t toInt32(double v) {
    if (!std::isfinite(v)) return 0;
    return int32_t(std::clamp(std::floor(v + 0.5), double(INT32_MIN), double(INT32_MAX)));
}

// A clip region within its bounds, or the box that holds it.
std::shared_ptr<const PixelRegion> orBox(RegionOutcome outcome) {
    return std::make_shared<const PixelRegion>(outcome.tooComplex ? PixelRegion(outcome.holder) : std::move(outcome.region));
}

struct Pen {
    uint32_t style = 0;
    int32_t width = 0;  // logical units
    uint32_t colour = 0;
    bool extended = false;  // EMR_EXTCREATEPEN: its type (cosmetic or geometric) is its own
};
struct Brush {
    enum class Kind : uint8_t { Solid, Null, Hatched, Forwarded } kind = Kind::Solid;
    uint32_t colour = 0xFFFFFF;  // COLORREF
    uint32_t hatch = 0;
    uint32_t handle = 0;  // Forwarded: the file's own object, which libemf2svg draws
};
struct Font {
    double em = 0;  // logical units; 0: not known
};

// What libemf2svg is given for the pen and the brush.
struct LibraryPen {
    uint32_t style = 0;
    int32_t width = 0;
    uint32_t colour = 0;
    friend bool operator==(const LibraryPen&, const LibraryPen&) = default;
};
struct LibraryBrush {
    Brush::Kind kind = Brush::Kind::Solid;
    uint32_t colour = 0;
    uint32_t handle = 0;
    friend bool operator==(const LibraryBrush&, const LibraryBrush&) = default;
};

struct Clip {
    enum class Kind : uint8_t { Whole, Region, Path } kind = Kind::Whole;
    std::shared_ptr<const PixelRegion> region;
    uint64_t path = 0;  // which SelectClipPath
    bool same(const Clip& o) const {
        if (kind != o.kind) return false;
        if (kind == Kind::Region) return region == o.region || *region == *o.region;
        return kind != Kind::Path || path == o.path;
    }
};

struct Object {
    enum class Kind : uint8_t { None, Pen, Brush, Font, Forwarded } kind = Kind::None;
    Pen pen;
    Brush brush;
    Font font;
};

// GDI's device context as the file's records set it.
struct GdiState {
    PageMapping page;
    Affine world;
    Pen pen;  // BLACK_PEN
    Brush brush;  // WHITE_BRUSH
    Font font;
    uint32_t bkMode = OPAQUE, bkColour = 0xFFFFFF, textAlign = 0, polyFill = 1, rop2 = R2_COPYPEN, stretch = 1;
    Clip clip;
    std::shared_ptr<const PixelRegion> meta;
    IntPair current;
    bool currentKnown = true;
};

// What libemf2svg's device context holds (what its SaveDC and RestoreDC carry; its
// mapping and its world group are not among them).
struct LibraryState {
    std::optional<LibraryPen> pen;
    std::optional<LibraryBrush> brush;
    Clip clip;
    Affine clipGroup;  // the world group its clip path was written for
};

struct Saved {
    GdiState gdi;
    size_t libraryEntry;  // libemf2svg's stack entry of the same SaveDC
};

enum class Drawing { Shape, Text, Bitmap };

class Normaliser {
public:
    Normaliser(std::span<const uint8_t> file, const std::string& nonce) : in_(file), nonce_(nonce) {}
    std::optional<NormalisedEmf> run();

private:
    // Output.
    void put(uint32_t v) {
        const size_t at = out_.size();
        out_.resize(at + 4);
        writeU32(out_.data() + at, v);
    }
    bool room(size_t bytes) {
        if (out_.size() + bytes > budget_) over_ = true;
        return !over_;
    }
    void emit(uint32_t type, std::initializer_list<uint32_t> words) {
        if (!room(8 + 4 * words.size())) return;
        put(type);
        put(uint32_t(8 + 4 * words.size()));
        for (uint32_t w : words) put(w);
        ++records_;
    }
    void forward(std::span<const uint8_t> record) {
        if (!room(record.size())) return;
        out_.insert(out_.end(), record.begin(), record.end());
        ++records_;
    }
    void emitPoints(uint32_t type, const std::vector<Affine::Point>& points);

    bool header();
    bool record(uint32_t type, std::span<const uint8_t> r);

    // State handed to libemf2svg before a record draws.
    void prepare(Drawing drawing, uint32_t rop3 = SRCCOPY);
    void syncMapping();
    void useFineMapping();
    void syncWorld();
    void syncClip();
    void syncPen();
    void syncBrush();
    void syncMarker(Drawing drawing, uint32_t rop3);
    void emitPen(const LibraryPen& pen);
    void emitBrush(const LibraryBrush& brush);
    void restoreCurrentPosition();

    // GDI's state.
    Affine toDevice() const { return gdi_.page.transform().after(gdi_.world); }
    Affine::Point toFine(double x, double y) const {  // logical to the fine mapping
        const Affine::Point p = gdi_.page.transform().apply(x, y);
        return {p.x * kFine, p.y * kFine};
    }
    Rect deviceRect(std::span<const uint8_t> r, size_t at) const;
    void combineClip(const PixelRegion& region, uint32_t mode);
    Clip effectiveClip() const;
    bool restoreDC(int32_t which);
    void selectObject(std::span<const uint8_t> r);
    void createObject(uint32_t type, std::span<const uint8_t> r);

    void shapeInPath(uint32_t type, std::span<const uint8_t> r);
    void boxShape(uint32_t type, std::span<const uint8_t> r);
    void text(std::span<const uint8_t> r);
    void fillBackground(const std::vector<Affine::Point>& corners);

    std::span<const uint8_t> in_;
    std::string nonce_;
    std::vector<uint8_t> out_;
    size_t budget_ = 0;
    bool over_ = false;
    uint32_t records_ = 0;

    ReferenceDevice device_;
    Rect universe_;
    double frame_[4] = {};
    int32_t bounds_[4] = {};
    // Handles past the file's own, where the pens and brushes libemf2svg is given live:
    // the last ones used kept, so that a file switching between a few pens costs a
    // selection each time, as in the file.
    static constexpr uint32_t kSpares = 16;
    template <typename T>
    struct Spares {
        std::optional<T> held[kSpares];
        uint64_t used[kSpares] = {};
    };
    uint32_t firstSpare_ = 0;  // the file's table ends here
    Spares<LibraryPen> pens_;
    Spares<LibraryBrush> brushes_;
    uint64_t uses_ = 0;
    template <typename T>
    uint32_t spareFor(Spares<T>& spares, uint32_t first, const T& wanted, bool& created);
    std::vector<Object> objects_;

    GdiState gdi_;
    LibraryState lib_;
    PageMapping libPage_;  // libemf2svg's mapping (not saved by its SaveDC)
    Affine libGroup_;      // the world group libemf2svg wrote last (not restored by its RestoreDC)
    std::vector<Saved> saved_;
    std::vector<LibraryState> libStack_;  // libemf2svg's RestoreDC copies an entry and pops none
    SvgDrawingState marker_;
    bool inPath_ = false, pathPending_ = false, libCurrentMatches_ = true;
    uint64_t paths_ = 0;
};

bool Normaliser::header() {
    if (in_.size() < 88) return false;
    const uint32_t size = readU32(in_, 4);
    if (size < 88 || size % 4 != 0 || size > in_.size()) return false;
    const uint16_t handles = readU16(in_, 56);
    if (handles > 0xFFFF - 2 * kSpares) return false;
    firstSpare_ = std::max<uint32_t>(handles, 1);
    objects_.assign(firstSpare_, Object{});

    const auto plausible = [](int32_t v) { return v > 0 && v < 10000000; };
    if (plausible(readS32(in_, 72)) && plausible(readS32(in_, 76)) && plausible(readS32(in_, 80)) &&
        plausible(readS32(in_, 84)))
        device_ = {{readS32(in_, 72), readS32(in_, 76)}, {readS32(in_, 80), readS32(in_, 84)}};
    gdi_.page = PageMapping(device_);
    libPage_ = PageMapping(device_);

    // The picture is the frame (0.01 mm) on the reference device, as the program sizes it;
    // without a frame, the inclusive bounds.
    double box[4];
    const int64_t frameWidth = int64_t(readS32(in_, 32)) - readS32(in_, 24);
    const int64_t frameHeight = int64_t(readS32(in_, 36)) - readS32(in_, 28);
    if (frameWidth != 0 && frameHeight != 0) {
        for (int i = 0; i < 4; ++i) {
            const auto& axisPixels = i % 2 == 0 ? device_.pixels.x : device_.pixels.y;
            const auto& axisMm = i % 2 == 0 ? device_.millimetres.x : device_.millimetres.y;
            box[i] = double(readS32(in_, 24 + 4 * i)) * axisPixels / (100.0 * axisMm);
        }
    } else {
        for (int i = 0; i < 4; ++i) box[i] = double(readS32(in_, 8 + 4 * i)) + (i >= 2 ? 1 : 0);
    }
    frame_[0] = std::min(box[0], box[2]);
    frame_[1] = std::min(box[1], box[3]);
    frame_[2] = std::max(box[0], box[2]);
    frame_[3] = std::max(box[1], box[3]);
    if (!(frame_[2] - frame_[0] > 0) || !(frame_[3] - frame_[1] > 0)) return false;
    constexpr double kMost = double(1 << 26);  // sixteen times it still fits 32 bits
    for (double v : frame_)
        if (!(std::fabs(v) < kMost)) return false;
    bounds_[0] = int32_t(std::floor(frame_[0]));
    bounds_[1] = int32_t(std::floor(frame_[1]));
    bounds_[2] = std::max(bounds_[0] + 1, int32_t(std::ceil(frame_[2])));
    bounds_[3] = std::max(bounds_[1] + 1, int32_t(std::ceil(frame_[3])));
    const double margin = std::max(frame_[2] - frame_[0], frame_[3] - frame_[1]) + 16;
    universe_ = {toInt32(frame_[0] - margin), toInt32(frame_[1] - margin), toInt32(frame_[2] + margin),
                 toInt32(frame_[3] + margin)};

    // Room for what is added: three times the file for a small one, as much as the file
    // and 16 MiB more for a large one (the helper's memory holds both and the SVG).
    budget_ = std::min(4 * in_.size(), 2 * in_.size() + (size_t(16) << 20)) + (size_t(1) << 20);
    out_.reserve(std::min<size_t>(budget_, in_.size() + 4096));
    forward(in_.subspan(0, size));
    return !over_;
}

std::optional<NormalisedEmf> Normaliser::run() {
    if (!header()) return std::nullopt;
    size_t at = readU32(in_, 4);
    bool ended = false;
    while (in_.size() - at >= 8) {
        const uint32_t type = readU32(in_, at), size = readU32(in_, at + 4);
        if (size < 8 || size % 4 != 0 || size > in_.size() - at) break;
        const std::span<const uint8_t> r = in_.subspan(at, size);
        at += size;
        if (type == EMR_EOF) {
            forward(r);
            ended = true;
            break;
        }
        if (!record(type, r) || over_) return std::nullopt;
    }
    // A file without its end record keeps its own tail: libemf2svg meets what it met.
    if (!ended && room(in_.size() - at)) out_.insert(out_.end(), in_.begin() + ptrdiff_t(at), in_.end());
    if (over_) return std::nullopt;

    for (int i = 0; i < 4; ++i) writeU32(out_.data() + 8 + 4 * i, uint32_t(bounds_[i]));
    writeU32(out_.data() + 48, uint32_t(out_.size()));
    writeU32(out_.data() + 52, records_);
    const uint32_t handles = firstSpare_ + 2 * kSpares;
    out_[56] = uint8_t(handles & 0xFF);
    out_[57] = uint8_t(handles >> 8);

    NormalisedEmf result;
    result.libraryWidth = bounds_[2] - bounds_[0];
    result.frameX = frame_[0] - bounds_[0];
    result.frameY = frame_[1] - bounds_[1];
    result.frameWidth = frame_[2] - frame_[0];
    result.frameHeight = frame_[3] - frame_[1];
    result.deviceLeft = frame_[0];
    result.deviceTop = frame_[1];
    result.bytes = std::move(out_);
    return result;
}

// ---- what libemf2svg is told ----

void Normaliser::syncMapping() {
    if (libPage_.sameMapping(gdi_.page)) return;
    const PageMapping& m = gdi_.page;
    emit(EMR_SETMAPMODE, {MM_ANISOTROPIC});
    emit(EMR_SETWINDOWEXTEX, {uint32_t(m.windowExtent().x), uint32_t(m.windowExtent().y)});
    emit(EMR_SETVIEWPORTEXTEX, {uint32_t(m.viewportExtent().x), uint32_t(m.viewportExtent().y)});
    emit(EMR_SETWINDOWORGEX, {uint32_t(m.windowOrigin().x), uint32_t(m.windowOrigin().y)});
    emit(EMR_SETVIEWPORTORGEX, {uint32_t(m.viewportOrigin().x), uint32_t(m.viewportOrigin().y)});
    libPage_ = m;
}

void Normaliser::useFineMapping() {
    PageMapping fine(device_);
    fine.setMapMode(MM_ANISOTROPIC);
    fine.setWindowExtent(int32_t(kFine), int32_t(kFine));
    fine.setViewportExtent(1, 1);
    if (libPage_.sameMapping(fine)) return;
    emit(EMR_SETMAPMODE, {MM_ANISOTROPIC});
    emit(EMR_SETWINDOWEXTEX, {uint32_t(kFine), uint32_t(kFine)});
    emit(EMR_SETVIEWPORTEXTEX, {1, 1});
    emit(EMR_SETWINDOWORGEX, {0, 0});
    emit(EMR_SETVIEWPORTORGEX, {0, 0});
    libPage_ = fine;
}

void Normaliser::syncWorld() {
    // libemf2svg maps a point by the page and then by its world group, whose offset it
    // scales by the output's scale (1 here): the group that gives GDI's page(world(p)) is
    // the world transform seen through the page mapping. Not inside a path bracket,
    // where libemf2svg writes no group.
    if (inPath_) return;
    const Affine page = gdi_.page.transform();
    const std::optional<Affine> pageInverse = page.inverse();
    if (!pageInverse) return;
    const Affine g = page.after(gdi_.world.after(*pageInverse));
    const Affine group{float(g.a), float(g.b), float(g.c), float(g.d), float(g.e), float(g.f)};
    if (group == libGroup_ || !isUsable(group)) return;
    emit(EMR_SETWORLDTRANSFORM, {bitsOf(float(g.a)), bitsOf(float(g.b)), bitsOf(float(g.c)), bitsOf(float(g.d)),
                                 bitsOf(float(g.e)), bitsOf(float(g.f))});
    libGroup_ = group;
}

Clip Normaliser::effectiveClip() const {
    if (!gdi_.meta || gdi_.clip.kind == Clip::Kind::Path) return gdi_.clip;
    Clip c;
    c.kind = Clip::Kind::Region;
    c.region = gdi_.clip.kind == Clip::Kind::Whole
                   ? gdi_.meta
                   : orBox(gdi_.meta->combined(*gdi_.clip.region, PixelRegion::Op::And, kClipRegionLimits));
    return c;
}

void Normaliser::syncClip() {
    if (inPath_ || pathPending_) return;  // a clip path bracket here would take the file's path's place
    const Clip wanted = effectiveClip();
    if (wanted.same(lib_.clip) && (wanted.kind != Clip::Kind::Region || lib_.clipGroup == libGroup_)) return;
    if (wanted.kind == Clip::Kind::Path) return;  // the file's own path: libemf2svg holds it or nothing can
    if (wanted.kind == Clip::Kind::Whole) {
        emit(EMR_EXTSELECTCLIPRGN, {0, RGN_COPY});
    } else {
        // The region's rectangles, in device pixels, as a clip path under the world group
        // that the shapes drawn with it are written in.
        const std::optional<Affine> ungroup = libGroup_.inverse();
        if (!ungroup) return;
        std::vector<Affine::Point> points;
        std::vector<Rect> rects = wanted.region->boxes();
        if (rects.empty()) rects.push_back({0, 0, 0, 0});  // nothing visible: a path without area
        for (const Rect& r : rects) {
            for (const auto& [x, y] : {std::pair{r.Left, r.Top}, {r.Right, r.Top}, {r.Right, r.Bottom}, {r.Left, r.Bottom}}) {
                const Affine::Point p = ungroup->apply(x, y);
                points.push_back({p.x * kFine, p.y * kFine});
            }
        }
        useFineMapping();
        emit(EMR_BEGINPATH, {});
        emitPoints(EMR_POLYPOLYGON, points);
        emit(EMR_ENDPATH, {});
        emit(EMR_SELECTCLIPPATH, {RGN_COPY});
        libCurrentMatches_ = false;
    }
    lib_.clip = wanted;
    lib_.clipGroup = libGroup_;
}

// EMR_POLYPOLYGON of quadrilaterals (four points each), or one POLYGON / POLYBEZIERTO.
void Normaliser::emitPoints(uint32_t type, const std::vector<Affine::Point>& points) {
    const bool quads = type == EMR_POLYPOLYGON;
    const size_t polygons = quads ? points.size() / 4 : 0;
    const size_t size = 8 + 16 + (quads ? 8 + 4 * polygons : 4) + 8 * points.size();
    if (!room(size)) return;
    int32_t box[4] = {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (const Affine::Point& p : points) {
        const int32_t x = toInt32(p.x), y = toInt32(p.y);
        box[0] = std::min(box[0], x), box[1] = std::min(box[1], y), box[2] = std::max(box[2], x), box[3] = std::max(box[3], y);
    }
    put(type);
    put(uint32_t(size));
    for (int32_t v : box) put(uint32_t(v));
    if (quads) {
        put(uint32_t(polygons));
        put(uint32_t(points.size()));
        for (size_t i = 0; i < polygons; ++i) put(4);
    } else {
        put(uint32_t(points.size()));
    }
    for (const Affine::Point& p : points) {
        put(uint32_t(toInt32(p.x)));
        put(uint32_t(toInt32(p.y)));
    }
    ++records_;
}

template <typename T>
uint32_t Normaliser::spareFor(Spares<T>& spares, uint32_t first, const T& wanted, bool& created) {
    uint32_t slot = 0;
    for (uint32_t i = 0; i < kSpares; ++i) {
        if (spares.held[i] == wanted) {
            slot = i;
            created = false;
            spares.used[slot] = ++uses_;
            return first + slot;
        }
        if (spares.used[i] < spares.used[slot]) slot = i;
    }
    created = true;
    spares.held[slot] = wanted;
    spares.used[slot] = ++uses_;
    return first + slot;
}

void Normaliser::emitPen(const LibraryPen& pen) {
    bool created = false;
    const uint32_t handle = spareFor(pens_, firstSpare_, pen, created);
    if (created) emit(EMR_CREATEPEN, {handle, pen.style, uint32_t(pen.width), 0, pen.colour});
    emit(EMR_SELECTOBJECT, {handle});
    lib_.pen = pen;
}

void Normaliser::emitBrush(const LibraryBrush& brush) {
    if (brush.kind == Brush::Kind::Forwarded) {
        emit(EMR_SELECTOBJECT, {brush.handle});
    } else {
        bool created = false;
        const uint32_t handle = spareFor(brushes_, firstSpare_ + kSpares, brush, created);
        if (created)
            emit(EMR_CREATEBRUSHINDIRECT, {handle, brush.kind == Brush::Kind::Null ? BS_NULL : BS_SOLID, brush.colour, 0});
        emit(EMR_SELECTOBJECT, {handle});
    }
    lib_.brush = brush;
}

void Normaliser::syncPen() {
    const Pen& pen = gdi_.pen;
    LibraryPen wanted{PS_NULL, 0, pen.colour};
    const uint32_t dash = pen.style & PS_STYLE_MASK;
    if (dash != PS_NULL) {
        // GDI draws a pen of one device pixel or less (or of width 0) one pixel wide:
        // cosmetic, flat ends, dashed by pixels; a wider one by the mapped width with
        // round ends and joins (EMR_CREATEPEN) or its own (EMR_EXTCREATEPEN). libemf2svg
        // scales the width it is given by nothing but the world group.
        const double w = std::fabs(double(pen.width));
        const Affine device = toDevice();
        const double deviceWidth = std::hypot(device.a * w, device.b * w);
        const double pageWidth = std::fabs(gdi_.page.transform().a * w);
        const bool geometric = pen.extended ? (pen.style & PS_TYPE_MASK) == PS_GEOMETRIC
                                            : pen.width != 0 && std::floor(deviceWidth + 0.5) > 1;
        const uint32_t ownDash = dash <= PS_DASHDOTDOT ? dash : 0;  // INSIDEFRAME, USERSTYLE, ALTERNATE: solid
        if (geometric) {
            const uint32_t ends = pen.extended ? pen.style & (PS_ENDCAP_MASK | PS_JOIN_MASK) : 0;
            wanted.style = PS_GEOMETRIC | ends | (pen.extended ? ownDash : 0);
            wanted.width = std::max(1, toInt32(pageWidth));
        } else {
            wanted.style = ownDash | PS_ENDCAP_FLAT | PS_JOIN_MITER;
            wanted.width = 1;
        }
    }
    if (lib_.pen != wanted) emitPen(wanted);
}

void Normaliser::syncBrush() {
    const Brush& b = gdi_.brush;
    LibraryBrush wanted{b.kind == Brush::Kind::Hatched ? Brush::Kind::Solid : b.kind, b.colour, 0};
    if (b.kind == Brush::Kind::Forwarded) wanted = {b.kind, 0, b.handle};
    if (b.kind == Brush::Kind::Null) wanted.colour = 0;
    if (lib_.brush != wanted) emitBrush(wanted);
}

void Normaliser::syncMarker(Drawing drawing, uint32_t rop3) {
    SvgDrawingState wanted = marker_;
    if (drawing == Drawing::Shape) {
        wanted.winding = gdi_.polyFill == WINDING;
        wanted.paint = {};
        if (gdi_.brush.kind == Brush::Kind::Hatched)
            wanted.paint = {true, gdi_.brush.hatch, rgbOf(gdi_.brush.colour), rgbOf(gdi_.bkColour), gdi_.bkMode == OPAQUE};
        wanted.shapeBlend = rop3 != SRCCOPY ? blendOfRop3(rop3) : blendOfRop2(gdi_.rop2);
    } else if (drawing == Drawing::Bitmap) {
        wanted.bitmapBlend = blendOfRop3(rop3);
        wanted.smoothBitmaps = gdi_.stretch == HALFTONE;
    }
    if (wanted == marker_) return;
    const std::string text = markerText(nonce_, wanted);
    // EMR_EXTTEXTOUTA: the text at (0, 0), no options, no advances.
    const uint32_t length = uint32_t(text.size());
    const uint32_t padded = (length + 3) / 4 * 4;
    if (!room(76 + padded)) return;
    put(EMR_EXTTEXTOUTA);
    put(76 + padded);
    for (uint32_t v : {0u, 0u, 0u, 0u, 1u, 0u, 0u, 0u, 0u, length, 76u, 0u, 0u, 0u, 0u, 0u, 0u}) put(v);
    out_.insert(out_.end(), text.begin(), text.end());
    out_.resize(out_.size() + (padded - length), 0);
    ++records_;
    marker_ = wanted;
}

void Normaliser::prepare(Drawing drawing, uint32_t rop3) {
    if (inPath_) {
        syncMapping();
        return;
    }
    syncWorld();
    syncClip();
    if (drawing == Drawing::Shape) {
        syncPen();
        syncBrush();
    }
    if (drawing != Drawing::Text) syncMarker(drawing, rop3);
    syncMapping();
}

void Normaliser::restoreCurrentPosition() {
    if (libCurrentMatches_ || !gdi_.currentKnown) return;
    emit(EMR_MOVETOEX, {uint32_t(gdi_.current.x), uint32_t(gdi_.current.y)});
    libCurrentMatches_ = true;
}

// ---- GDI's state ----

Rect Normaliser::deviceRect(std::span<const uint8_t> r, size_t at) const {
    const Affine t = toDevice();
    double box[4] = {INFINITY, INFINITY, -INFINITY, -INFINITY};
    for (const auto& [xi, yi] : {std::pair{0, 4}, {8, 4}, {8, 12}, {0, 12}}) {
        const Affine::Point p = t.apply(readS32(r, at + size_t(xi)), readS32(r, at + size_t(yi)));
        box[0] = std::min(box[0], p.x), box[1] = std::min(box[1], p.y);
        box[2] = std::max(box[2], p.x), box[3] = std::max(box[3], p.y);
    }
    const auto within = [&](double v, int32_t low, int32_t high) { return std::clamp(toInt32(v), low, high); };
    return {within(box[0], universe_.Left, universe_.Right), within(box[1], universe_.Top, universe_.Bottom),
            within(box[2], universe_.Left, universe_.Right), within(box[3], universe_.Top, universe_.Bottom)};
}

void Normaliser::combineClip(const PixelRegion& region, uint32_t mode) {
    Clip& clip = gdi_.clip;
    if (mode == RGN_COPY) {
        clip = {Clip::Kind::Region, std::make_shared<const PixelRegion>(region), 0};
        return;
    }
    if (clip.kind == Clip::Kind::Path) {
        // No region holds a path: narrowing keeps the path (it clips less than GDI's
        // combination, never more); widening clips nothing.
        if (mode == RGN_OR || mode == RGN_XOR) clip = {};
        return;
    }
    const PixelRegion whole(universe_);
    const PixelRegion& current = clip.kind == Clip::Kind::Whole ? whole : *clip.region;
    const PixelRegion::Op op = mode == RGN_AND ? PixelRegion::Op::And
                               : mode == RGN_OR ? PixelRegion::Op::Or
                               : mode == RGN_XOR ? PixelRegion::Op::Xor
                                                 : PixelRegion::Op::Diff;
    clip = {Clip::Kind::Region, orBox(current.combined(region, op, kClipRegionLimits)), 0};
}

bool Normaliser::restoreDC(int32_t which) {
    const int64_t depth = int64_t(saved_.size());
    const int64_t target = which < 0 ? depth + which : int64_t(which) - 1;
    if (which == 0 || target < 0 || target >= depth) return false;  // GDI refuses it too
    const Saved& s = saved_[size_t(target)];
    gdi_ = s.gdi;
    // libemf2svg's entry of the same SaveDC, counted from its top.
    emit(EMR_RESTOREDC, {uint32_t(-int32_t(libStack_.size() - s.libraryEntry))});
    lib_ = libStack_[s.libraryEntry];
    saved_.resize(size_t(target));
    libCurrentMatches_ = false;
    return true;
}

void Normaliser::createObject(uint32_t type, std::span<const uint8_t> r) {
    const uint32_t handle = readU32(r, 8);
    if (handle == 0 || handle >= firstSpare_) return;  // not in the file's table: GDI refuses it
    Object& o = objects_[handle];
    o = {};
    switch (type) {
    case EMR_CREATEPEN:
        if (r.size() < 28) return;
        o.kind = Object::Kind::Pen;
        o.pen = {readU32(r, 12), readS32(r, 16), readU32(r, 24), false};
        break;
    case EMR_EXTCREATEPEN:
        if (r.size() < 52) return;
        o.kind = Object::Kind::Pen;
        o.pen = {readU32(r, 28), int32_t(std::min<uint32_t>(readU32(r, 32), INT32_MAX)), readU32(r, 40), true};
        if (readU32(r, 36) == BS_NULL) o.pen.style = PS_NULL;
        break;
    case EMR_CREATEBRUSHINDIRECT: {
        if (r.size() < 24) return;
        o.kind = Object::Kind::Brush;
        const uint32_t style = readU32(r, 12), hatch = readU32(r, 20);
        o.brush.colour = readU32(r, 16);
        o.brush.kind = style == BS_NULL ? Brush::Kind::Null
                       : style == BS_HATCHED && hatch < kHatchStyles ? Brush::Kind::Hatched
                                                                    : Brush::Kind::Solid;
        o.brush.hatch = hatch;
        break;
    }
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT:
        o.kind = Object::Kind::Brush;
        o.brush = {Brush::Kind::Forwarded, 0, 0, handle};
        break;
    case EMR_EXTCREATEFONTINDIRECTW: {
        if (r.size() < 16) return;
        o.kind = Object::Kind::Font;
        const int32_t height = readS32(r, 12);
        o.font.em = height < 0 ? -double(height) : height / kCellPerEm;
        break;
    }
    default: o.kind = Object::Kind::Forwarded; break;
    }
}

void Normaliser::selectObject(std::span<const uint8_t> r) {
    const uint32_t handle = readU32(r, 8);
    if (handle & kStockObject) {
        const uint32_t stock = handle & ~kStockObject;
        static constexpr uint32_t kGreys[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
        if (stock <= 4 || stock == 18) {  // the solid stock brushes; DC_BRUSH is white
            gdi_.brush = {Brush::Kind::Solid, stock == 18 ? 0xFFFFFF : kGreys[stock], 0, 0};
        } else if (stock == 5) {
            gdi_.brush = {Brush::Kind::Null, 0, 0, 0};
        } else if (stock == 6 || stock == 7 || stock == 19) {  // WHITE_PEN, BLACK_PEN, DC_PEN
            gdi_.pen = {0, 0, stock == 6 ? 0xFFFFFFu : 0u, false};
        } else if (stock == 8) {
            gdi_.pen = {PS_NULL, 0, 0, false};
        } else {
            if (stock >= 10 && stock <= 17) gdi_.font = {};  // a stock font: its size is the system's
            forward(r);
        }
        return;
    }
    if (handle >= firstSpare_) {
        forward(r);  // not an object of the file's table: libemf2svg refuses it as before
        return;
    }
    const Object& o = objects_[handle];
    switch (o.kind) {
    case Object::Kind::Pen: gdi_.pen = o.pen; return;
    case Object::Kind::Brush: gdi_.brush = o.brush; return;
    case Object::Kind::Font:
        gdi_.font = o.font;
        forward(r);
        return;
    default: forward(r); return;
    }
}

// ---- records ----

bool Normaliser::record(uint32_t type, std::span<const uint8_t> r) {
    const size_t size = r.size();
    const auto s32 = [&](size_t at) { return readS32(r, at); };
    switch (type) {
    case EMR_SETWINDOWEXTEX:
    case EMR_SETWINDOWORGEX:
    case EMR_SETVIEWPORTEXTEX:
    case EMR_SETVIEWPORTORGEX:
        if (size < 16) return true;
        if (type == EMR_SETWINDOWEXTEX) gdi_.page.setWindowExtent(s32(8), s32(12));
        if (type == EMR_SETWINDOWORGEX) gdi_.page.setWindowOrigin(s32(8), s32(12));
        if (type == EMR_SETVIEWPORTEXTEX) gdi_.page.setViewportExtent(s32(8), s32(12));
        if (type == EMR_SETVIEWPORTORGEX) gdi_.page.setViewportOrigin(s32(8), s32(12));
        return true;
    case EMR_SETMAPMODE:
        if (size >= 12) gdi_.page.setMapMode(readU32(r, 8));
        return true;
    case EMR_SCALEVIEWPORTEXTEX:
    case EMR_SCALEWINDOWEXTEX:
        if (size < 24) return true;
        if (type == EMR_SCALEWINDOWEXTEX) gdi_.page.scaleWindowExtent(s32(8), s32(12), s32(16), s32(20));
        else gdi_.page.scaleViewportExtent(s32(8), s32(12), s32(16), s32(20));
        return true;
    case EMR_SETWORLDTRANSFORM:
    case EMR_MODIFYWORLDTRANSFORM: {
        if (size < 32 || (type == EMR_MODIFYWORLDTRANSFORM && size < 36)) return true;
        const Affine x{floatAt(r, 8), floatAt(r, 12), floatAt(r, 16), floatAt(r, 20), floatAt(r, 24), floatAt(r, 28)};
        const uint32_t mode = type == EMR_SETWORLDTRANSFORM ? 4 : readU32(r, 32);
        Affine w = gdi_.world;
        if (mode == 1) w = Affine{};                    // MWT_IDENTITY
        else if (mode == 2) w = gdi_.world.after(x);   // MWT_LEFTMULTIPLY: x first
        else if (mode == 3) w = x.after(gdi_.world);   // MWT_RIGHTMULTIPLY
        else if (mode == 4) w = x;                      // MWT_SET
        if (isUsable(w)) gdi_.world = w;
        return true;
    }
    case EMR_SAVEDC:
        if (saved_.size() >= kMaxSavedContexts || libStack_.size() >= kMaxSavedContexts) return false;
        saved_.push_back({gdi_, libStack_.size()});
        libStack_.push_back(lib_);
        forward(r);
        return true;
    case EMR_RESTOREDC:
        if (size >= 12) restoreDC(s32(8));
        return true;
    case EMR_SETBKMODE:
    case EMR_SETTEXTALIGN:
    case EMR_SETBKCOLOR:
        if (size < 12) return true;
        if (type == EMR_SETBKMODE) gdi_.bkMode = readU32(r, 8);
        if (type == EMR_SETTEXTALIGN) gdi_.textAlign = readU32(r, 8);
        if (type == EMR_SETBKCOLOR) gdi_.bkColour = readU32(r, 8);
        forward(r);
        return true;
    case EMR_SETPOLYFILLMODE:
        if (size >= 12 && (readU32(r, 8) == 1 || readU32(r, 8) == 2)) gdi_.polyFill = readU32(r, 8);
        return true;
    case EMR_SETROP2:
        if (size >= 12 && readU32(r, 8) >= 1 && readU32(r, 8) <= 16) gdi_.rop2 = readU32(r, 8);
        return true;
    case EMR_SETSTRETCHBLTMODE:
        if (size >= 12) gdi_.stretch = readU32(r, 8);
        return true;

    case EMR_INTERSECTCLIPRECT:
    case EMR_EXCLUDECLIPRECT:
        if (size >= 24) combineClip(PixelRegion(deviceRect(r, 8)), type == EMR_INTERSECTCLIPRECT ? RGN_AND : RGN_DIFF);
        return true;
    case EMR_EXTSELECTCLIPRGN: {
        if (size < 16) return true;
        const uint32_t bytes = readU32(r, 8), mode = readU32(r, 12);
        if (mode < RGN_AND || mode > RGN_COPY) return true;
        if (bytes < 32 || size < 48) {
            if (mode == RGN_COPY) gdi_.clip = {};  // no region: no clip
            return true;
        }
        const size_t count = std::min<size_t>(readU32(r, 24), (std::min<size_t>(bytes, size - 16) - 32) / 16);
        std::vector<Rect> rects;
        rects.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            const size_t at = 48 + 16 * i;
            const Rect rect{s32(at), s32(at + 4), s32(at + 8), s32(at + 12)};
            if (!rect.isEmpty()) rects.push_back(rect);
        }
        // More rectangles than a region holds: their box, without sorting them first.
        combineClip(*orBox(rects.size() > kClipRegionLimits.maxBoxes ? RegionOutcome{PixelRegion(), true, boundsOf(rects)}
                                                                       : PixelRegion::unionOf(rects, kClipRegionLimits)),
                    mode);
        return true;
    }
    case EMR_OFFSETCLIPRGN:
        if (size >= 16 && gdi_.clip.kind == Clip::Kind::Region) {
            const Affine page = gdi_.page.transform();
            gdi_.clip.region = std::make_shared<const PixelRegion>(
                gdi_.clip.region->translated(toInt32(s32(8) * page.a), toInt32(s32(12) * page.d)));
        }
        return true;
    case EMR_SETMETARGN:
        if (gdi_.clip.kind == Clip::Kind::Region) {
            gdi_.meta = gdi_.meta ? orBox(gdi_.meta->combined(*gdi_.clip.region, PixelRegion::Op::And, kClipRegionLimits))
                                  : gdi_.clip.region;
            gdi_.clip = {};
        }
        return true;
    case EMR_SELECTCLIPPATH:
        // The file's own path is the clip: libemf2svg takes it whole, whatever the mode.
        forward(r);
        pathPending_ = false;
        gdi_.clip = lib_.clip = {Clip::Kind::Path, nullptr, ++paths_};
        gdi_.meta = nullptr;
        return true;

    case EMR_SELECTOBJECT:
        if (size >= 12) selectObject(r);
        return true;
    case EMR_CREATEPEN:
    case EMR_EXTCREATEPEN:
    case EMR_CREATEBRUSHINDIRECT:
        if (size >= 12) createObject(type, r);
        return true;  // libemf2svg gets each pen and brush when it is used
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT:
    case EMR_CREATEPALETTE:
    case EMR_CREATECOLORSPACE:
    case EMR_CREATECOLORSPACEW:
        if (size >= 12) createObject(type, r);
        forward(r);
        return true;
    case EMR_EXTCREATEFONTINDIRECTW: {
        if (size < 16) {
            forward(r);
            return true;
        }
        createObject(type, r);
        // A positive height is the cell's; libemf2svg draws every height as the em.
        std::vector<uint8_t> copy(r.begin(), r.end());
        const int32_t height = readS32(r, 12);
        if (height > 0) writeU32(copy.data() + 12, uint32_t(-std::max(1, toInt32(height / kCellPerEm))));
        forward(copy);
        return true;
    }
    case EMR_DELETEOBJECT: {
        if (size < 12) return true;
        const uint32_t handle = readU32(r, 8);
        if (handle == 0 || handle >= firstSpare_) return true;
        const Object::Kind kind = objects_[handle].kind;
        if (kind == Object::Kind::Font || kind == Object::Kind::Forwarded ||
            (kind == Object::Kind::Brush && objects_[handle].brush.kind == Brush::Kind::Forwarded))
            forward(r);
        objects_[handle] = {};
        return true;
    }

    case EMR_MOVETOEX:
        if (size < 16) return true;
        syncMapping();
        forward(r);
        gdi_.current = {s32(8), s32(12)};
        gdi_.currentKnown = libCurrentMatches_ = true;
        return true;
    case EMR_BEGINPATH:
        pathPending_ = false;  // a new bracket drops the path before it
        syncWorld();
        syncClip();
        syncMapping();
        forward(r);
        inPath_ = true;
        return true;
    case EMR_ENDPATH:
        forward(r);
        if (inPath_) pathPending_ = true;
        inPath_ = false;
        return true;
    case EMR_ABORTPATH:
        forward(r);
        inPath_ = pathPending_ = false;
        return true;
    case EMR_RECTANGLE:
    case EMR_ELLIPSE:
    case EMR_ROUNDRECT:
        if (size < 24 || (type == EMR_ROUNDRECT && size < 32)) {
            forward(r);
            return true;
        }
        if (inPath_) shapeInPath(type, r);
        else boxShape(type, r);
        libCurrentMatches_ = false;
        return true;

    case EMR_LINETO:
    case EMR_POLYLINETO:
    case EMR_POLYBEZIERTO:
    case EMR_POLYLINETO16:
    case EMR_POLYBEZIERTO16:
    case EMR_ARCTO: {
        prepare(Drawing::Shape);
        restoreCurrentPosition();
        forward(r);
        if (type == EMR_LINETO && size >= 16) {
            gdi_.current = {s32(8), s32(12)};
        } else if (type != EMR_ARCTO && size >= 28) {
            // The last point of the record's count (32 or 16 bits a coordinate).
            const bool narrow = type == EMR_POLYLINETO16 || type == EMR_POLYBEZIERTO16;
            const uint64_t count = readU32(r, 24), pointSize = narrow ? 4 : 8;
            if (count > 0 && 28 + count * pointSize <= size) {
                const size_t at = size_t(28 + (count - 1) * pointSize);
                gdi_.current = narrow ? IntPair{readS16(r, at), readS16(r, at + 2)} : IntPair{s32(at), s32(at + 4)};
            } else {
                gdi_.currentKnown = false;
            }
        } else {
            gdi_.currentKnown = false;
        }
        libCurrentMatches_ = gdi_.currentKnown;
        return true;
    }
    case EMR_POLYBEZIER:
    case EMR_POLYGON:
    case EMR_POLYLINE:
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYGON:
    case EMR_SETPIXELV:
    case EMR_ANGLEARC:
    case EMR_ARC:
    case EMR_CHORD:
    case EMR_PIE:
    case EMR_EXTFLOODFILL:
    case EMR_POLYDRAW:
    case EMR_FILLRGN:
    case EMR_FRAMERGN:
    case EMR_INVERTRGN:
    case EMR_PAINTRGN:
    case EMR_POLYBEZIER16:
    case EMR_POLYGON16:
    case EMR_POLYLINE16:
    case EMR_POLYPOLYLINE16:
    case EMR_POLYPOLYGON16:
    case EMR_POLYDRAW16:
    case EMR_GRADIENTFILL:
    case EMR_FILLPATH:
    case EMR_STROKEANDFILLPATH:
    case EMR_STROKEPATH:
        prepare(Drawing::Shape);
        forward(r);
        libCurrentMatches_ = false;
        if (type == EMR_POLYDRAW || type == EMR_POLYDRAW16) gdi_.currentKnown = false;
        if (type == EMR_FILLPATH || type == EMR_STROKEANDFILLPATH || type == EMR_STROKEPATH) pathPending_ = false;
        return true;

    case EMR_BITBLT:
    case EMR_STRETCHBLT: {
        // Without a source bitmap a blit fills with the brush (PATCOPY, PATINVERT ...).
        const uint32_t rop = size >= 44 ? readU32(r, 40) : SRCCOPY;
        const bool source = size >= 92 && readU32(r, 88) != 0;
        prepare(source ? Drawing::Bitmap : Drawing::Shape, rop);
        forward(r);
        libCurrentMatches_ = false;
        return true;
    }
    case EMR_STRETCHDIBITS:
        prepare(Drawing::Bitmap, size >= 72 ? readU32(r, 68) : SRCCOPY);
        forward(r);
        libCurrentMatches_ = false;
        return true;
    case EMR_MASKBLT:
    case EMR_PLGBLT:
    case EMR_SETDIBITSTODEVICE:
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT:
        prepare(Drawing::Bitmap);
        forward(r);
        libCurrentMatches_ = false;
        return true;

    case EMR_EXTTEXTOUTA:
    case EMR_EXTTEXTOUTW:
        if (size < 76 || inPath_) {
            syncMapping();
            forward(r);
            return true;
        }
        text(r);
        return true;

    default:
        // Whatever else may draw finds libemf2svg's mapping as GDI's.
        if (!inPath_) syncWorld();
        syncMapping();
        forward(r);
        return true;
    }
}

// Rectangle, Ellipse and RoundRect inside a path bracket: the figure GDI adds to the path
// (a rectangle from its top-right corner anticlockwise, as GDI's own paths run; right
// and bottom a pixel in, as GDI's shapes leave those edges out), in the fine mapping.
void Normaliser::shapeInPath(uint32_t type, std::span<const uint8_t> r) {
    const Affine::Point p = toFine(readS32(r, 8), readS32(r, 12)), q = toFine(readS32(r, 16), readS32(r, 20));
    const double l = std::min(p.x, q.x), t = std::min(p.y, q.y);
    const double rt = std::max(l, std::max(p.x, q.x) - kFine), b = std::max(t, std::max(p.y, q.y) - kFine);
    double rx = 0, ry = 0;
    if (type == EMR_ELLIPSE) rx = (rt - l) / 2, ry = (b - t) / 2;
    if (type == EMR_ROUNDRECT) {
        const Affine::Point o = toFine(0, 0), corner = toFine(readS32(r, 24), readS32(r, 28));
        rx = std::min(std::fabs(corner.x - o.x) / 2, (rt - l) / 2);
        ry = std::min(std::fabs(corner.y - o.y) / 2, (b - t) / 2);
    }
    // A quarter ellipse as a cubic curve: its control points this far along the tangents.
    constexpr double k = 0.5522847498;
    std::vector<Affine::Point> figure{{rt - rx, t}};  // the start, then the curves' points three by three
    const auto line = [&](double x, double y) {      // a straight side as a curve
        const Affine::Point from = figure.back(), to{x, y};
        figure.insert(figure.end(), {from, to, to});
    };
    // A quarter ellipse from one tangent point to the other, around the box's corner.
    const auto corner = [&](double cx, double cy, double fromX, double fromY, double toX, double toY) {
        if (rx <= 0 || ry <= 0) return;
        figure.push_back({fromX + (cx - fromX) * k, fromY + (cy - fromY) * k});
        figure.push_back({toX + (cx - toX) * k, toY + (cy - toY) * k});
        figure.push_back({toX, toY});
    };
    // Anticlockwise on the device from the top right: top edge leftwards, left edge down,
    // bottom edge rightwards, right edge up; each corner a quarter ellipse of rx, ry.
    line(l + rx, t);
    corner(l, t, l + rx, t, l, t + ry);
    line(l, b - ry);
    corner(l, b, l, b - ry, l + rx, b);
    line(rt - rx, b);
    corner(rt, b, rt - rx, b, rt, b - ry);
    line(rt, t + ry);
    corner(rt, t, rt, t + ry, rt - rx, t);
    useFineMapping();
    emit(EMR_MOVETOEX, {uint32_t(toInt32(figure.front().x)), uint32_t(toInt32(figure.front().y))});
    emitPoints(EMR_POLYBEZIERTO, std::vector<Affine::Point>(figure.begin() + 1, figure.end()));
    emit(EMR_CLOSEFIGURE, {});
}

// Rectangle and Ellipse outside a path: corners in the order the mapping keeps, so that
// libemf2svg's width and height come out positive. RoundRect: a path of its figure.
void Normaliser::boxShape(uint32_t type, std::span<const uint8_t> r) {
    if (type == EMR_ROUNDRECT && !pathPending_) {
        prepare(Drawing::Shape);
        emit(EMR_BEGINPATH, {});
        inPath_ = true;
        shapeInPath(type, r);
        inPath_ = false;
        emit(EMR_ENDPATH, {});
        emit(EMR_STROKEANDFILLPATH, {0, 0, 0, 0});
        return;
    }
    prepare(Drawing::Shape);
    std::vector<uint8_t> copy(r.begin(), r.end());
    if (type != EMR_ROUNDRECT) {
        const Affine page = gdi_.page.transform();
        int32_t l = readS32(r, 8), t = readS32(r, 12), rt = readS32(r, 16), b = readS32(r, 20);
        if ((l > rt) == (page.a > 0)) std::swap(l, rt);
        if ((t > b) == (page.d > 0)) std::swap(t, b);
        const int32_t corners[4] = {l, t, rt, b};
        for (int i = 0; i < 4; ++i) writeU32(copy.data() + 8 + 4 * i, uint32_t(corners[i]));
    }
    forward(copy);
}

// The text's background in the background colour, behind it: ETO_OPAQUE's rectangle,
// and in OPAQUE mode the text's cells. The cells run from the reference point by the
// alignment: the advances' sum along, the font's cell across (ascent above the baseline,
// descent below), upright on the device whichever way the mapping turns its axes.
void Normaliser::text(std::span<const uint8_t> r) {
    prepare(Drawing::Text);
    const int32_t x = readS32(r, 36), y = readS32(r, 40);
    const uint32_t count = readU32(r, 44), options = readU32(r, 52), dxAt = readU32(r, 72);
    const Affine page = gdi_.page.transform();
    const double across = page.d < 0 ? -1 : 1, along = page.a < 0 ? -1 : 1;
    const double em = gdi_.font.em > 0 ? gdi_.font.em : 16 / std::max(std::fabs(page.d), 1e-9);
    const uint32_t vertical = gdi_.textAlign & TA_BASELINE, horizontal = gdi_.textAlign & TA_CENTER;

    if (!pathPending_) {
        if (options & ETO_OPAQUE) {
            const double l = readS32(r, 56), t = readS32(r, 60), rt = readS32(r, 64), b = readS32(r, 68);
            fillBackground({{l, t}, {rt, t}, {rt, b}, {l, b}});
        }
        if (gdi_.bkMode == OPAQUE && count > 0) {
            double width = 0;
            const uint64_t step = options & ETO_PDY ? 8 : 4;
            if (dxAt >= 76 && dxAt <= r.size() && uint64_t(count) * step <= r.size() - dxAt) {
                for (uint32_t i = 0; i < count; ++i) width += readS32(r, dxAt + size_t(i * step));
            } else {
                width = count * em * 0.5;  // no advances: a typical character's
            }
            const double left = horizontal == TA_CENTER ? x - along * width / 2 : horizontal == TA_RIGHT ? x - along * width : x;
            const double top = vertical == TA_BASELINE ? y - across * kAscent * em
                               : vertical == TA_BOTTOM ? y - across * (kAscent + kDescent) * em
                                                       : y;
            const double right = left + along * width, bottom = top + across * (kAscent + kDescent) * em;
            fillBackground({{left, top}, {right, top}, {right, bottom}, {left, bottom}});
        }
    }
    syncMapping();
    std::vector<uint8_t> copy(r.begin(), r.end());
    if (vertical == TA_BOTTOM) {
        // libemf2svg puts TA_BOTTOM text on its baseline: up by the descent.
        writeU32(copy.data() + 40, uint32_t(toInt32(y - across * kDescent * em)));
    }
    forward(copy);
    if (gdi_.textAlign & TA_UPDATECP) gdi_.currentKnown = false;
}

void Normaliser::fillBackground(const std::vector<Affine::Point>& corners) {
    const LibraryPen none{PS_NULL, 0, 0};
    const LibraryBrush colour{Brush::Kind::Solid, gdi_.bkColour, 0};
    if (lib_.pen != none) emitPen(none);
    if (lib_.brush != colour) emitBrush(colour);
    // A plain fill: the marker of a solid brush copied, whatever the file's brush and ROP2.
    const Brush brush = gdi_.brush;
    const uint32_t rop2 = gdi_.rop2;
    gdi_.brush = {Brush::Kind::Solid, gdi_.bkColour, 0, 0};
    gdi_.rop2 = R2_COPYPEN;
    syncMarker(Drawing::Shape, SRCCOPY);
    gdi_.brush = brush;
    gdi_.rop2 = rop2;
    // A polygon, not a rectangle: GDI fills these boxes to their right and bottom edges.
    std::vector<Affine::Point> fine;
    for (const Affine::Point& c : corners) fine.push_back(toFine(c.x, c.y));
    useFineMapping();
    emitPoints(EMR_POLYGON, fine);
    libCurrentMatches_ = false;
}

}  // namespace

std::optional<NormalisedEmf> normaliseEnhancedMetafile(std::span<const uint8_t> file, const std::string& nonce) {
    return Normaliser(file, nonce).run();
}

}  // namespace qfip::emf
