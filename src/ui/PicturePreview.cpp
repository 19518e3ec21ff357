#include "ui/PicturePreview.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "raster/PictureFile.h"
#include "ui/LocalPath.h"
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

void PreviewArea::setPicture(const QImage& image, QSize pictureSize, bool present) {
    image_ = image;
    pictureSize_ = pictureSize;
    present_ = present;
    update();
}

QRect PreviewArea::drawnRect() const {
    if (!present_) return QRect();
    return previewRect(pictureSize_, contentsRect().size());
}

void PreviewArea::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    emit resized();
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
    connect(area_, &PreviewArea::resized, this, &PicturePreview::areaResized);
}

// The read under way stops at its next row (a drawing helper is ended at once).
PicturePreview::~PicturePreview() { worker_.cancel(true); }

void PicturePreview::showFile(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile()) {
        clear();
        emit shown();
        return;
    }
    path_ = info.absoluteFilePath();
    pending_ = true;
    button_->setEnabled(false);
    // An area not laid out yet counts at its smallest; it is read again when it grows.
    QSize area = area_->contentsRect().size();
    if (area.isEmpty()) area = area_->minimumSize();
    const Request request{++lastId_, path_, area * area_->devicePixelRatioF()};
    worker_.cancel(false);
    worker_.post([this, request](std::stop_token stop) {
        std::optional<Outcome> outcome = read(request, stop);
        if (stop.stop_requested()) return;
        QMetaObject::invokeMethod(
            this, [this, id = request.id, outcome] { deliver(id, outcome); }, Qt::QueuedConnection);
    });
}

void PicturePreview::clear() {
    // A picture still being read is no longer wanted.
    worker_.cancel(false);
    ++lastId_;
    pending_ = false;
    image_ = QImage();
    pictureSize_ = QSize();
    hasPicture_ = false;
    caption_->setText(QString::fromLatin1(kEmptyCaption));
    button_->setEnabled(false);
    area_->setPicture(QImage(), QSize(), false);
}

std::optional<PicturePreview::Outcome> PicturePreview::read(const Request& request, std::stop_token stop) {
    try {
        qfip::LoadOptions options;
        options.stop = stop;
        // A bitmap larger than the area is decoded at the size it is drawn.
        const QSize area = request.area;
        options.plan = [area](int32_t width, int32_t height) {
            const QSize drawn = previewRect(QSize(width, height), area).size();
            if (drawn.isEmpty()) return std::optional(std::pair{width, height});
            return std::optional(std::pair{std::clamp(drawn.width(), 1, width), std::clamp(drawn.height(), 1, height)});
        };
        qfip::LoadInfo info;
        const qfip::Picture picture =
            qfip::loadPicture(localPath(request.path), options, &info);
        // A bitmap's image shares the raster's pixels and keeps the raster alive.
        QImage image = renderPicture(picture, stop);
        const QSize size = picture.hasRaster() ? QSize(info.width, info.height) : image.size();
        return Outcome{std::move(image), size};
    } catch (...) {
        // A file that doesn't load simply has no preview (and an abandoned one none either).
        return std::nullopt;
    }
}

void PicturePreview::deliver(uint64_t id, std::optional<Outcome> outcome) {
    if (id != lastId_) return;  // the selection has moved on
    pending_ = false;
    if (!outcome) {
        clear();
        emit shown();
        return;
    }
    image_ = std::move(outcome->image);
    pictureSize_ = outcome->pictureSize;
    hasPicture_ = true;
    caption_->setText(QString::asprintf(" (%dx%d)", pictureSize_.width(), pictureSize_.height()));
    button_->setEnabled(true);
    area_->setPicture(image_, pictureSize_, true);
    emit shown();
}

// A sampled bitmap is read again at its new size when the area grows past it.
void PicturePreview::areaResized() {
    if (!hasPicture_ || pending_ || image_.size() == pictureSize_) return;
    const QSize drawn = drawnRect().size() * area_->devicePixelRatioF();
    if (drawn.width() > image_.width() || drawn.height() > image_.height()) showFile(path_);
}

QString PicturePreview::caption() const { return caption_->text(); }
bool PicturePreview::previewEnabled() const { return button_->isEnabled(); }
QRect PicturePreview::drawnRect() const { return area_->drawnRect(); }
QSize PicturePreview::areaSize() const { return area_->contentsRect().size(); }

void PicturePreview::openPreviewWindow() {
    if (!hasPicture_ || pending_) return;
    QImage whole = image_;
    if (image_.size() != pictureSize_) {
        // Only a sampled bitmap is held: the window shows the picture itself.
        try {
            whole = renderPicture(qfip::loadPicture(localPath(path_)));
        } catch (const std::exception&) {
            return;
        }
    }
    PreviewWindow window(whole, this);
    window.exec();
}
