#pragma once

// The results log's document seen through the log's rules (results/ResultsLog.h): what the
// append rule looks at and what a save writes.
#include <optional>
#include <string>

class QTextDocument;

// The last character of the log's text, none when the log is empty. Blocks end in U+2029 and
// Shift+Enter leaves U+2028, so both read as the line breaks they are. Costs the same however
// long the log is.
std::optional<char32_t> lastLogCharacter(const QTextDocument& log);

// The bytes a save writes: the log's lines exactly as shown, in UTF-8 (a non-breaking space
// stays one), joined by CR LF, a line separator typed with Shift+Enter included.
std::string resultFileText(const QTextDocument& log);
