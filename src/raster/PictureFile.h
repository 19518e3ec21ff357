#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>

#include "raster/ByteSource.h"
#include "raster/Picture.h"
#include "raster/SharedWork.h"

namespace qfip {

// The extension of a file name: the text after the last ".", "\", ":" or "/" when that
// character is a dot, otherwise empty. A dot in a folder's name never makes an extension.
std::string pictureExtension(std::string_view path);

// Loads a picture file, choosing the reader by extension ("bmp", "ico", "emf", "wmf",
// whole and case-insensitive). Failures throw Error with the exact message:
// "Unknown picture file extension (.%s)", "Cannot open file %s", or the reader's own.
// A bitmap's headers are read and checked first; its pixel data then goes straight from
// the file into the raster, never through a copy of the whole file.
Picture loadPicture(const std::string& path);

// What identifies the contents of a file without reading them again: a file whose
// device, inode, size, modification time and status-change time are unchanged still
// holds what was read. The modification time alone is not enough: `cp -p`, `touch -r`
// and `rsync -t` set it back. The status-change time can't be set by a user, and every
// write, truncation, rename into place or change of permissions moves it on.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedSeconds = 0;
    int64_t modifiedNanoseconds = 0;
    int64_t changedSeconds = 0;
    int64_t changedNanoseconds = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the file a path names now, found by opening it for reading as a picture
// file is opened; nothing when that fails (no such file, no permission to read it, not a
// plain file), exactly when loading it would fail with "Cannot open file".
std::optional<FileIdentity> identityOf(const std::string& path);

// Thrown by a load that was abandoned: its stop token was requested, or its plan said no.
struct LoadAbandoned {};

// How loadPicture(path, options) goes about a file.
struct LoadOptions {
    // Checked between rows: a requested stop abandons the load.
    std::stop_token stop;
    // Asked once a bitmap's headers are read, before its raster is allocated, with the
    // picture's size: the size to decode it at (its own, or smaller for a sampled
    // picture, see BmpDecoder::decodeSampled), or nothing to abandon the load.
    std::function<std::optional<std::pair<int32_t, int32_t>>(int32_t width, int32_t height)> plan;
    // Where a thread waiting for the picture may take a share of its rows (see SharedWork).
    SharedWork* share = nullptr;
};

// What a load tells besides the picture.
struct LoadInfo {
    FileIdentity identity;  // of the file as it was opened
    bool changed = false;   // the file's identity was different once it had been read
    int32_t width = 0;      // the picture's own size (a sampled raster is smaller)
    int32_t height = 0;
};

// loadPicture with the options above: the same results and messages, and LoadAbandoned.
Picture loadPicture(const std::string& path, const LoadOptions& options, LoadInfo* info = nullptr);

// Decodes the bytes of a file with the given (already matched, lower-case) extension,
// by the same rules and with the same results and messages as loadPicture.
Picture decodePicture(std::string_view extension, std::span<const uint8_t> bytes,
                      int64_t maxPixels = Raster::kMaxPixels);

// Icon files: the 6-byte header check ("Stream read error", "Icon image is not valid",
// common/DrawnPictures.h). A file too large for the drawing helper fails with the kind's
// "... is not valid" when loaded.
Picture readIcon(std::span<const uint8_t> bytes);

// Metafiles (.emf and .wmf alike), decided by content: an enhanced metafile signature,
// else the 22-byte placeable header with its key and checksum, else "Metafile is not valid".
Picture readMetafile(std::span<const uint8_t> bytes);

}  // namespace qfip
