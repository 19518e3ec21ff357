#include "raster/Picture.h"

#include "common/Error.h"

namespace qfip {

Picture Picture::bitmap(Raster raster) {
    Picture p;
    p.kind_ = PictureKind::Bitmap;
    p.raster_ = std::make_shared<const Raster>(std::move(raster));
    return p;
}

Picture Picture::drawn(PictureKind kind, std::vector<uint8_t> fileBytes) {
    Picture p;
    p.kind_ = kind;
    p.bytes_ = std::make_shared<const std::vector<uint8_t>>(std::move(fileBytes));
    return p;
}

const Raster& Picture::raster() const {
    if (!raster_) throw Error(kNotABitmapMessage);
    return *raster_;
}

const std::vector<uint8_t>& Picture::fileBytes() const {
    static const std::vector<uint8_t> none;
    return bytes_ ? *bytes_ : none;
}

}  // namespace qfip
