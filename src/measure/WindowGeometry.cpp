#include "measure/WindowGeometry.h"

#include "measure/IntegerText.h"

namespace qfip {

Rect windowAround(int32_t x, int32_t y, int32_t halfWidth, int32_t halfHeight) {
    return Rect{wrap32(int64_t(x) - halfWidth), wrap32(int64_t(y) - halfHeight), wrap32(int64_t(x) + halfWidth),
                wrap32(int64_t(y) + halfHeight)};
}

void ComputeBackgroundRect(Rect& rect, bool centred, const std::string& xText, const std::string& yText,
                           int32_t halfWidth, int32_t halfHeight) {
    if (centred) {
        // Each field is assigned as soon as its text has been read, so a bad text stops
        // the update with the earlier fields already new.
        rect.Left = wrap32(int64_t(StrToInt(xText)) - halfWidth);
        rect.Top = wrap32(int64_t(StrToInt(yText)) - halfHeight);
        rect.Right = wrap32(int64_t(StrToInt(xText)) + halfWidth);
        rect.Bottom = wrap32(int64_t(StrToInt(yText)) + halfHeight);
        return;
    }
    rect = Rect{10, 10, wrap32(2 * int64_t(halfWidth) + 10), wrap32(2 * int64_t(halfHeight) + 10)};
}

}  // namespace qfip
