#include "results/ResultsLog.h"

#include <vector>

namespace qfip {

namespace {

bool isContinuation(unsigned char c) { return (c & 0xC0u) == 0x80u; }

// The length of the well-formed UTF-8 sequence starting at `pos`, or 1 when the bytes
// there are not one (a stray or invalid byte counts as a character of its own).
size_t characterLength(std::string_view s, size_t pos) {
    const auto at = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = at(pos);
    const size_t left = s.size() - pos;
    if (lead < 0x80u) return 1;
    // Lead byte ranges and the allowed range of the second byte (no overlong forms, no
    // surrogates, nothing above U+10FFFF).
    size_t length = 0;
    unsigned char lo = 0x80u, hi = 0xBFu;
    if (lead >= 0xC2u && lead <= 0xDFu) {
        length = 2;
    } else if (lead >= 0xE0u && lead <= 0xEFu) {
        length = 3;
        if (lead == 0xE0u) lo = 0xA0u;
        if (lead == 0xEDu) hi = 0x9Fu;
    } else if (lead >= 0xF0u && lead <= 0xF4u) {
        length = 4;
        if (lead == 0xF0u) lo = 0x90u;
        if (lead == 0xF4u) hi = 0x8Fu;
    } else {
        return 1;
    }
    if (left < length) return 1;
    if (at(pos + 1) < lo || at(pos + 1) > hi) return 1;
    for (size_t i = 2; i < length; ++i) {
        if (!isContinuation(at(pos + i))) return 1;
    }
    return length;
}

// The character of `length` bytes at `pos` (a length from characterLength); a stray byte
// reads as U+FFFD.
char32_t decodeAt(std::string_view s, size_t pos, size_t length) {
    const auto at = [&](size_t i) { return char32_t(static_cast<unsigned char>(s[i])); };
    if (length == 1) return at(pos) < 0x80u ? at(pos) : char32_t(0xFFFD);
    char32_t c = at(pos) & (0xFFu >> (length + 1));
    for (size_t i = 1; i < length; ++i) c = (c << 6) | (at(pos + i) & 0x3Fu);
    return c;
}

}  // namespace

std::string fileLabel(std::string_view pathUtf8) {
    // Byte offset where each character starts.
    std::vector<size_t> starts;
    for (size_t pos = 0; pos < pathUtf8.size(); pos += characterLength(pathUtf8, pos)) starts.push_back(pos);

    const size_t count = starts.size();
    const size_t first = count > 12 ? count - 12 : 0;
    size_t kept = count - first;
    if (kept >= 4) kept -= 4;
    const size_t begin = count == 0 ? 0 : starts[first];
    const size_t end = first + kept < count ? starts[first + kept] : pathUtf8.size();
    return std::string(pathUtf8.substr(begin, end - begin));
}

std::string resultLine(std::string_view label, int64_t pointerValue, int64_t backgroundValue) {
    std::string line = "    ";
    line += label;
    line += "       ";
    line += std::to_string(pointerValue);
    line += "       ";
    line += std::to_string(backgroundValue);
    return line;
}

std::string appendedText(bool logIsEmptyOrEndsWithBreak, std::string_view line) {
    std::string text;
    text.reserve(line.size() + 2);
    if (logIsEmptyOrEndsWithBreak) {
        text += line;
        text += "\r\n";
    } else {
        text += "\r\n";
        text += line;
    }
    return text;
}

bool isLineBreak(char32_t c) { return c == U'\r' || c == U'\n' || c == U'\u2028' || c == U'\u2029'; }

bool isEmptyOrEndsWithBreak(std::optional<char32_t> lastCharacter) {
    return !lastCharacter || isLineBreak(*lastCharacter);
}

std::optional<char32_t> lastCharacter(std::string_view utf8) {
    if (utf8.empty()) return std::nullopt;
    const size_t last = utf8.size() - 1;
    // A sequence of two to four bytes ends in a continuation byte: look back for its lead.
    if (isContinuation(static_cast<unsigned char>(utf8[last]))) {
        for (size_t lead = last; lead-- > 0 && last - lead <= 3;) {
            if (isContinuation(static_cast<unsigned char>(utf8[lead]))) continue;
            const size_t length = characterLength(utf8, lead);
            if (lead + length == utf8.size()) return decodeAt(utf8, lead, length);
            break;
        }
    }
    return decodeAt(utf8, last, 1);
}

void appendLine(std::string& log, std::string_view line) {
    log += appendedText(isEmptyOrEndsWithBreak(lastCharacter(log)), line);
}

std::string withCrlfLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    size_t copied = 0;  // text before this is in `out`
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        // Every line break starts with one of these bytes in UTF-8; other bytes are copied
        // in runs without being decoded.
        if (byte != '\r' && byte != '\n' && byte != 0xE2u) {
            ++i;
            continue;
        }
        const size_t length = characterLength(text, i);
        if (!isLineBreak(decodeAt(text, i, length))) {
            i += length;
            continue;
        }
        out.append(text.substr(copied, i - copied));
        out += "\r\n";
        i += length;
        if (byte == '\r' && i < text.size() && text[i] == '\n') ++i;
        copied = i;
    }
    out.append(text.substr(copied));
    return out;
}

}  // namespace qfip
