#pragma once

#include <QImage>
#include <QWidget>
#include <memory>

#include "raster/Raster.h"

// Image2: the sample pane; shows the last window raster at its own size, one raster pixel
// on one device pixel.
class SampleImage : public QWidget {
    Q_OBJECT
public:
    explicit SampleImage(QWidget* parent = nullptr);

    void showSample(std::shared_ptr<const qfip::Raster> raster);
    const qfip::Raster* sample() const { return sample_.get(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<const qfip::Raster> sample_;
    QImage image_;
};
