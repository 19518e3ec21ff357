#include "render/WmfTextPainter.h"

#include <algorithm>
#include <cmath>

#include <libwmf/font.h>
#include <libwmf/macro.h>

namespace {

// Whether a pixel is inside the image and the device's clip rectangles (none: all of it).
bool drawable(const gdImage& image, int x, int y) {
    if (x < 0 || y < 0 || x >= image.sx || y >= image.sy) return false;
    const gdClipSet* clip = image.clip;
    if (!clip || clip->count <= 0) return true;
    for (int i = 0; i < clip->count; ++i) {
        const gdClipRectangle& r = clip->list[i];
        if (x >= r.x_min && x <= r.x_max && y >= r.y_min && y <= r.y_max) return true;
    }
    return false;
}

// `coverage` of 255 is the colour itself; gd's truecolor pixels are 0x00RRGGBB (opaque).
void blend(gdImage& image, int x, int y, const wmfRGB& colour, unsigned coverage) {
    if (coverage == 0 || !drawable(image, x, y)) return;
    int& pixel = image.tpixels[y][x];
    const auto mix = [coverage](unsigned over, unsigned under) { return (over * coverage + under * (255 - coverage) + 127) / 255; };
    const unsigned r = mix(colour.r, unsigned(pixel) >> 16 & 0xFF);
    const unsigned g = mix(colour.g, unsigned(pixel) >> 8 & 0xFF);
    const unsigned b = mix(colour.b, unsigned(pixel) & 0xFF);
    pixel = int(r << 16 | g << 8 | b);
}

void blit(gdImage& image, const FT_Bitmap& bitmap, int left, int top, const wmfRGB& colour) {
    for (unsigned row = 0; row < bitmap.rows; ++row) {
        const unsigned char* line = bitmap.buffer + ptrdiff_t(row) * bitmap.pitch;
        for (unsigned col = 0; col < bitmap.width; ++col) {
            unsigned coverage = 0;
            if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
                coverage = bitmap.num_grays > 1 ? line[col] * 255u / unsigned(bitmap.num_grays - 1) : 0;
            } else if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
                coverage = (line[col >> 3] << (col & 7)) & 0x80 ? 255 : 0;
            }
            blend(image, left + int(col), top + int(row), colour, coverage);
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

}  // namespace

void paintWmfText(const GdCanvas& canvas, const wmfDrawText_t& text, const std::u32string& characters, bool symbolCodes) {
    if (!canvas.image || !canvas.image->trueColor || characters.empty() || !text.dc) return;
    const wmfFont* font = WMF_DC_FONT(text.dc);
    FT_Face face = font ? WMF_FONT_FTFACE(font) : nullptr;
    if (!face) return;
    const double frameWidth = double(canvas.frame.BR.x) - canvas.frame.TL.x;
    const double frameHeight = double(canvas.frame.BR.y) - canvas.frame.TL.y;
    if (!(frameWidth > 0) || !(frameHeight > 0)) return;

    // Sizes in pixels, as the device maps them (a negative height is the character's).
    const double height = std::fabs(text.font_height) * canvas.height / frameHeight;
    double ratio = std::fabs(text.font_height * text.font_ratio) * canvas.width / frameWidth / height;
    if (!std::isfinite(ratio) || ratio <= 0) ratio = 1;
    if (!std::isfinite(height) || height < 1 || height > 16384) return;
    const FT_CharMap previous = face->charmap;
    FT_CharMap map = charMapFor(face, symbolCodes);
    if (map) FT_Set_Charmap(face, map);
    FT_Set_Char_Size(face, FT_F26Dot6(64 * height * ratio), FT_F26Dot6(64 * height), 0, 0);

    const double theta = -WMF_TEXT_ANGLE(font);
    const double phi = std::atan2(std::sin(theta), ratio * std::cos(theta));
    FT_Matrix matrix;
    matrix.xx = FT_Fixed(std::cos(phi) * 0x10000);
    matrix.xy = FT_Fixed(std::sin(phi) * 0x10000);
    matrix.yx = FT_Fixed(-std::sin(phi) * 0x10000);
    matrix.yy = FT_Fixed(std::cos(phi) * 0x10000);

    const wmfRGB colour = *WMF_DC_TEXTCOLOR(text.dc);
    // The reference point in pixels; each glyph's origin moves on by the advance
    // (FreeType's y grows upwards, the image's downwards).
    const double startX = (text.pt.x - canvas.frame.TL.x) * canvas.width / frameWidth;
    const double startY = (text.pt.y - canvas.frame.TL.y) * canvas.height / frameHeight;
    double advanceX = 0, advanceY = 0;
    for (const char32_t character : characters) {
        const double originX = startX + advanceX, originY = startY - advanceY;
        if (std::fabs(originX) > 1e6 || std::fabs(originY) > 1e6) break;
        const double wholeX = std::floor(originX), wholeY = std::floor(originY);
        FT_Vector delta{FT_Pos((originX - wholeX) * 64), FT_Pos(-(originY - wholeY) * 64)};
        FT_Set_Transform(face, &matrix, &delta);
        const FT_ULong code = symbolCodes && map && map->encoding == FT_ENCODING_MS_SYMBOL ? 0xF000 | character : character;
        if (FT_Load_Char(face, code, FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot glyph = face->glyph;
        blit(*canvas.image, glyph->bitmap, int(wholeX) + glyph->bitmap_left, int(wholeY) - glyph->bitmap_top, colour);
        advanceX += glyph->advance.x / 64.0;
        advanceY += glyph->advance.y / 64.0;
    }
    FT_Set_Transform(face, nullptr, nullptr);
    if (previous) FT_Set_Charmap(face, previous);
}
