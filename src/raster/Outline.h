#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/Rect.h"
#include "raster/Picture.h"

namespace qfip {

// The exclusive-or mask of the dotted outline: a border-ring pixel (x, y) of a toggled
// rectangle is inverted in its colour bits when (x + y) is even.
inline constexpr uint32_t kOutlineXorMask = 0x00FFFFFFu;

// The pure composition of what is shown: writes the pixels of `area` (clipped to the
// picture) as the picture's pixels with every rectangle's dotted border ring (columns
// Left and Right-1, rows Top and Bottom-1) combined by exclusive-or. `out` receives
// the clipped area's rows, `outStride` pixels apart. Returns the clipped area.
Rect composeOutlines(const Raster& picture, std::span<const Rect> outlines, const Rect& area,
                     uint32_t* out, size_t outStride);

// The areas whose pixels a toggle of `rect` changes on a picture of the given size:
// up to four thin strips (the clipped border ring), empty when nothing changes.
std::vector<Rect> outlineRepaintAreas(const Rect& rect, int32_t pictureWidth, int32_t pictureHeight);

// The picture shown in the picture pane together with the set of outlines toggled onto
// it. The picture's own pixels are never changed; the outlines exist only in what
// composeOutlines shows.
class ShownPicture {
public:
    bool hasPicture() const { return picture_.has_value(); }
    const std::optional<Picture>& picture() const { return picture_; }

    // Replaces the picture; a new picture carries no outlines.
    void setPicture(Picture picture);

    // The working raster; when no picture has been loaded yet, a white raster of the given
    // size becomes the picture first. Throws Error(kNotABitmapMessage) for icons and metafiles.
    const Raster& workingRaster(int32_t blankWidth, int32_t blankHeight);

    // Toggles the outline of `rect`: in the set, it is taken out; otherwise it is added.
    // An empty rectangle changes nothing. Returns the areas to repaint.
    // Throws Error(kNotABitmapMessage) when the picture has no raster (or there is none).
    std::vector<Rect> toggleOutline(const Rect& rect);

    const std::vector<Rect>& outlines() const { return outlines_; }

    // What is shown of `area`, see composeOutlines (the picture must be a bitmap).
    Rect compose(const Rect& area, uint32_t* out, size_t outStride) const;

private:
    std::optional<Picture> picture_;
    std::vector<Rect> outlines_;
};

}  // namespace qfip
