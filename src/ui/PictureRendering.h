#pragma once

#include <QImage>
#include <QString>
#include <chrono>
#include <memory>
#include <stop_token>

#include "raster/Picture.h"

// Draws a loaded picture for display. A bitmap becomes a QImage over the raster's own
// memory (no copy; the image keeps the raster alive). Icons and metafiles are drawn by
// the drawing helper, quendral-render, in a fresh sandboxed process per picture (see
// src/exchange/RenderClient.h): Qt's ico reader for icons; libemf2svg and librsvg for
// enhanced metafiles, libwmf's bitmap device for placeable ones, at the picture's own size.
// A body the library can't read, and every failure of the helper (a crash, a kill, a
// timeout, a wrong reply), throws qfip::Error with the kind's "... is not valid".
// Safe to call from a worker thread. When `stop` is requested the helper is killed at
// once and the call throws the kind's message as well (its caller has moved on).
QImage renderPicture(const qfip::Picture& picture, std::stop_token stop = {});

// renderPicture for the window's own thread: a drawing that takes longer than
// kRepaintAfter is waited for with the window alive. It keeps repainting (and answering
// the desktop) with the wait cursor shown, while the user's input waits in the queue
// until the picture is there, so keys and clicks are then handled in their order, as if
// the drawing had been instant.
inline constexpr std::chrono::milliseconds kRepaintAfter{100};
QImage renderPictureKeepingWindowAlive(const qfip::Picture& picture);

// The helper the program runs: its own folder's ../libexec/quendral/quendral-render,
// in the build tree as when installed. One process per picture; the next one is started
// ahead in the background, and this starts the first.
QString defaultRenderHelperPath();
void startRenderHelper();

// For tests: another helper executable (an empty path restores the default; either way
// a helper started ahead is discarded) and another deadline (the default is 3 seconds).
void setRenderHelperPath(const QString& path);
void setRenderDeadline(std::chrono::milliseconds deadline);

// A QImage over a raster's pixels, sharing them (the raster must outlive the image
// unless it is held by a shared pointer, see the overload).
QImage imageOfRaster(const qfip::Raster& raster);
QImage imageOfRaster(std::shared_ptr<const qfip::Raster> raster);
