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

    // A width x height picture (at 96 dpi) whose left half is the red rectangle.
    static EmfFile leftHalfRed(int32_t width, int32_t height) {
        EmfFile emf;
        const int32_t frame[4] = {0, 0, width * 2540 / 96, height * 2540 / 96};
        const int32_t bounds[4] = {0, 0, width - 1, height - 1};
        const int32_t rect[4] = {0, 0, width / 2, height};
        std::copy(std::begin(frame), std::end(frame), emf.frame);
        std::copy(std::begin(bounds), std::end(bounds), emf.bounds);
        std::copy(std::begin(rect), std::end(rect), emf.rect);
        return emf;
    }

    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> e;
        putU32(e, 1);    // EMR_HEADER
        putU32(e, 108);  // header with both extensions
        for (int32_t v : bounds) putU32(e, uint32_t(v));
        for (int32_t v : frame) putU32(e, uint32_t(v));
        putU32(e, 0x464D4520);  // " EMF"
        putU32(e, 0x10000);
        putU32(e, 0);  // total size, set below
        putU32(e, 0);  // records, set below
        putU16(e, fontFace.empty() ? 2 : 3);  // handles
        putU16(e, 0);
        putU32(e, 0);  // description
        putU32(e, 0);
        putU32(e, 0);  // palette entries
        putU32(e, 1024);  // reference device in pixels
        putU32(e, 768);
        putU32(e, 271);   // and in millimetres (96 dpi)
        putU32(e, 203);
        putU32(e, 0);  // pixel format
        putU32(e, 0);
        putU32(e, 0);  // OpenGL
        putU32(e, 271000);
        putU32(e, 203000);
        // EMR_CREATEBRUSHINDIRECT 1: solid
        putU32(e, 39); putU32(e, 24); putU32(e, 1); putU32(e, 0); putU32(e, colour); putU32(e, 0);
        // EMR_SELECTOBJECT brush 1, then the stock NULL_PEN
        putU32(e, 37); putU32(e, 12); putU32(e, 1);
        putU32(e, 37); putU32(e, 12); putU32(e, 0x80000008);
        // EMR_RECTANGLE
        putU32(e, 43); putU32(e, 24);
        for (int32_t v : rect) putU32(e, uint32_t(v));
        uint32_t records = 5;
        if (!fontFace.empty()) {
            // EMR_EXTCREATEFONTINDIRECTW 2: a LOGFONTW and the zeroed rest of the
            // LOGFONT_PANOSE form (full name, style, version, panose), then select it.
            putU32(e, 82); putU32(e, 332); putU32(e, 2);
            const size_t logFont = e.size();
            putU32(e, uint32_t(fontHeight));
            for (int i = 0; i < 3; ++i) putU32(e, 0);  // width, escapement, orientation
            putU32(e, 400);                            // weight
            for (int i = 0; i < 8; ++i) e.push_back(0);  // italic ... pitch and family
            for (size_t i = 0; i < 32; ++i) putU16(e, i < fontFace.size() ? fontFace[i] : 0);
            e.resize(logFont + 320, 0);
            putU32(e, 37); putU32(e, 12); putU32(e, 2);
            records += 2;
        }
        for (const EmfText& text : texts) {
            const uint32_t count = uint32_t(text.characters.size());
            const uint32_t stringBytes = (count * 2 + 3) / 4 * 4;
            const uint32_t size = 76 + stringBytes + (text.advances ? count * 4 : 0);
            putU32(e, 84); putU32(e, size);            // EMR_EXTTEXTOUTW
            for (int32_t v : bounds) putU32(e, uint32_t(v));
            putU32(e, 1);                              // GM_COMPATIBLE
            putU32(e, 0); putU32(e, 0);                // scales
            putU32(e, uint32_t(text.x)); putU32(e, uint32_t(text.y));
            putU32(e, count);
            putU32(e, 76);                             // string offset
            putU32(e, text.glyphIndex ? 0x10 : 0);     // ETO_GLYPH_INDEX
            for (int32_t v : bounds) putU32(e, uint32_t(v));
            putU32(e, text.advances ? 76 + stringBytes : 0);
            for (uint16_t c : text.characters) putU16(e, c);
            if (count % 2) putU16(e, 0);
            if (text.advances)
                for (uint32_t i = 0; i < count; ++i) putU32(e, 8);
            ++records;
        }
        if (endRecord) {
            // EMR_EOF
            putU32(e, 14); putU32(e, 20); putU32(e, 0); putU32(e, 16); putU32(e, 20);
            ++records;
        }
        setU32(e, 48, uint32_t(e.size()));
        setU32(e, 52, records);
        return e;
    }
};

// The 22-byte placeable header: key, box in units per inch, checksum.
inline std::vector<uint8_t> placeableHeader(const int16_t (&box)[4], uint16_t unitsPerInch) {
    std::vector<uint8_t> w;
    putU32(w, 0x9AC6CDD7);
    putU16(w, 0);
    for (int16_t v : box) putU16(w, uint16_t(v));
    putU16(w, unitsPerInch);
    putU32(w, 0);
    uint16_t sum = 0;
    for (size_t i = 0; i < 10; ++i) sum ^= uint16_t(w[2 * i] | w[2 * i + 1] << 8);
    putU16(w, sum);
    return w;
}

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
        std::vector<uint8_t> w = placeableHeader(box, unitsPerInch);

        const size_t start = w.size();
        putU16(w, 1);      // in memory
        putU16(w, 9);      // header words
        putU16(w, 0x300);  // version
        putU32(w, 0);      // size in words, set below
        putU16(w, 2);      // objects: a brush and a font
        putU32(w, 0);      // largest record in words, set below
        putU16(w, 0);
        uint32_t largest = 0;
        const auto record = [&](uint16_t function, const std::vector<uint16_t>& words) {
            const uint32_t size = 3 + uint32_t(words.size());
            largest = std::max(largest, size);
            putU32(w, size);
            putU16(w, function);
            for (uint16_t v : words) putU16(w, v);
        };
        const auto fill = [&](uint32_t colour, const int16_t* r, uint32_t times, uint32_t saved) {
            // META_CREATEBRUSHINDIRECT (style, colour, hatch) into slot 0, META_SELECTOBJECT
            // 0, META_SAVEDC, META_RECTANGLE (bottom, right, top, left), META_DELETEOBJECT 0
            record(0x02FC, {0, uint16_t(colour), uint16_t(colour >> 16), 0});
            record(0x012D, {0});
            for (uint32_t i = 0; i < saved; ++i) record(0x001E, {});
            for (uint32_t i = 0; i < times; ++i) record(0x041B, {uint16_t(r[3]), uint16_t(r[2]), uint16_t(r[1]), uint16_t(r[0])});
            record(0x01F0, {0});
        };
        // META_SETWINDOWORG (y, x), META_SETWINDOWEXT (y, x)
        record(0x020B, {0, 0});
        record(0x020C, {uint16_t(windowExtent[1]), uint16_t(windowExtent[0])});
        fill(colour, rect, rectangles, savedContexts);
        for (const Fill& f : more) fill(f.first, f.second.data(), 1, 0);
        // Bytes two to a word, the last padded with a zero.
        const auto pack = [](std::vector<uint16_t> words, const std::string& bytes, size_t size) {
            for (size_t i = 0; i < size; i += 2)
                words.push_back(uint16_t(uint8_t(bytes[i]) | (i + 1 < bytes.size() ? uint8_t(bytes[i + 1]) << 8 : 0)));
            return words;
        };
        if (!text.empty()) {
            // META_CREATEFONTINDIRECT: height, width, escapement, orientation, weight,
            // italic/underline, strike-out/charset, precisions, quality/pitch, the face
            // ending in a zero; META_SELECTOBJECT 0
            record(0x02FB, pack({uint16_t(-12), 0, 0, 0, 400, 0, 0, 0, 0}, fontFace, fontFace.size() + 1));
            record(0x012D, {0});
            // META_TEXTOUT: length, the characters, y, x
            std::vector<uint16_t> words = pack({uint16_t(text.size())}, text, text.size());
            words.insert(words.end(), {2, 2});
            record(0x0521, words);
        }
        putU32(w, 3); putU16(w, 0);  // META_EOF
        setU32(w, start + 6, uint32_t((w.size() - start) / 2));
        setU32(w, start + 12, largest);
        return w;
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
    const int16_t corners[4] = {box[0], box[1], box[2], box[3]};
    std::vector<uint8_t> w = placeableHeader(corners, unitsPerInch);
    const size_t start = w.size();
    putU16(w, 1);
    putU16(w, 9);
    putU16(w, 0x300);
    putU32(w, 0);  // size in words, set below
    putU16(w, objects);
    putU32(w, 0);  // largest record, set below
    putU16(w, 0);
    uint32_t largest = 3;
    for (const MetaRecord& r : records) {
        largest = std::max(largest, 3 + uint32_t(r.words.size()));
        putU32(w, 3 + uint32_t(r.words.size()));
        putU16(w, uint16_t(r.function));
        for (uint32_t v : r.words) putU16(w, uint16_t(v));
    }
    putU32(w, 3);
    putU16(w, 0);  // META_EOF
    setU32(w, start + 6, uint32_t((w.size() - start) / 2));
    setU32(w, start + 12, largest);
    return w;
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
    std::vector<uint8_t> e;
    putU32(e, 1);
    putU32(e, 108);
    for (int32_t v : bounds) putU32(e, uint32_t(v));
    for (int32_t v : frame) putU32(e, uint32_t(v));
    putU32(e, 0x464D4520);
    putU32(e, 0x10000);
    putU32(e, 0);  // total size, set below
    putU32(e, 0);  // records, set below
    putU16(e, handles);
    putU16(e, 0);
    for (uint32_t v : {0u, 0u, 0u, 1024u, 768u, 271u, 203u, 0u, 0u, 0u, 271000u, 203000u}) putU32(e, v);
    for (const MetaRecord& r : records) {
        putU32(e, r.function);
        putU32(e, 8 + 4 * uint32_t(r.words.size()));
        for (uint32_t v : r.words) putU32(e, v);
    }
    for (uint32_t v : {14u, 20u, 0u, 16u, 20u}) putU32(e, v);  // EMR_EOF
    setU32(e, 48, uint32_t(e.size()));
    setU32(e, 52, uint32_t(records.size() + 2));
    return e;
}

}  // namespace qfip::testing
