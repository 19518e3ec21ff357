#include "render/WmfTextPainter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint16_t kTaCentre = 6, kTaRight = 2, kTaBottom = 8, kTaBaseline = 24;

bool drawable(const GdCanvas& canvas, const std::optional<qfip::Rect>& clipBox, int64_t x, int64_t y) {
    const gdImage& image = *canvas.image;
    if (x < 0 || y < 0 || x >= image.sx || y >= image.sy) return false;
    if (clipBox && (x < clipBox->Left || x >= clipBox->Right || y < clipBox->Top || y >= clipBox->Bottom)) return false;
    return !canvas.clip || canvas.clip->contains(x, y);
}

// `coverage` of 255 is the colour itself; gd's truecolor pixels are 0x00RRGGBB (opaque).
void blend(int& pixel, uint32_t colour, unsigned coverage) {
    const auto mix = [coverage](unsigned over, unsigned under) { return (over * coverage + under * (255 - coverage) + 127) / 255; };
    const unsigned r = mix(colour >> 16 & 0xFF, unsigned(pixel) >> 16 & 0xFF);
    const unsigned g = mix(colour >> 8 & 0xFF, unsigned(pixel) >> 8 & 0xFF);
    const unsigned b = mix(colour & 0xFF, unsigned(pixel) & 0xFF);
    pixel = int(r << 16 | g << 8 | b);
}

void blit(const GdCanvas& canvas, const std::optional<qfip::Rect>& clipBox, const FT_Bitmap& bitmap, int64_t left, int64_t top,
          uint32_t colour) {
    for (unsigned row = 0; row < bitmap.rows; ++row) {
        const unsigned char* line = bitmap.buffer + ptrdiff_t(row) * bitmap.pitch;
        for (unsigned col = 0; col < bitmap.width; ++col) {
            unsigned coverage = 0;
            if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
                coverage = bitmap.num_grays > 1 ? line[col] * 255u / unsigned(bitmap.num_grays - 1) : 0;
            } else if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
                coverage = (line[col >> 3] << (col & 7)) & 0x80 ? 255 : 0;
            }
            const int64_t x = left + col, y = top + row;
            if (coverage && drawable(canvas, clipBox, x, y)) blend(canvas.image->tpixels[y][x], colour, coverage);
        }
    }
}

// The character map a code is looked up in: Unicode for characters; the font's own
// encoding for a symbol font's glyph codes (Unicode when it has none).
FT_CharMap charMapFor(FT_Face face, bool symbolCodes) {
    FT_CharMap unicode = nullptr, own = nullptr;
    for (int i = 0; i < face->num_charmaps; ++i) {
        FT_CharMap map = face->charmaps[i];
        if (map->encoding == FT_ENCODING_UNICODE) unicode = map;
        if (map->encoding == FT_ENCODING_ADOBE_CUSTOM || map->encoding == FT_ENCODING_ADOBE_STANDARD ||
            map->encoding == FT_ENCODING_MS_SYMBOL)
            own = own ? own : map;
    }
    return symbolCodes && own ? own : unicode;
}

PixelPoint rounded(double x, double y) {
    const auto r = [](double v) { return int64_t(std::llround(std::clamp(v, -1e12, 1e12))); };
    return PixelPoint{r(x), r(y)};
}

}  // namespace

double paintWmfText(const GdCanvas& canvas, const WmfTextStyle& style, const WmfTextRun& run) {
    if (!canvas.image || !canvas.image->trueColor || !style.face || run.characters.empty()) return 0;
    if (!std::isfinite(style.height) || style.height < 1 || style.height > 16384) return 0;
    if (!std::isfinite(run.x) || !std::isfinite(run.y) || std::fabs(run.x) > 1e9 || std::fabs(run.y) > 1e9) return 0;
    const double ratio = std::isfinite(style.widthRatio) && style.widthRatio > 0 && style.widthRatio < 64 ? style.widthRatio : 1;
    FT_Face face = style.face;
    const FT_CharMap previous = face->charmap;
    FT_CharMap map = charMapFor(face, style.symbolCodes);
    if (map) FT_Set_Charmap(face, map);
    FT_Set_Char_Size(face, FT_F26Dot6(64 * style.height * ratio), FT_F26Dot6(64 * style.height), 0, 0);
    FT_Set_Transform(face, nullptr, nullptr);
    const auto code = [&](char32_t character) {
        return FT_ULong(style.symbolCodes && map && map->encoding == FT_ENCODING_MS_SYMBOL ? 0xF000 | character : character);
    };

    // Where each character's origin is along the baseline, from the text's start.
    std::vector<double> pen(run.characters.size());
    double total = 0;
    if (!run.byteAdvances.empty()) {
        size_t byte = 0;
        for (size_t k = 0; k < run.characters.size(); ++k) {
            for (; byte < run.characters[k].byte && byte < run.byteAdvances.size(); ++byte) total += run.byteAdvances[byte];
            pen[k] = total;
        }
        for (; byte < run.byteAdvances.size(); ++byte) total += run.byteAdvances[byte];
    } else {
        for (size_t k = 0; k < run.characters.size(); ++k) {
            pen[k] = total;
            if (FT_Load_Char(face, code(run.characters[k].character), FT_LOAD_DEFAULT) == 0) total += face->glyph->advance.x / 64.0;
        }
    }
    const double ascent = face->size->metrics.ascender / 64.0, descent = -face->size->metrics.descender / 64.0;
    const double startU = (style.align & kTaCentre) == kTaCentre ? -total / 2 : (style.align & kTaCentre) == kTaRight ? -total : 0;
    const double baselineV = (style.align & kTaBaseline) == kTaBaseline ? 0 : (style.align & kTaBottom) ? -descent : ascent;

    // The baseline's direction and the one down from it, in the bitmap (y down).
    const double theta = -style.escapement;
    const double phi = std::atan2(std::sin(theta), ratio * std::cos(theta));
    const double alongX = std::cos(phi), alongY = std::sin(phi), downX = -std::sin(phi), downY = std::cos(phi);
    const auto at = [&](double u, double v) { return std::pair{run.x + u * alongX + v * downX, run.y + u * alongY + v * downY}; };

    const PixelPaint backgroundPaint{style.background};
    if (run.opaqueBox && !run.opaqueBox->isEmpty())
        fillPixels(canvas, run.opaqueBox->Left, run.opaqueBox->Top, run.opaqueBox->Right - 1, run.opaqueBox->Bottom - 1, backgroundPaint);
    if (style.opaque && total > 0) {
        std::vector<PixelPoint> cell;
        for (const auto& [u, v] : {std::pair{startU, baselineV - ascent}, std::pair{startU + total, baselineV - ascent},
                                   std::pair{startU + total, baselineV + descent}, std::pair{startU, baselineV + descent}}) {
            const auto [x, y] = at(u, v);
            cell.push_back(rounded(x, y));
        }
        fillPolygon(canvas, {cell}, FillRule::Winding, backgroundPaint);
    }

    FT_Matrix matrix;
    matrix.xx = FT_Fixed(std::cos(phi) * 0x10000);
    matrix.xy = FT_Fixed(std::sin(phi) * 0x10000);
    matrix.yx = FT_Fixed(-std::sin(phi) * 0x10000);
    matrix.yy = FT_Fixed(std::cos(phi) * 0x10000);
    for (size_t k = 0; k < run.characters.size(); ++k) {
        const auto [originX, originY] = at(startU + pen[k], baselineV);
        if (std::fabs(originX) > 1e6 || std::fabs(originY) > 1e6) continue;
        const double wholeX = std::floor(originX), wholeY = std::floor(originY);
        FT_Vector delta{FT_Pos((originX - wholeX) * 64), FT_Pos(-(originY - wholeY) * 64)};
        FT_Set_Transform(face, &matrix, &delta);
        if (FT_Load_Char(face, code(run.characters[k].character), FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot glyph = face->glyph;
        blit(canvas, run.clipBox, glyph->bitmap, int64_t(wholeX) + glyph->bitmap_left, int64_t(wholeY) - glyph->bitmap_top, style.colour);
    }
    FT_Set_Transform(face, nullptr, nullptr);
    if (previous) FT_Set_Charmap(face, previous);
    return total;
}
