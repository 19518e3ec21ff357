#pragma once

// The look every form of the program shares: the application title its boxes carry, the
// design font and the scaling of forms laid out for it, placement, colours and the icon.
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QString>

class QWidget;

// The application title: task bar name and caption of message and error boxes. Kept as
// the application name, not the display name, so Qt doesn't append it to window captions
// (those read "1.0").
QString applicationTitle();
// The forms' font: a sans-serif 8-point face standing in for MS Sans Serif 8 point.
QFont designFont();
// The forms are laid out for 8-point text 11 pixels high (13 with leading); this is the
// ratio of the screen's text height to that.
double textHeightRatio(const QFont& font);
// Scales a form built at the designed text height: its size, fixed sizes and the
// geometry of every child placed without a layout.
void scaleForm(QWidget* form, double ratio);
// Centres a window on its parent's screen (the primary screen without a parent), frame
// included once the window system has told its size.
void centreOnScreen(QWidget* window);
// A widget's own background (filled) and text colours.
void setBackground(QWidget* widget, const QColor& colour);
void setTextColour(QWidget* widget, const QColor& colour);
// The program's icon: a 32 x 32, 16-colour picture.
QIcon programIcon();
QPixmap programPixmap();
