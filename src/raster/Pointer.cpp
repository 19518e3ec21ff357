#include "raster/Pointer.h"

#include "common/Error.h"
#include "measure/WindowGeometry.h"

namespace qfip {

PointerMove movePointer(PointerWindow& pointer, ShownPicture& shown, int32_t x, int32_t y, int32_t halfWidth,
                        int32_t halfHeight) {
    PointerMove move;
    move.xText = " x = " + std::to_string(x);
    move.yText = " y = " + std::to_string(y);
    pointer.PointerRect = windowAround(x, y, halfWidth, halfHeight);
    try {
        // Erase the outline where it is shown, then draw it at the new place.
        move.repaint = shown.toggleOutline(pointer.ShownPointerRect);
        const std::vector<Rect> drawn = shown.toggleOutline(pointer.PointerRect);
        move.repaint.insert(move.repaint.end(), drawn.begin(), drawn.end());
        pointer.ShownPointerRect = pointer.PointerRect;
    } catch (const Error&) {
        // A picture without raster takes no outline; the coordinates are still shown.
    }
    return move;
}

}  // namespace qfip
