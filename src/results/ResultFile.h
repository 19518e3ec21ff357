#pragma once

#include <string>
#include <string_view>

namespace qfip {

// The log's text with every line break as CR LF (a lone LF or a lone CR becomes CR LF).
std::string withCrlfLineEnds(std::string_view text);

// Writes `text` (UTF-8, no byte-order mark, nothing else) to `path`. The bytes go to a
// temporary file in the same folder, which replaces `path` only when every byte is
// written, so a failure never destroys an existing file. Throws
// Error("Cannot create file <path>") when the file can't be created and
// Error("Stream write error") when a write can't be completed.
void writeResultFile(const std::string& path, std::string_view text);

}  // namespace qfip
