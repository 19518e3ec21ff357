#pragma once

#include <QFrame>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

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
class PicturePreview : public QWidget {
    Q_OBJECT
public:
    explicit PicturePreview(QWidget* parent = nullptr);

    // Shows the file through the program's picture loader; a folder, a missing file or
    // one that doesn't load empties the preview (the failure is not reported).
    void showFile(const QString& path);
    void clear();

    bool hasPicture() const { return hasPicture_; }
    const QImage& image() const { return image_; }
    QString caption() const;
    bool previewEnabled() const;
    // The rectangle the picture is drawn into, in area coordinates (empty without one).
    QRect drawnRect() const;
    QSize areaSize() const;
    PreviewArea* area() const { return area_; }
    QPushButton* previewButton() const { return button_; }

    // Opens the picture in a modal window that Escape closes.
    void openPreviewWindow();

private:
    QLabel* caption_ = nullptr;
    QPushButton* button_ = nullptr;
    PreviewArea* area_ = nullptr;
    QImage image_;
    bool hasPicture_ = false;
};

// The drawing surface of the preview: the picture by the fit rule, or "(None)".
class PreviewArea : public QFrame {
    Q_OBJECT
public:
    explicit PreviewArea(QWidget* parent = nullptr);

    void setPicture(const QImage& image, bool present);
    QRect drawnRect() const;

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage image_;
    bool present_ = false;
};
