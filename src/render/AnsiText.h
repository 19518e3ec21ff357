#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A placeable metafile's text is bytes in the code page of its font's character set
// (LOGFONT lfCharSet): Windows-1252 for ANSI_CHARSET and DEFAULT_CHARSET (and any set
// this table does not know), Windows-1250 to 1258, 874 and the double-byte pages 932,
// 936, 949 and 950 for the others, the OEM page 437 for OEM_CHARSET. Decoded with the C
// library's converters (iconv; the helper's confinement allows their folder). A byte
// sequence the page does not define becomes U+FFFD, one replacement character for each
// byte that starts one, so nothing is lost silently and nothing stops the drawing.
// SYMBOL_CHARSET text is not characters but glyph codes of the font's own encoding: it
// comes back byte for byte (each byte one code).
inline constexpr uint8_t kSymbolCharset = 2;

std::u32string decodeAnsiText(std::string_view bytes, uint8_t charset);

// The same characters one at a time, each with the offset of its first byte: text with
// an advance for each byte (META_EXTTEXTOUT) places a double-byte character at the
// advances of the bytes before it. Each character is decoded on its own (a converter
// that joins a letter and a following accent, as Windows-1258's may, gives them apart).
struct AnsiCharacter {
    char32_t character;
    size_t byte;
};
std::vector<AnsiCharacter> decodeAnsiCharacters(std::string_view bytes, uint8_t charset);

// The code page's name as iconv knows it ("CP1252" for ANSI_CHARSET); null for the symbol set.
const char* ansiCodePage(uint8_t charset);
