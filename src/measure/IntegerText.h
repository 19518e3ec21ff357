#pragma once

#include <cstdint>
#include <string>

namespace qfip {

// The strict integer reading of an option field's text: leading spaces, an optional sign
// directly before decimal digits in the signed 32-bit range, or a hexadecimal form with
// the prefix "$", "x" or "0x" (no sign, one to eight significant digits, values from
// 80000000 up read as negative). Anything else throws
// Error("'<text>' is not a valid integer value") with the text untrimmed.
int32_t StrToInt(const std::string& text);

// A grid half size read from its field: StrToInt, and a negative value is refused with
// Error("<caption> must not be negative (<value>)").
int32_t readHalfSize(const std::string& text, const std::string& caption);

}  // namespace qfip
