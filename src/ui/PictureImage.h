#pragma once

#include <QImage>
#include <QWidget>
#include <memory>

#include "common/Rect.h"
#include "raster/Outline.h"
#include "raster/Pointer.h"

// Image1: the picture pane. It owns the shown picture and the outlines toggled onto it,
// draws one picture pixel on one device pixel at any scale (taking the picture's size in
// device pixels) and reports pointer movement and presses in picture pixels.
class PictureImage : public QWidget {
    Q_OBJECT
public:
    explicit PictureImage(QWidget* parent = nullptr);

    // Shows a loaded picture; `image` is what renderPicture drew of it (for a bitmap an
    // image over the raster itself). A new picture carries no outlines.
    void setPicture(qfip::Picture picture, QImage image);

    const qfip::ShownPicture& shown() const { return shown_; }

    // The working raster; the first access on an empty pane makes a white raster of the
    // pane's current size (in device pixels) the picture. Throws for icons and metafiles.
    const qfip::Raster& workingRaster();

    // Toggles an outline and repaints only the pixels it changes.
    void toggleOutline(const qfip::Rect& rect);
    void repaintAreas(const std::vector<qfip::Rect>& areas);

    // A pointer movement: the old pointer outline erased, the new one drawn, both
    // repainted. The first movement over an empty pane makes the white working raster.
    qfip::PointerMove movePointer(qfip::PointerWindow& pointer, int x, int y, int32_t halfWidth,
                                  int32_t halfHeight);

signals:
    void pointerMoved(int x, int y);
    void pressed(Qt::MouseButton button, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QSize pictureSize() const;
    void fitToPicture();
    QPoint pointerPixel(const QMouseEvent& event) const;

    qfip::ShownPicture shown_;
    QImage drawn_;  // icons and metafiles as rendered
    bool leftHeld_ = false;
    qreal fittedRatio_ = 0;
};
