#include "ui/PreviewWindow.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

// The picture at its own size, painted straight from the image: only what is exposed is
// drawn, and a large picture is never copied (a pixmap of a 16384 x 16384 picture would
// be another gigabyte).
class PictureView : public QWidget {
public:
    explicit PictureView(const QImage& image) : image_(image) {
        setObjectName(QStringLiteral("previewPicture"));
        setFixedSize(image.size());
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        const QRect exposed = event->rect();
        painter.drawImage(exposed.topLeft(), image_, exposed);
    }

private:
    QImage image_;
};

}  // namespace

PreviewWindow::PreviewWindow(const QImage& image, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Preview"));
    setModal(true);

    auto* scroll = new QScrollArea;
    scroll->setWidget(new PictureView(image));
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
