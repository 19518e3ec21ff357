#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qfip {

// The label logged for a file: the path's last 12 characters (the whole path when it is
// shorter), less the last 4 when 4 or more remain. Characters, not bytes: the path is UTF-8.
std::string fileLabel(std::string_view pathUtf8);

// "    " + label + "       " + M + "       " + BG.
std::string resultLine(std::string_view label, int64_t pointerValue, int64_t backgroundValue);

// The characters that end a line of the log: CR, LF, U+2028 LINE SEPARATOR (what Shift+Enter
// types into a text area) and U+2029 PARAGRAPH SEPARATOR.
bool isLineBreak(char32_t c);

// Whether the next result line starts a line of its own: the log is empty (it has no last
// character) or its last character is a line break. The window and appendLine both decide
// by this.
bool isEmptyOrEndsWithBreak(std::optional<char32_t> lastCharacter);

// The last character of UTF-8 text, none when the text is empty. A byte that is not part of
// a well-formed sequence counts as a character of its own and reads as U+FFFD.
std::optional<char32_t> lastCharacter(std::string_view utf8);

// What appending `line` adds to a log: line + CRLF when the log is empty or ends with a
// line break, otherwise CRLF + line.
std::string appendedText(bool logIsEmptyOrEndsWithBreak, std::string_view line);

// Appends `line` to `log` (UTF-8) by that rule.
void appendLine(std::string& log, std::string_view line);

// The log's lines joined by CR LF, as the result file holds them: every line break (CR LF,
// a lone CR or LF, U+2028, U+2029) becomes CR LF; everything else is kept byte for byte.
std::string withCrlfLineEnds(std::string_view text);

}  // namespace qfip
