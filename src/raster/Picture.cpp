#include "raster/Picture.h"

#include "common/Error.h"

namespace qfip {

Picture Picture::bitmap(Raster raster) {
    Picture p;
    p.kind_ = PictureKind::Bitmap;
    p.raster_ = std::make_shared<const Raster>(std::move(raster));
    return p;
}

Picture Picture::drawn(DrawnKind kind, SealedBytes file) {
    Picture p;
    switch (kind) {
    case DrawnKind::Icon: p.kind_ = PictureKind::Icon; break;
    case DrawnKind::EnhancedMetafile: p.kind_ = PictureKind::EnhancedMetafile; break;
    case DrawnKind::PlaceableMetafile: p.kind_ = PictureKind::PlaceableMetafile; break;
    }
    p.file_ = std::make_shared<const SealedBytes>(std::move(file));
    return p;
}

const Raster& Picture::raster() const {
    if (!raster_) throw Error(kNotABitmapMessage);
    return *raster_;
}

DrawnKind Picture::drawnKind() const {
    switch (kind_) {
    case PictureKind::Icon: return DrawnKind::Icon;
    case PictureKind::EnhancedMetafile: return DrawnKind::EnhancedMetafile;
    default: return DrawnKind::PlaceableMetafile;
    }
}

std::span<const uint8_t> Picture::fileBytes() const { return file_ ? file_->bytes() : std::span<const uint8_t>(); }

}  // namespace qfip
