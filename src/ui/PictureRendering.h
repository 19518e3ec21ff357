#pragma once

#include <QImage>
#include <stop_token>

#include "raster/Picture.h"

// Draws a loaded picture for display. A bitmap becomes a QImage over the raster's own
// memory (no copy; the image keeps the raster alive). Icons are decoded by Qt's ico
// reader; enhanced metafiles are converted by libemf2svg and placeable metafiles by
// libwmf's SVG device, then rendered with QSvgRenderer at the picture's own size.
// A body the library can't read throws qfip::Error with the kind's "... is not valid".
// Safe to call from a worker thread. When `stop` is requested the drawing is abandoned
// and the call throws the kind's message as well (its caller has moved on).
QImage renderPicture(const qfip::Picture& picture, std::stop_token stop = {});

// A QImage over a raster's pixels, sharing them (the raster must outlive the image
// unless it is held by a shared pointer, see the overload).
QImage imageOfRaster(const qfip::Raster& raster);
QImage imageOfRaster(std::shared_ptr<const qfip::Raster> raster);
