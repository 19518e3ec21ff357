#pragma once

#include <QToolBar>
#include <QWidget>

// Controls painted flat in their palette's colours, the same in every style and at every
// scale.

// A thin vertical separator in its palette's text colour (WindowText), filling its width:
// at least one device pixel, where a one-pixel frame line can fall between two device
// pixels at a fractional scale and vanish.
class SeparatorLine : public QWidget {
    Q_OBJECT
public:
    explicit SeparatorLine(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A toolbar on a flat ground of its palette's Window colour, where a style paints its own
// gradient.
class FlatToolBar : public QToolBar {
    Q_OBJECT
public:
    explicit FlatToolBar(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
