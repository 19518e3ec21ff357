#pragma once

#include <QFrame>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <cstdint>
#include <optional>
#include <stop_token>

#include "common/JobThread.h"

class QLabel;
class QPushButton;
class PreviewArea;

// Where a picture is drawn in a preview area: unscaled and centred (halves truncated)
// when it fits; otherwise from the top-left corner at the area's full width when it is
// wider than tall, else at the area's full height, the other side scaled by the same
// ratio (rounded) and not bounded by the area.
QRect previewRect(QSize picture, QSize area);

// The preview beside the open dialog's file list: a caption with the picture's size, the
// picture drawn by the fit rule above, and a button that shows it in its own window.
// Pictures are read and drawn on a worker thread, so the dialog never waits for one; a
// selection that moves on abandons the picture under way, and a bitmap larger than the
// area is decoded at the size it is drawn (only the rows and columns shown).
class PicturePreview : public QWidget {
    Q_OBJECT
public:
    explicit PicturePreview(QWidget* parent = nullptr);
    ~PicturePreview() override;

    // Shows the file through the program's picture loader; a folder, a missing file or
    // one that doesn't load empties the preview (the failure is not reported). Until the
    // picture is ready the previous one stays drawn and the button is disabled.
    void showFile(const QString& path);
    void clear();

    // A picture is being read for the file last asked for.
    bool pending() const { return pending_; }
    bool hasPicture() const { return hasPicture_; }
    // What is drawn: the picture itself, or a bitmap sampled down to the area.
    const QImage& image() const { return image_; }
    // The picture's own size.
    QSize pictureSize() const { return pictureSize_; }
    QString caption() const;
    bool previewEnabled() const;
    // The rectangle the picture is drawn into, in area coordinates (empty without one).
    QRect drawnRect() const;
    QSize areaSize() const;
    PreviewArea* area() const { return area_; }
    QPushButton* previewButton() const { return button_; }

    // Opens the picture in a modal window that Escape closes.
    void openPreviewWindow();

signals:
    // A picture (or its absence) is shown for the file last asked for.
    void shown();

private:
    struct Request {
        uint64_t id = 0;
        QString path;
        QSize area;
    };
    struct Outcome {
        QImage image;
        QSize pictureSize;
    };

    static std::optional<Outcome> read(const Request& request, std::stop_token stop);
    void deliver(uint64_t id, std::optional<Outcome> outcome);
    void areaResized();

    QLabel* caption_ = nullptr;
    QPushButton* button_ = nullptr;
    PreviewArea* area_ = nullptr;
    QImage image_;
    QSize pictureSize_;
    QString path_;  // the file shown or being read
    bool hasPicture_ = false;
    bool pending_ = false;

    uint64_t lastId_ = 0;
    // The worker; a newer request stops the one under way and takes the place of a
    // waiting one.
    qfip::JobThread worker_;
};

// The drawing surface of the preview: the picture by the fit rule, or "(None)".
class PreviewArea : public QFrame {
    Q_OBJECT
public:
    explicit PreviewArea(QWidget* parent = nullptr);

    // The image drawn for a picture of the given size (smaller when sampled).
    void setPicture(const QImage& image, QSize pictureSize, bool present);
    QRect drawnRect() const;

signals:
    void doubleClicked();
    void resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage image_;
    QSize pictureSize_;
    bool present_ = false;
};
