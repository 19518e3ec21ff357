#include "ui/PictureRendering.h"

#include <QByteArray>

#include "common/Error.h"
#include "ui/MetafileRendering.h"

namespace {

const char* const kIconNotValid = "Icon image is not valid";

QImage renderIcon(const std::vector<uint8_t>& bytes) {
    // Bound the size before handing the bytes to Qt: the ico reader trusts its entries.
    if (bytes.size() > size_t(std::numeric_limits<int>::max()))
        throw qfip::Error(kIconNotValid);
    const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                                    qsizetype(bytes.size()));
    QImage image = QImage::fromData(data, "ICO");
    if (image.isNull())
        throw qfip::Error(kIconNotValid);
    // fromRawData does not copy; the decoded image owns its own pixels, so this is safe.
    return image;
}

}  // namespace

QImage imageOfRaster(const qfip::Raster& raster) {
    if (raster.isEmpty())
        return QImage();
    return QImage(reinterpret_cast<const uchar*>(raster.data()), raster.width(), raster.height(),
                  qsizetype(raster.bytesPerLine()), QImage::Format_RGB32);
}

QImage imageOfRaster(std::shared_ptr<const qfip::Raster> raster) {
    if (!raster || raster->isEmpty())
        return QImage();
    // The image holds its own reference to the raster until Qt releases the pixels.
    auto* keeper = new std::shared_ptr<const qfip::Raster>(raster);
    return QImage(
        reinterpret_cast<const uchar*>(raster->data()), raster->width(), raster->height(),
        qsizetype(raster->bytesPerLine()), QImage::Format_RGB32,
        [](void* held) { delete static_cast<std::shared_ptr<const qfip::Raster>*>(held); }, keeper);
}

QImage renderPicture(const qfip::Picture& picture, std::stop_token stop) {
    if (picture.kind() != qfip::PictureKind::Bitmap && stop.stop_requested())
        throw qfip::Error(picture.kind() == qfip::PictureKind::Icon ? kIconNotValid : "Metafile is not valid");
    switch (picture.kind()) {
    case qfip::PictureKind::Bitmap:
        return imageOfRaster(picture.sharedRaster());
    case qfip::PictureKind::Icon:
        return renderIcon(picture.fileBytes());
    case qfip::PictureKind::EnhancedMetafile:
        return renderEnhancedMetafile(picture.fileBytes());
    case qfip::PictureKind::PlaceableMetafile:
        return renderPlaceableMetafile(picture.fileBytes());
    }
    return QImage();
}
