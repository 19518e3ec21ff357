#include "ui/PicturePreview.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "raster/PictureFile.h"
#include "ui/PictureRendering.h"
#include "ui/PreviewWindow.h"

namespace {

const char* const kEmptyCaption = "Picture:";
constexpr int kAreaSide = 200;

// a * b / c rounded half up, for non-negative values; 64 bits hold any product of sides.
int scaledSide(int a, int b, int c) {
    return int((int64_t(a) * b * 2 + c) / (int64_t(c) * 2));
}

}  // namespace

QRect previewRect(QSize picture, QSize area) {
    const int w = picture.width();
    const int h = picture.height();
    if (w <= 0 || h <= 0 || area.isEmpty()) return QRect();
    if (w <= area.width() && h <= area.height())
        return QRect((area.width() - w) / 2, (area.height() - h) / 2, w, h);
    if (w > h) return QRect(0, 0, area.width(), scaledSide(h, area.width(), w));
    return QRect(0, 0, scaledSide(w, area.height(), h), area.height());
}

PreviewArea::PreviewArea(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setMinimumSize(kAreaSide, kAreaSide);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
}

void PreviewArea::setPicture(const QImage& image, bool present) {
    image_ = image;
    present_ = present;
    update();
}

QRect PreviewArea::drawnRect() const {
    if (!present_) return QRect();
    return previewRect(image_.size(), contentsRect().size());
}

void PreviewArea::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect inside = contentsRect();
    painter.setClipRect(inside);
    if (!present_) {
        painter.drawText(inside, Qt::AlignCenter, tr("(None)"));
        return;
    }
    const QRect target = drawnRect();
    if (target.isEmpty()) return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, target.size() != image_.size());
    painter.drawImage(target.translated(inside.topLeft()), image_);
}

void PreviewArea::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit doubleClicked();
    QFrame::mouseDoubleClickEvent(event);
}

PicturePreview::PicturePreview(QWidget* parent) : QWidget(parent) {
    caption_ = new QLabel(QString::fromLatin1(kEmptyCaption));
    caption_->setObjectName(QStringLiteral("pictureCaption"));
    button_ = new QPushButton(tr("Preview"));
    button_->setObjectName(QStringLiteral("previewButton"));
    button_->setEnabled(false);
    area_ = new PreviewArea;
    area_->setObjectName(QStringLiteral("previewArea"));

    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(caption_, 1);
    top->addWidget(button_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(top);
    layout->addWidget(area_, 1);

    connect(button_, &QPushButton::clicked, this, &PicturePreview::openPreviewWindow);
    connect(area_, &PreviewArea::doubleClicked, this, &PicturePreview::openPreviewWindow);
}

void PicturePreview::showFile(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile()) {
        clear();
        return;
    }
    try {
        const qfip::Picture picture = qfip::loadPicture(QFile::encodeName(info.absoluteFilePath()).toStdString());
        // A bitmap's image shares the raster's pixels and keeps the raster alive.
        image_ = renderPicture(picture);
        hasPicture_ = true;
    } catch (const std::exception&) {
        // A file that doesn't load simply has no preview.
        clear();
        return;
    }
    caption_->setText(QString::asprintf(" (%dx%d)", image_.width(), image_.height()));
    button_->setEnabled(true);
    area_->setPicture(image_, true);
}

void PicturePreview::clear() {
    image_ = QImage();
    hasPicture_ = false;
    caption_->setText(QString::fromLatin1(kEmptyCaption));
    button_->setEnabled(false);
    area_->setPicture(QImage(), false);
}

QString PicturePreview::caption() const { return caption_->text(); }
bool PicturePreview::previewEnabled() const { return button_->isEnabled(); }
QRect PicturePreview::drawnRect() const { return area_->drawnRect(); }
QSize PicturePreview::areaSize() const { return area_->contentsRect().size(); }

void PicturePreview::openPreviewWindow() {
    if (!hasPicture_) return;
    PreviewWindow window(image_, this);
    window.exec();
}
