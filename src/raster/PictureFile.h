#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "raster/Picture.h"

namespace qfip {

// The extension of a file name: the text after the last ".", "\", ":" or "/" when that
// character is a dot, otherwise empty. A dot in a folder's name never makes an extension.
std::string pictureExtension(std::string_view path);

// Loads a picture file, choosing the reader by extension ("bmp", "ico", "emf", "wmf",
// whole and case-insensitive). Failures throw Error with the exact message:
// "Unknown picture file extension (.%s)", "Cannot open file %s", or the reader's own.
Picture loadPicture(const std::string& path);

// Decodes the bytes of a file with the given (already matched, lower-case) extension.
Picture decodePicture(std::string_view extension, std::span<const uint8_t> bytes,
                      int64_t maxPixels = Raster::kMaxPixels);

// Icon files: the 6-byte header check ("Stream read error", "Icon image is not valid").
Picture readIcon(std::span<const uint8_t> bytes);

// Metafiles (.emf and .wmf alike), decided by content: an enhanced metafile signature,
// else the 22-byte placeable header with its key and checksum, else "Metafile is not valid".
Picture readMetafile(std::span<const uint8_t> bytes);

}  // namespace qfip
