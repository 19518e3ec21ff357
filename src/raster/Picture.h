#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "common/DrawnPictures.h"
#include "common/SealedBytes.h"
#include "raster/Raster.h"

namespace qfip {

inline constexpr const char* kNotABitmapMessage = "Can only modify an image if it contains a bitmap";

enum class PictureKind { Bitmap, Icon, EnhancedMetafile, PlaceableMetafile };

// A loaded picture file. A bitmap owns its decoded raster, which never changes once
// loaded; icons and metafiles keep the file's bytes, sealed in a memory file that the
// drawing helper is handed as it is, and have no raster. Copies share the same immutable
// data.
class Picture {
public:
    static Picture bitmap(Raster raster);
    static Picture drawn(DrawnKind kind, SealedBytes file);

    PictureKind kind() const { return kind_; }
    bool hasRaster() const { return kind_ == PictureKind::Bitmap; }

    // The bitmap's raster; throws Error(kNotABitmapMessage) for icons and metafiles.
    const Raster& raster() const;
    // The same raster, shared (for views that keep it alive); null for icons and metafiles.
    std::shared_ptr<const Raster> sharedRaster() const { return raster_; }

    // An icon's or metafile's kind as it is drawn, and its file (null for a bitmap).
    DrawnKind drawnKind() const;
    const SealedBytes* drawnFile() const { return file_.get(); }
    // The file's bytes of an icon or metafile (empty for a bitmap).
    std::span<const uint8_t> fileBytes() const;

private:
    PictureKind kind_ = PictureKind::Bitmap;
    std::shared_ptr<const Raster> raster_;
    std::shared_ptr<const SealedBytes> file_;
};

}  // namespace qfip
