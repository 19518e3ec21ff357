#pragma once

// For tests that draw with Qt: whether a drawn picture holds a colour anywhere, and the
// colour of the user's picture that a hostile metafile tries to show.
#include <QImage>

namespace qfip::testing {

inline constexpr QRgb kUsersPictureColour = 0xFF12AB34;

inline bool holdsColour(const QImage& image, QRgb colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour) return true;
    return false;
}

}  // namespace qfip::testing
