#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qfip {

// The label logged for a file: the path's last 12 characters (the whole path when it is
// shorter), less the last 4 when 4 or more remain. Characters, not bytes: the path is UTF-8.
std::string fileLabel(std::string_view pathUtf8);

// "    " + label + "       " + M + "       " + BG.
std::string resultLine(std::string_view label, int64_t pointerValue, int64_t backgroundValue);

// What appending `line` adds to a log: line + CRLF when the log is empty or ends with a
// line break, otherwise CRLF + line.
std::string appendedText(bool logIsEmptyOrEndsWithBreak, std::string_view line);

// Appends `line` to `log` by that rule.
void appendLine(std::string& log, std::string_view line);

}  // namespace qfip
