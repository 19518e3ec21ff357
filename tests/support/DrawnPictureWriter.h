#pragma once

// Builds icon and metafile bytes in tests: a 32-bit icon, an enhanced metafile with one
// filled rectangle and a placeable metafile with filled rectangles, both with text.
#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/BmpWriter.h"
#include "support/MetafileWriter.h"

namespace qfip::testing {

// An icon file with one 32-bit image; pixels are 0xAARRGGBB words, top row first.
inline std::vector<uint8_t> icon32(int width, int height, const std::vector<uint32_t>& pixels) {
    std::vector<uint8_t> dib;
    putU32(dib, 40);
    putU32(dib, uint32_t(width));
    putU32(dib, uint32_t(height * 2));  // colour rows and mask rows
    putU16(dib, 1);
    putU16(dib, 32);
    for (int i = 0; i < 6; ++i) putU32(dib, 0);
    for (int y = height - 1; y >= 0; --y)
        for (int x = 0; x < width; ++x) putU32(dib, pixels[size_t(y) * size_t(width) + size_t(x)]);
    const size_t maskRow = (size_t(width) + 31) / 32 * 4;
    dib.insert(dib.end(), maskRow * size_t(height), 0);  // all opaque

    std::vector<uint8_t> out;
    putU16(out, 0);
    putU16(out, 1);  // icon
    putU16(out, 1);  // one image
    out.push_back(uint8_t(width));
    out.push_back(uint8_t(height));
    out.push_back(0);
    out.push_back(0);
    putU16(out, 1);
    putU16(out, 32);
    putU32(out, uint32_t(dib.size()));
    putU32(out, 22);
    out.insert(out.end(), dib.begin(), dib.end());
    return out;
}

// ASCII text as UTF-16 code units.
inline std::vector<uint16_t> utf16(std::string_view text) { return std::vector<uint16_t>(text.begin(), text.end()); }

// A metafile's text that, written unescaped into the SVG a metafile library makes of it,
// draws "Hi", ends the text element, adds an image as large as the picture showing the
// file at `path`, and starts a text element again so that the document stays well-formed.
// libemf2svg writes text in a CDATA section, libwmf doesn't.
inline std::string textAddingImage(const std::string& path, int width, int height, bool cdata) {
    const std::string image = "<image xmlns:xlink=\"http://www.w3.org/1999/xlink\" x=\"0\" y=\"0\" width=\"" +
                              std::to_string(width) + "\" height=\"" + std::to_string(height) +
                              "\" preserveAspectRatio=\"none\" xlink:href=\"" + path + "\"/>";
    return cdata ? "Hi]]></text>" + image + "<text><![CDATA[" : "Hi</text>" + image + "<text>";
}

// One EMR_EXTTEXTOUTW record: UTF-16 text, or glyph indices of the selected font when
// `glyphIndex` is set (ETO_GLYPH_INDEX); with `advances`, one Dx value per character.
struct EmfText {
    int32_t x = 2, y = 2;
    std::vector<uint16_t> characters;
    bool glyphIndex = false;
    bool advances = false;
};

// An enhanced metafile: EMR_HEADER with the given bounds (inclusive pixels) and frame
// (0.01 mm), a solid brush of colour 0x00BBGGRR, no pen, one rectangle, then (when a
// font face is named) a font of that face selected and the text records, and EMR_EOF
// unless `endRecord` is false.
struct EmfFile {
    int32_t bounds[4] = {0, 0, 47, 23};
    int32_t frame[4] = {0, 0, 1270, 635};
    uint32_t colour = 0x000000FF;  // red
    int32_t rect[4] = {0, 0, 24, 24};
    std::u16string fontFace;
    int32_t fontHeight = -12;
    std::vector<EmfText> texts;
    bool endRecord = true;

    // A width x height picture (at 96 dpi) whose left half is the red rectangle (GDI
    // leaves the right column and bottom row of a rectangle drawn with the null pen out:
    // it reaches a pixel further).
    static EmfFile leftHalfRed(int32_t width, int32_t height) {
        EmfFile emf;
        const int32_t frame[4] = {0, 0, width * 2540 / 96, height * 2540 / 96};
        const int32_t bounds[4] = {0, 0, width - 1, height - 1};
        const int32_t rect[4] = {0, 0, width / 2 + 1, height + 1};
        std::copy(std::begin(frame), std::end(frame), emf.frame);
        std::copy(std::begin(bounds), std::end(bounds), emf.bounds);
        std::copy(std::begin(rect), std::end(rect), emf.rect);
        return emf;
    }

    std::vector<uint8_t> bytes() const {
        EmfWriter e({bounds[0], bounds[1], bounds[2], bounds[3]}, {frame[0], frame[1], frame[2], frame[3]});
        e.select(e.brush(gdi::BS_SOLID, colour));
        e.select(gdi::NULL_PEN);
        e.rectangle({rect[0], rect[1], rect[2], rect[3]});
        if (!fontFace.empty()) e.select(e.font(fontHeight, fontFace));
        const RecordRect box = {bounds[0], bounds[1], bounds[2], bounds[3]};
        for (const EmfText& text : texts)
            e.text(text.x, text.y, text.characters, text.glyphIndex ? 0x10 : 0,  // ETO_GLYPH_INDEX
                   text.advances ? std::vector<int32_t>(text.characters.size(), 8) : std::vector<int32_t>{}, box, box);
        return e.bytes(endRecord);
    }
};

// A placeable metafile: the 22-byte header (bounding box in units per inch, checksum),
// the metafile header, window origin and extent, a solid brush of colour 0x00BBGGRR, one
// rectangle in window units, then one more rectangle with a brush of its own for each of
// `more`, then (when there is text) a 12-unit font of the face named and the text at
// (2, 2) (its top left), and the end record.
struct WmfFile {
    using Fill = std::pair<uint32_t, std::array<int16_t, 4>>;  // colour; left, top, right, bottom

    int16_t box[4] = {0, 0, 40, 30};  // left, top, right, bottom
    uint16_t unitsPerInch = 96;
    uint32_t colour = 0x0000FF00;  // green
    int16_t windowExtent[2] = {40, 30};
    int16_t rect[4] = {0, 0, 40, 30};  // left, top, right, bottom
    // Large honest files: the rectangle drawn this many times, and as many saved device
    // contexts (META_SAVEDC) before it.
    uint32_t rectangles = 1;
    uint32_t savedContexts = 0;
    std::vector<Fill> more;
    std::string fontFace = "Times New Roman";
    std::string text;

    std::vector<uint8_t> bytes() const {
        WmfWriter w({box[0], box[1], box[2], box[3]}, unitsPerInch);
        w.setWindowOrg(0, 0);
        w.setWindowExt(windowExtent[0], windowExtent[1]);
        const auto fill = [&](uint32_t colour, const int16_t* r, uint32_t times, uint32_t saved) {
            const uint16_t brush = w.brush(gdi::BS_SOLID, colour);
            w.select(brush);
            for (uint32_t i = 0; i < saved; ++i) w.saveDC();
            for (uint32_t i = 0; i < times; ++i) w.rectangle({r[0], r[1], r[2], r[3]});
            w.deleteObject(brush);
        };
        fill(colour, rect, rectangles, savedContexts);
        for (const Fill& f : more) fill(f.first, f.second.data(), 1, 0);
        if (!text.empty()) {
            w.select(w.font(-12, fontFace));
            w.textOut(2, 2, text);
        }
        return w.bytes(2);  // room for a brush and a font
    }
};

// Metafiles of any records, for the drawing tables: a placeable metafile of 16-bit
// records (function, parameter words) after its two headers, its box in units of
// `unitsPerInch`, room for `objects` objects; an enhanced metafile of 32-bit records
// (type, parameter words) after its header and before EMR_EOF, bounds in inclusive
// pixels and frame in 0.01 mm, room for `handles` handles.
struct MetaRecord {
    uint32_t function;
    std::vector<uint32_t> words;  // 16-bit in a placeable metafile
};

inline std::vector<uint8_t> placeableMetafile(const std::array<int16_t, 4>& box, uint16_t unitsPerInch, uint16_t objects,
                                              const std::vector<MetaRecord>& records) {
    WmfWriter w(box, unitsPerInch);
    for (const MetaRecord& r : records) w.record(uint16_t(r.function), std::vector<uint16_t>(r.words.begin(), r.words.end()));
    return w.bytes(objects);
}

// Bytes as 16-bit parameter words, two to a word, the last padded with a zero.
inline std::vector<uint32_t> wordsOfBytes(std::string_view bytes) {
    std::vector<uint32_t> words;
    for (size_t i = 0; i < bytes.size(); i += 2)
        words.push_back(uint8_t(bytes[i]) | (i + 1 < bytes.size() ? uint32_t(uint8_t(bytes[i + 1])) << 8 : 0));
    return words;
}

inline std::vector<uint8_t> enhancedMetafile(const std::array<int32_t, 4>& bounds, const std::array<int32_t, 4>& frame,
                                             uint16_t handles, const std::vector<MetaRecord>& records) {
    EmfWriter e(bounds, frame);
    for (const MetaRecord& r : records) e.record(r.function, r.words);
    return e.bytes(true, handles);
}

}  // namespace qfip::testing
