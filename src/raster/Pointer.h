#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Rect.h"
#include "raster/Outline.h"

namespace qfip {

// The pointer window and the outline that follows it.
struct PointerWindow {
    Rect PointerRect;       // window around the pointer's last reported position
    Rect ShownPointerRect;  // the pointer window whose outline is currently shown
};

struct PointerMove {
    std::string xText;            // " x = " + X, for the second status panel
    std::string yText;            // " y = " + Y, for the third status panel
    std::vector<Rect> repaint;    // areas whose shown pixels changed
};

// One pointer movement to (x, y): status texts, PointerRect from the half sizes, the old
// outline erased and the new one drawn. ShownPointerRect follows only when both toggles
// succeeded; a picture without raster (icon, metafile) drops the failure silently.
PointerMove movePointer(PointerWindow& pointer, ShownPicture& shown, int32_t x, int32_t y,
                        int32_t halfWidth, int32_t halfHeight);

}  // namespace qfip
