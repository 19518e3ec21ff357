#pragma once

#include <string>
#include <string_view>

namespace qfip {

// Writes `text` (UTF-8, no byte-order mark, nothing else) to `path`, creating the file or
// replacing its content. Symbolic links are followed to the file they name. Whatever
// happens, even a kill or a power cut half-way, the file's name holds either the old text
// or the new one, or the old text is in a recovery copy beside it:
// - a new file, and an existing one where its folder is writable, are written to a
//   temporary file there (".qfip-result-XXXXXX", locked while its save runs; one that takes
//   the old file's mode, owner and group) and renamed into place once every byte is on disk;
// - where that can't be done (a folder the process may not write, other hard links, an
//   owner the process can't give away) the file is overwritten in place: its old bytes (up
//   to 1 GiB) are first copied to "<file>.qfip-backup" beside it where the folder allows
//   (never replacing an earlier copy: "-2", "-3", ... are used instead), kept in memory
//   and written back if the new ones can't be, and the copy is removed once the file holds
//   a whole text again. In a folder that can't be written no copy can be made.
// Every save first removes the temporary files that a killed save of this user left in the
// folder. Throws Error("Cannot create file <path>") when the file can't be created or
// opened for writing and Error("Stream write error") when a write can't be completed.
void writeResultFile(const std::string& path, std::string_view text);

}  // namespace qfip
