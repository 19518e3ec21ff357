#pragma once

// Builds enhanced (EMF) and placeable (WMF) metafiles record by record in tests: each
// record is appended by its type with its parameters, and bytes() fills in what the
// headers hold about the whole (sizes, record count, object table size, checksum).
// Colours are GDI's COLORREF, 0x00BBGGRR (see colorRef).
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "support/BmpWriter.h"

namespace qfip::testing {

// COLORREF of a 0xRRGGBB colour.
constexpr uint32_t colorRef(uint32_t rgb) { return (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF); }

// The GDI constants the tests' metafiles use.
namespace gdi {
enum : uint32_t { BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2 };
enum : uint32_t { HS_CROSS = 4 };
enum : uint32_t { PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5 };
enum : uint32_t { TRANSPARENT = 1, OPAQUE = 2 };
enum : uint32_t { ALTERNATE = 1, WINDING = 2 };
enum : uint32_t { R2_XORPEN = 7, R2_COPYPEN = 13 };
enum : uint32_t { TA_LEFT = 0, TA_RIGHT = 2, TA_CENTER = 6, TA_TOP = 0, TA_BOTTOM = 8, TA_BASELINE = 24 };
enum : uint32_t { MM_TEXT = 1, MM_LOMETRIC = 2, MM_ISOTROPIC = 7, MM_ANISOTROPIC = 8 };
enum : uint32_t { RGN_OR = 2, RGN_COPY = 5 };
enum : uint32_t { SRCCOPY = 0x00CC0020, SRCINVERT = 0x00660046 };
enum : uint32_t { ANSI_CHARSET = 0, GB2312_CHARSET = 134 };
// Pen end caps and types, binary raster operations and text options only the enhanced corpus draws.
enum : uint32_t { PS_ENDCAP_FLAT = 0x200, PS_GEOMETRIC = 0x10000 };
enum : uint32_t { R2_BLACK = 1, R2_NOT = 6, R2_MASKPEN = 9, R2_NOP = 11, R2_MERGEPEN = 15 };
enum : uint32_t { ETO_OPAQUE = 2 };
enum : uint32_t { MWT_LEFTMULTIPLY = 2 };
enum : uint32_t { NULL_PEN = 0x80000008 };  // a stock object of an enhanced metafile (a WMF has none)
}  // namespace gdi

// A rectangle and a point as the records hold them (left, top, right, bottom).
using RecordRect = std::array<int32_t, 4>;
using RecordPoint = std::pair<int32_t, int32_t>;

// The smallest rectangle holding all of them (none: an empty one past the largest values).
inline RecordRect boundsOf(const std::vector<RecordRect>& rects) {
    RecordRect box = {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (const RecordRect& r : rects)
        box = {std::min(box[0], r[0]), std::min(box[1], r[1]), std::max(box[2], r[2]), std::max(box[3], r[3])};
    return box;
}

// A packed DIB (BITMAPINFOHEADER, colour table, bottom-up pixel rows) of 0xRRGGBB pixels,
// top row first: 24 bits a pixel, or with `palette` (two colours) one bit a pixel, each

// A packed DIB (BITMAPINFOHEADER, colour table, bottom-up pixel rows) of 0xRRGGBB pixels,
// top row first: 24 bits a pixel, or with `palette` (two colours) one bit a pixel, each
// pixel then the index of its colour in the palette.
inline std::vector<uint8_t> packedDib(int32_t width, int32_t height, const std::vector<uint32_t>& pixels,
                                      const std::vector<uint32_t>& palette = {}) {
    BmpFile bmp;
    bmp.width = width;
    bmp.height = height;
    bmp.bitCount = palette.empty() ? 24 : 1;
    bmp.colorsUsed = uint32_t(palette.size());
    bmp.palette = palette;
    std::vector<std::vector<uint32_t>> rows;
    for (int32_t y = height - 1; y >= 0; --y)
        rows.emplace_back(pixels.begin() + ptrdiff_t(y) * width, pixels.begin() + ptrdiff_t(y + 1) * width);
    bmp.pixels = packRows(bmp.bitCount, rows);
    std::vector<uint8_t> file = bmp.bytes();
    return std::vector<uint8_t>(file.begin() + 14, file.end());  // without the file header
}

class EmfWriter {
public:
    // bounds: the picture's inclusive pixels on the reference device; frame: 0.01 mm.
    EmfWriter(const RecordRect& bounds, const RecordRect& frame) : bounds_(bounds), frame_(frame) {}

    // Any record, of its type and 32-bit parameters (or raw bytes, padded to 4).
    void record(uint32_t type, const std::vector<uint32_t>& words) {
        std::vector<uint8_t> body;
        for (uint32_t v : words) putU32(body, v);
        recordBytes(type, body);
    }
    void recordBytes(uint32_t type, std::vector<uint8_t> body) {
        body.resize((body.size() + 3) / 4 * 4, 0);
        putU32(records_, type);
        putU32(records_, uint32_t(8 + body.size()));
        records_.insert(records_.end(), body.begin(), body.end());
        ++count_;
    }

    // Objects: each gets the next handle index; the stock ones (gdi::NULL_PEN ...) need none.
    uint32_t brush(uint32_t style, uint32_t colour, uint32_t hatch = 0) {
        record(39, {++handles_, style, colour, hatch});  // EMR_CREATEBRUSHINDIRECT
        return handles_;
    }
    uint32_t pen(uint32_t style, int32_t width, uint32_t colour) {
        record(38, {++handles_, style, uint32_t(width), 0, colour});  // EMR_CREATEPEN
        return handles_;
    }
    // EMR_EXTCREATEPEN of a solid-brush pen: its style (type, ends, dashes) and width.
    uint32_t extPen(uint32_t style, uint32_t width, uint32_t colour) {
        record(95, {++handles_, 0, 0, 0, 0, style, width, gdi::BS_SOLID, colour, 0, 0});
        return handles_;
    }
    // EMR_EXTCREATEFONTINDIRECTW: a LOGFONTW (width, escapement, orientation zero; italic
    // ... pitch and family zero: ANSI_CHARSET) and the zeroed rest of the LOGFONT_PANOSE
    // form (full name, style, version, panose).
    uint32_t font(int32_t height, const std::u16string& face, uint32_t weight = 400) {
        std::vector<uint8_t> body;
        for (uint32_t v : {uint32_t(++handles_), uint32_t(height), 0u, 0u, 0u, weight, 0u, 0u}) putU32(body, v);
        for (size_t i = 0; i < 32; ++i) putU16(body, i < face.size() ? face[i] : 0);
        body.resize(4 + 320, 0);
        recordBytes(82, body);
        return handles_;
    }
    void select(uint32_t handle) { record(37, {handle}); }
    void deleteObject(uint32_t handle) { record(40, {handle}); }

    // State.
    void setMapMode(uint32_t mode) { record(17, {mode}); }
    void setWindowExt(int32_t x, int32_t y) { record(9, {uint32_t(x), uint32_t(y)}); }
    void setWindowOrg(int32_t x, int32_t y) { record(10, {uint32_t(x), uint32_t(y)}); }
    void setViewportExt(int32_t x, int32_t y) { record(11, {uint32_t(x), uint32_t(y)}); }
    void setViewportOrg(int32_t x, int32_t y) { record(12, {uint32_t(x), uint32_t(y)}); }
    void setBkMode(uint32_t mode) { record(18, {mode}); }
    void setPolyFillMode(uint32_t mode) { record(19, {mode}); }
    void setRop2(uint32_t mode) { record(20, {mode}); }
    void setTextAlign(uint32_t align) { record(22, {align}); }
    void setTextColour(uint32_t colour) { record(24, {colour}); }
    void setBkColour(uint32_t colour) { record(25, {colour}); }
    void saveDC() { record(33, {}); }
    void restoreDC(int32_t relative) { record(34, {uint32_t(relative)}); }

    // Clipping: rectangles in logical units; a region's rectangles in device units (none
    // with RGN_COPY: the clip is reset to the whole picture).
    void excludeClipRect(const RecordRect& r) { record(29, words({r})); }
    void intersectClipRect(const RecordRect& r) { record(30, words({r})); }
    void selectClipRegion(uint32_t mode, const std::vector<RecordRect>& rects) {
        std::vector<uint32_t> body = {0, mode};
        if (!rects.empty()) {
            const uint32_t n = uint32_t(rects.size());
            body = {32 + 16 * n, mode, 32, 1, n, 16 * n};  // RGNDATAHEADER: size, RDH_RECTANGLES
            appendWords(body, {boundsOf(rects)});
            appendWords(body, rects);
        }
        record(75, body);  // EMR_EXTSELECTCLIPRGN
    }
    void beginPath() { record(59, {}); }
    void endPath() { record(60, {}); }
    void closeFigure() { record(61, {}); }
    void selectClipPath(uint32_t mode) { record(67, {mode}); }

    // Drawing, in logical units.
    void rectangle(const RecordRect& r) { record(43, words({r})); }
    void ellipse(const RecordRect& r) { record(42, words({r})); }
    // EMR_ROUNDRECT: the corners' ellipse `width` x `height`.
    void roundRect(const RecordRect& r, int32_t width, int32_t height) {
        std::vector<uint32_t> body = words({r});
        body.insert(body.end(), {uint32_t(width), uint32_t(height)});
        record(44, body);
    }
    void moveTo(int32_t x, int32_t y) { record(27, {uint32_t(x), uint32_t(y)}); }
    void lineTo(int32_t x, int32_t y) { record(54, {uint32_t(x), uint32_t(y)}); }
    // EMR_POLYGON16 and EMR_POLYLINE16, the forms GDI writes for 16-bit coordinates: the
    // points' bounds, their count, the points.
    void polygon(const std::vector<RecordPoint>& points) { poly16(86, {points}, false); }
    void polyline(const std::vector<RecordPoint>& points) { poly16(87, {points}, false); }
    // EMR_POLYPOLYGON16: several polygons filled as one (the counts of each after the
    // polygons' and the points' counts).
    void polyPolygon(const std::vector<std::vector<RecordPoint>>& polygons) { poly16(91, polygons, true); }
    // EMR_SETWORLDTRANSFORM and EMR_MODIFYWORLDTRANSFORM: x' = m11 x + m21 y + dx,
    // y' = m12 x + m22 y + dy.
    void setWorldTransform(const std::array<float, 6>& m) { record(35, floatWords(m)); }
    void modifyWorldTransform(const std::array<float, 6>& m, uint32_t mode) {
        std::vector<uint32_t> body = floatWords(m);
        body.push_back(mode);
        record(36, body);
    }

    // EMR_EXTTEXTOUTW: UTF-16 text (or glyph indices with ETO_GLYPH_INDEX, 0x10) at the
    // reference point; with `dx`, one advance per character.
    void text(int32_t x, int32_t y, const std::vector<uint16_t>& characters, uint32_t options = 0,
              const std::vector<int32_t>& dx = {}, const RecordRect& bounds = {}, const RecordRect& rect = {}) {
        const uint32_t count = uint32_t(characters.size());
        const uint32_t stringBytes = (count * 2 + 3) / 4 * 4;
        // bounds, GM_COMPATIBLE, scales, the reference point, the count, the string right
        // after this record's fixed part, the options, the rectangle, the advances' place
        std::vector<uint32_t> fixed = words({bounds});
        fixed.insert(fixed.end(), {1, 0, 0, uint32_t(x), uint32_t(y), count, 76, options});
        appendWords(fixed, {rect});
        fixed.push_back(dx.empty() ? 0 : 76 + stringBytes);
        std::vector<uint8_t> body;
        for (uint32_t v : fixed) putU32(body, v);
        for (uint16_t c : characters) putU16(body, c);
        if (count % 2) putU16(body, 0);
        for (int32_t d : dx) putU32(body, uint32_t(d));
        recordBytes(84, body);
    }

    // EMR_STRETCHDIBITS: the source rectangle of a packed DIB (its pixels) stretched onto
    // the destination with a raster operation.
    void stretchDIBits(const RecordRect& dest, const RecordRect& source, const std::vector<uint8_t>& dib, uint32_t rop) {
        const uint32_t colours = uint32_t(dib[32] | dib[33] << 8);
        const uint32_t bitsAt = 40 + 4 * colours, fixed = 80;  // the DIB's pixels after its colour table
        std::vector<uint32_t> body = words({dest});  // bounds
        for (int32_t v : {dest[0], dest[1], source[0], source[1], source[2] - source[0], source[3] - source[1]})
            body.push_back(uint32_t(v));
        body.insert(body.end(), {fixed, bitsAt, fixed + bitsAt, uint32_t(dib.size()) - bitsAt, 0, rop,
                                 uint32_t(dest[2] - dest[0]), uint32_t(dest[3] - dest[1])});
        std::vector<uint8_t> bytes;
        for (uint32_t v : body) putU32(bytes, v);
        bytes.insert(bytes.end(), dib.begin(), dib.end());
        recordBytes(81, bytes);
    }

    // The file: EMR_HEADER (with both extensions), the records, then EMR_EOF unless
    // `endRecord` is false; the handle table holds at least `handlesAtLeast` entries.
    std::vector<uint8_t> bytes(bool endRecord = true, uint16_t handlesAtLeast = 0) const {
        std::vector<uint32_t> header = {1, 108};  // EMR_HEADER
        appendWords(header, {bounds_, frame_});
        // " EMF", version, total size and records (set below), handles (and a reserved
        // zero), no description nor palette, the reference device in pixels and in
        // millimetres (96 dpi on both axes), no pixel format, no OpenGL, the device in
        // micrometres
        const uint32_t handles = std::max<uint16_t>(handlesAtLeast, uint16_t(handles_ + 1));
        header.insert(header.end(), {0x464D4520, 0x10000, 0, 0, handles, 0, 0, 0, 1920, 1440, 508, 381, 0, 0, 0,
                                     508000, 381000});
        std::vector<uint8_t> e;
        for (uint32_t v : header) putU32(e, v);
        e.insert(e.end(), records_.begin(), records_.end());
        if (endRecord)
            for (uint32_t v : {14u, 20u, 0u, 16u, 20u}) putU32(e, v);  // EMR_EOF
        setU32(e, 48, uint32_t(e.size()));
        setU32(e, 52, 1 + count_ + endRecord);
        return e;
    }

private:
    static void appendWords(std::vector<uint32_t>& out, const std::vector<RecordRect>& rects) {
        for (const RecordRect& r : rects)
            for (int32_t v : r) out.push_back(uint32_t(v));
    }
    static std::vector<uint32_t> words(const std::vector<RecordRect>& rects) {
        std::vector<uint32_t> out;
        appendWords(out, rects);
        return out;
    }
    static std::vector<uint32_t> floatWords(const std::array<float, 6>& m) {
        std::vector<uint32_t> out(6);
        std::memcpy(out.data(), m.data(), sizeof m);
        return out;
    }
    void poly16(uint32_t type, const std::vector<std::vector<RecordPoint>>& polygons, bool counted) {
        std::vector<RecordRect> points;
        for (const auto& p : polygons)
            for (const auto& [x, y] : p) points.push_back({x, y, x, y});
        std::vector<uint32_t> head = words({boundsOf(points)});
        if (counted) head.push_back(uint32_t(polygons.size()));
        head.push_back(uint32_t(points.size()));
        if (counted)
            for (const auto& p : polygons) head.push_back(uint32_t(p.size()));
        std::vector<uint8_t> body;
        for (uint32_t v : head) putU32(body, v);
        for (const RecordRect& p : points) {
            putU16(body, uint16_t(p[0]));
            putU16(body, uint16_t(p[1]));
        }
        recordBytes(type, body);
    }

    RecordRect bounds_, frame_;
    std::vector<uint8_t> records_;
    uint32_t count_ = 0;
    uint16_t handles_ = 0;
};

// A placeable metafile: the 22-byte placeable header (bounding box in units per inch,
// checksum), the metafile header, the records and META_EOF. Coordinates are logical
// units, written as 16 bits; objects take the lowest free slot of the object table, as
// GDI gives them.
class WmfWriter {
public:
    WmfWriter(const std::array<int16_t, 4>& box, uint16_t unitsPerInch) : box_(box), unitsPerInch_(unitsPerInch) {}

    void record(uint16_t function, const std::vector<uint16_t>& words) {
        const uint32_t size = 3 + uint32_t(words.size());
        largest_ = std::max(largest_, size);
        putU32(records_, size);
        putU16(records_, function);
        for (uint16_t v : words) putU16(records_, v);
    }

    // Objects.
    uint16_t brush(uint16_t style, uint32_t colour, uint16_t hatch = 0) {
        return create(0x02FC, {style, uint16_t(colour), uint16_t(colour >> 16), hatch});
    }
    uint16_t pen(uint16_t style, int16_t width, uint32_t colour) {
        return create(0x02FA, {style, uint16_t(width), 0, uint16_t(colour), uint16_t(colour >> 16)});
    }
    // META_CREATEFONTINDIRECT: height, width, escapement, orientation, weight,
    // italic/underline, strike-out/character set, precisions, quality/pitch, the face
    // ending in a zero.
    uint16_t font(int16_t height, const std::string& face, uint8_t charset = gdi::ANSI_CHARSET, uint16_t weight = 400) {
        return create(0x02FB, pack({uint16_t(height), 0, 0, 0, weight, 0, uint16_t(charset << 8), 0, 0}, face + '\0'));
    }
    // META_CREATEREGION: a region object of rectangles, one scan each (rectangles must not
    // share rows).
    uint16_t region(const std::vector<RecordRect>& rects) {
        const RecordRect box = boundsOf(rects);
        std::vector<uint16_t> words = {0, 6, 0, 0, uint16_t(22 + 12 * rects.size()), uint16_t(rects.size()), 2,
                                       uint16_t(box[0]), uint16_t(box[1]), uint16_t(box[2]), uint16_t(box[3])};
        for (const auto& r : rects) words.insert(words.end(), {2, uint16_t(r[1]), uint16_t(r[3]), uint16_t(r[0]), uint16_t(r[2]), 2});
        return create(0x06FF, words);
    }
    void select(uint16_t slot) { record(0x012D, {slot}); }
    void selectClipRegion(uint16_t slot) { record(0x012C, {slot}); }
    void deleteObject(uint16_t slot) {
        record(0x01F0, {slot});
        if (slot < used_.size()) used_[slot] = false;
    }

    // State; points and rectangles are written last coordinate first.
    void setMapMode(uint16_t mode) { record(0x0103, {mode}); }
    void setWindowOrg(int16_t x, int16_t y) { record(0x020B, {uint16_t(y), uint16_t(x)}); }
    void setWindowExt(int16_t x, int16_t y) { record(0x020C, {uint16_t(y), uint16_t(x)}); }
    void setBkMode(uint16_t mode) { record(0x0102, {mode, 0}); }
    void setPolyFillMode(uint16_t mode) { record(0x0106, {mode, 0}); }
    void setRop2(uint16_t mode) { record(0x0104, {mode, 0}); }
    void setTextAlign(uint16_t align) { record(0x012E, {align, 0}); }
    void setTextColour(uint32_t colour) { record(0x0209, {uint16_t(colour), uint16_t(colour >> 16)}); }
    void setBkColour(uint32_t colour) { record(0x0201, {uint16_t(colour), uint16_t(colour >> 16)}); }
    void saveDC() { record(0x001E, {}); }
    void restoreDC(int16_t relative) { record(0x0127, {uint16_t(relative)}); }
    void excludeClipRect(const RecordRect& r) { record(0x0415, reversed(r)); }
    void intersectClipRect(const RecordRect& r) { record(0x0416, reversed(r)); }
    void offsetClipRegion(int16_t x, int16_t y) { record(0x0220, {uint16_t(y), uint16_t(x)}); }

    // Drawing.
    void rectangle(const RecordRect& r) { record(0x041B, reversed(r)); }
    void moveTo(int16_t x, int16_t y) { record(0x0214, {uint16_t(y), uint16_t(x)}); }
    void lineTo(int16_t x, int16_t y) { record(0x0213, {uint16_t(y), uint16_t(x)}); }
    void polygon(const std::vector<RecordPoint>& points) { poly(0x0324, points); }
    void polyline(const std::vector<RecordPoint>& points) { poly(0x0325, points); }
    // META_TEXTOUT: the bytes of the text in the font's character set.
    void textOut(int16_t x, int16_t y, const std::string& text) {
        std::vector<uint16_t> words = pack({uint16_t(text.size())}, text);
        words.insert(words.end(), {uint16_t(y), uint16_t(x)});
        record(0x0521, words);
    }
    // META_EXTTEXTOUT without a rectangle, with one advance per byte when `dx` is given.
    void extTextOut(int16_t x, int16_t y, const std::string& text, const std::vector<int16_t>& dx = {}) {
        std::vector<uint16_t> words = pack({uint16_t(y), uint16_t(x), uint16_t(text.size()), 0}, text);
        words.insert(words.end(), dx.begin(), dx.end());
        record(0x0A32, words);
    }
    // META_STRETCHDIB (DIB_RGB_COLORS) and META_DIBSTRETCHBLT: the source rectangle of a
    // packed DIB (its pixels) stretched onto the destination with a raster operation.
    void stretchDib(const RecordRect& dest, const RecordRect& source, const std::vector<uint8_t>& dib, uint32_t rop) {
        stretch(0x0F43, {uint16_t(rop), uint16_t(rop >> 16), 0}, dest, source, dib);
    }
    void dibStretchBlt(const RecordRect& dest, const RecordRect& source, const std::vector<uint8_t>& dib, uint32_t rop) {
        stretch(0x0B41, {uint16_t(rop), uint16_t(rop >> 16)}, dest, source, dib);
    }

    // The file; the object table holds at least `objectsAtLeast` slots.
    std::vector<uint8_t> bytes(uint16_t objectsAtLeast = 0) const {
        std::vector<uint8_t> w;
        putU32(w, 0x9AC6CDD7);
        putU16(w, 0);
        for (int16_t v : box_) putU16(w, uint16_t(v));
        putU16(w, unitsPerInch_);
        putU32(w, 0);
        uint16_t sum = 0;
        for (size_t i = 0; i < 10; ++i) sum ^= uint16_t(w[2 * i] | w[2 * i + 1] << 8);
        putU16(w, sum);
        // in memory, 9 header words, version 0x300, the size in words (set below), the
        // object table, the largest record, no parameters
        const size_t start = w.size();
        for (uint16_t v : {1, 9, 0x300, 0, 0}) putU16(w, v);
        putU16(w, std::max<uint16_t>(objectsAtLeast, uint16_t(used_.size())));
        putU32(w, std::max<uint32_t>(largest_, 3));
        putU16(w, 0);
        w.insert(w.end(), records_.begin(), records_.end());
        for (uint16_t v : {3, 0, 0}) putU16(w, v);  // META_EOF
        setU32(w, start + 6, uint32_t((w.size() - start) / 2));
        return w;
    }

private:
    uint16_t create(uint16_t function, const std::vector<uint16_t>& words) {
        const auto free = std::find(used_.begin(), used_.end(), false);
        const uint16_t slot = uint16_t(free - used_.begin());
        if (free == used_.end()) used_.push_back(true);
        else *free = true;
        record(function, words);
        return slot;
    }
    static std::vector<uint16_t> reversed(const RecordRect& r) {
        return {uint16_t(r[3]), uint16_t(r[2]), uint16_t(r[1]), uint16_t(r[0])};  // bottom, right, top, left
    }
    // Bytes two to a word, the last padded with a zero.
    static std::vector<uint16_t> pack(std::vector<uint16_t> words, const std::string& bytes) {
        for (size_t i = 0; i < bytes.size(); i += 2)
            words.push_back(uint16_t(uint8_t(bytes[i]) | (i + 1 < bytes.size() ? uint8_t(bytes[i + 1]) << 8 : 0)));
        return words;
    }
    void stretch(uint16_t function, std::vector<uint16_t> words, const RecordRect& dest, const RecordRect& source,
                 const std::vector<uint8_t>& dib) {
        for (int32_t v : {source[3] - source[1], source[2] - source[0], source[1], source[0], dest[3] - dest[1],
                          dest[2] - dest[0], dest[1], dest[0]})
            words.push_back(uint16_t(v));
        record(function, pack(words, std::string(dib.begin(), dib.end())));
    }
    void poly(uint16_t function, const std::vector<RecordPoint>& points) {
        std::vector<uint16_t> words = {uint16_t(points.size())};
        for (const auto& [x, y] : points) words.insert(words.end(), {uint16_t(x), uint16_t(y)});
        record(function, words);
    }

    std::array<int16_t, 4> box_;
    uint16_t unitsPerInch_;
    std::vector<uint8_t> records_;
    uint32_t largest_ = 0;
    std::vector<bool> used_;
};

}  // namespace qfip::testing
