#pragma once

// Rewrites an enhanced metafile's records, before libemf2svg reads them, into forms it
// reads right, so that its SVG draws what GDI draws. libemf2svg (1.1) is kept as the
// reader; what it gets wrong is put right around it:
// - it keeps no GDI state of its own that matters: the mapping, the world transform, the
//   pen, the brush and the clip are followed here as GDI follows them (SaveDC and
//   RestoreDC included) and handed to it explicitly before each drawing record, in the
//   forms it maps right:
//   - every map mode as MM_ANISOTROPIC with GDI's own extents (libemf2svg gave
//     MM_ISOTROPIC the larger scale and MM_TEXT no origins), the world transform as one
//     it composes right with that mapping (it applied the page's scale to the transform's
//     offset only), written again after RestoreDC (it left the old one in force);
//   - pens by their width: GDI draws a pen of more than one pixel as wide as the mapping
//     makes its width (libemf2svg drew every EMR_CREATEPEN pen one pixel wide), the
//     others one pixel wide with flat ends; a wide EMR_CREATEPEN pen is never dashed;
//   - GDI's default brush, white (libemf2svg filled with black until a brush was chosen);
//   - the clip as a region of device pixels: IntersectClipRect, ExcludeClipRect (which
//     libemf2svg took for an intersection), ExtSelectClipRgn in every mode (which it
//     ignored but for an empty RGN_COPY), OffsetClipRgn and SetMetaRgn, handed to it as a
//     clip path of the region's rectangles; a clip path of the file's own (SelectClipPath)
//     is its own path, which it takes as the whole clip. A region past kClipRegionLimits
//     (or a region record of more rectangles than a region holds) is replaced by a box
//     that holds it: it clips less, never more;
// - Rectangle, Ellipse and RoundRect inside a path bracket become the path's own figure
//   (libemf2svg wrote an SVG element into the path's data: broken SVG, the file refused);
//   a rectangle or ellipse under a flipped mapping is given with its corners in the
//   mapping's order (libemf2svg wrote a negative height, not drawn); RoundRect becomes a
//   path (it placed the corners by the mapping's origin);
// - a LineTo after a shape starts at GDI's current position (libemf2svg's moved with
//   every point it drew);
// - text: the background box behind text in OPAQUE mode and ETO_OPAQUE's rectangle, in the
//   background colour (libemf2svg drew neither); TA_BOTTOM text raised by its descent
//   (libemf2svg put it on the baseline); a font's positive height, the cell height, taken
//   as the character height its em is (libemf2svg drew it as the em);
// - what SVG alone can say (the fill mode, hatched brushes, raster operations, bitmap
//   smoothing; EmfSvgState.h) goes to the SVG pass as markers among the records.
// The header's bounds are made to map the picture's frame at libemf2svg's scale 1, so
// that the SVG's units are the reference device's pixels and its view box is the frame.
//
// Every byte is hostile: each record is read within its own size, handles within the
// header's table, and the output may not grow past four times a small file (twice a
// large one and 16 MiB) and 1 MiB;
// a file that would need more (or whose header can't be rewritten) is not rewritten.
// Standard library only (fuzzed on its own: fuzz/fuzz_emf_records.cpp).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "render/PixelRegion.h"

namespace qfip::emf {

inline constexpr RegionLimits kClipRegionLimits{16384, size_t(1) << 22};

struct NormalisedEmf {
    std::vector<uint8_t> bytes;  // the rewritten metafile
    // libemf2svg's output width for a scale of exactly 1 (its height follows): the
    // header's bounds' width in device pixels.
    double libraryWidth = 0;
    // The frame in the SVG's units (device pixels less the bounds' origin, which
    // libemf2svg's outer group takes away): the view box of the whole picture.
    double frameX = 0, frameY = 0, frameWidth = 1, frameHeight = 1;
    // The frame's left top in device pixels (where the shapes' own coordinates are).
    double deviceLeft = 0, deviceTop = 0;
};

// `nonce`: the markers' prefix (EmfSvgState.h), ASCII letters and digits. Nullopt when the
// file is not rewritten (drawn as it is).
std::optional<NormalisedEmf> normaliseEnhancedMetafile(std::span<const uint8_t> file, const std::string& nonce);

}  // namespace qfip::emf
