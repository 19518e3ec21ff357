#pragma once

#include <cstdint>
#include <string>

#include "common/Rect.h"

namespace qfip {

// The window of the grid size centred on (x, y):
// (x - halfWidth, y - halfHeight, x + halfWidth, y + halfHeight), wrapping in 32 bits.
Rect windowAround(int32_t x, int32_t y, int32_t halfWidth, int32_t halfHeight);

// Recomputes the background window. Centred (the background check box checked): the
// window around (BX, BY) read from the two texts, assigned field by field in the order
// Left, Top, Right, Bottom, each from a fresh reading of its text, so a bad text throws
// after the fields before it have taken their new values. Otherwise the fixed window
// (10, 10, 2*halfWidth + 10, 2*halfHeight + 10).
void ComputeBackgroundRect(Rect& rect, bool centred, const std::string& xText, const std::string& yText,
                           int32_t halfWidth, int32_t halfHeight);

}  // namespace qfip
