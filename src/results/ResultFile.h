#pragma once

#include <string>
#include <string_view>

namespace qfip {

// Writes `text` (UTF-8, no byte-order mark, nothing else) to `path`, creating the file or
// replacing its content. Symbolic links are followed to the file they name. An existing
// file is never left damaged: where its folder is writable the bytes go to a temporary
// file there that takes the old file's mode, owner and group and replaces it by a rename
// once every byte is on disk; where that can't be done (a folder the process may not
// write, other hard links, an owner the process can't give away) the file is overwritten
// in place and its old bytes (up to 1 GiB, kept in memory meanwhile) are written back if
// the new ones can't be. Throws
// Error("Cannot create file <path>") when the file can't be created or opened for writing
// and Error("Stream write error") when a write can't be completed.
void writeResultFile(const std::string& path, std::string_view text);

}  // namespace qfip
