#pragma once

#include <QImage>

#include "raster/Picture.h"

// Draws a loaded picture for display. A bitmap becomes a QImage over the raster's own
// memory (no copy; the image keeps the raster alive). Icons are decoded by Qt's ico
// reader; enhanced metafiles are converted by libemf2svg and placeable metafiles by
// libwmf's SVG device, then rendered with QSvgRenderer at the picture's own size.
// A body the library can't read throws qfip::Error with the kind's "... is not valid".
QImage renderPicture(const qfip::Picture& picture);

// A QImage over a raster's pixels, sharing them (the raster must outlive the image
// unless it is held by a shared pointer, see the overload).
QImage imageOfRaster(const qfip::Raster& raster);
QImage imageOfRaster(std::shared_ptr<const qfip::Raster> raster);
