#include "ui/PreviewWindow.h"

#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

PreviewWindow::PreviewWindow(const QImage& image, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Preview"));
    setModal(true);

    auto* picture = new QLabel;
    picture->setPixmap(QPixmap::fromImage(image));
    picture->setFixedSize(image.size());
    auto* scroll = new QScrollArea;
    scroll->setWidget(picture);
    scroll->setAlignment(Qt::AlignCenter);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);

    // The picture's own size, as far as most of the screen allows.
    QSize wanted = image.size().expandedTo(QSize(64, 64)) + QSize(4, 4);
    if (QScreen* screen = parent ? parent->screen() : this->screen()) {
        const QSize room = screen->availableGeometry().size() * 9 / 10;
        wanted = wanted.boundedTo(room);
    }
    resize(wanted);
}
