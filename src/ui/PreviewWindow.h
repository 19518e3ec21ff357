#pragma once

#include <QDialog>
#include <QImage>

// A picture of the open dialog's preview shown whole in its own modal window, scrolling
// when it is larger than the screen allows. Escape closes it.
class PreviewWindow : public QDialog {
    Q_OBJECT
public:
    PreviewWindow(const QImage& image, QWidget* parent);
};
