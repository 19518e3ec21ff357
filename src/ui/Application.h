#pragma once

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QString>
#include <exception>

class DialogHost;
class QWidget;

// The application: its title, the look every form shares, and the top-level handler
// that shows any failure no handler caught in the error box and keeps the program running.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);

    // The dialogs used for failures caught at the top level (not owned).
    void setDialogHost(DialogHost* host) { host_ = host; }

    bool notify(QObject* receiver, QEvent* event) override;

    // The application title: task bar name and caption of message and error boxes. Kept
    // as the application name, not the display name, so Qt doesn't append it to window
    // captions (those read "1.0").
    static QString title();

    // The error box's text: a full stop is appended when the last character's code is
    // above that of '.', so "... (x)" stays as it is and "... value" gains one.
    static QString withFullStop(const QString& message);

    // Shows a failure in the error box of `host`.
    static void reportFailure(DialogHost& host, QWidget* parent, const std::exception& failure);
    static void reportFailure(DialogHost& host, QWidget* parent, const QString& message);

private:
    DialogHost* host_ = nullptr;
};

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
