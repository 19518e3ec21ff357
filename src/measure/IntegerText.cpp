#include "measure/IntegerText.h"

#include <limits>

#include "common/Error.h"

namespace qfip {

namespace {

[[noreturn]] void notAnInteger(const std::string& text) {
    throw Error("'" + text + "' is not a valid integer value");
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// Reads hexadecimal digits from `pos` to the end: at least one, at most eight that are
// significant (leading zeros don't count), read as a 32-bit two's-complement word.
int32_t readHex(const std::string& text, size_t pos) {
    if (pos == text.size()) notAnInteger(text);
    uint32_t value = 0;
    int significant = 0;
    for (; pos < text.size(); ++pos) {
        const int d = hexDigit(text[pos]);
        if (d < 0) notAnInteger(text);
        if (significant > 0 || d != 0) {
            if (++significant > 8) notAnInteger(text);
            value = (value << 4) | uint32_t(d);
        }
    }
    return static_cast<int32_t>(value);
}

// Reads decimal digits from `pos` to the end: at least one, the signed value within int32.
int32_t readDecimal(const std::string& text, size_t pos, bool negative) {
    if (pos == text.size()) notAnInteger(text);
    // Accumulate the magnitude; the negative range reaches one further than the positive.
    const uint64_t limit = negative ? uint64_t(std::numeric_limits<int32_t>::max()) + 1
                                    : uint64_t(std::numeric_limits<int32_t>::max());
    uint64_t magnitude = 0;
    for (; pos < text.size(); ++pos) {
        if (!isDecimalDigit(text[pos])) notAnInteger(text);
        magnitude = magnitude * 10 + uint64_t(text[pos] - '0');
        if (magnitude > limit) notAnInteger(text);
    }
    return negative ? static_cast<int32_t>(-int64_t(magnitude)) : static_cast<int32_t>(magnitude);
}

}  // namespace

int32_t StrToInt(const std::string& text) {
    size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ') ++pos;
    if (pos == text.size()) notAnInteger(text);

    const char c = text[pos];
    if (c == '$' || c == 'x' || c == 'X') return readHex(text, pos + 1);
    if (c == '0' && pos + 1 < text.size() && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
        return readHex(text, pos + 2);
    }
    if (c == '-' || c == '+') return readDecimal(text, pos + 1, c == '-');
    return readDecimal(text, pos, false);
}

int32_t readHalfSize(const std::string& text, const std::string& caption) {
    const int32_t value = StrToInt(text);
    if (value < 0) throw Error(caption + " must not be negative (" + std::to_string(value) + ")");
    return value;
}

}  // namespace qfip
