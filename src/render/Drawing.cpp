#include "render/Drawing.h"

#include <QByteArray>
#include <limits>

#include "common/Error.h"
#include "render/MetafileRendering.h"

using qfip::DrawnKind;

namespace {

QImage renderIcon(std::span<uint8_t> bytes) {
    // Bound the size before handing the bytes to Qt: the ico reader trusts its entries.
    if (bytes.size() > size_t(std::numeric_limits<int>::max())) throw qfip::Error(qfip::kIconNotValid);
    // The program takes a resource type of 0 as well as 1 (icon); Qt's reader takes only
    // icons and cursors, so it is handed the same directory as an icon's (in the helper's
    // own copy of the page).
    if (bytes.size() >= 6 && bytes[2] == 0 && bytes[3] == 0) bytes[2] = 1;
    const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    QImage image = QImage::fromData(data, "ICO");
    if (image.isNull()) throw qfip::Error(qfip::kIconNotValid);
    // fromRawData does not copy; the decoded image owns its own pixels, so this is safe.
    return image;
}

}  // namespace

QImage drawPicture(DrawnKind kind, std::span<uint8_t> bytes) {
    switch (kind) {
    case DrawnKind::Icon: return renderIcon(bytes);
    case DrawnKind::EnhancedMetafile: return renderEnhancedMetafile(bytes);
    case DrawnKind::PlaceableMetafile: return renderPlaceableMetafile(bytes);
    }
    throw qfip::Error(qfip::notValidMessage(kind));
}

QImage replyImage(DrawnKind kind, QImage drawn) {
    if (drawn.isNull() || !qfip::exchange::withinBounds(kind, uint64_t(drawn.width()), uint64_t(drawn.height())))
        return QImage();
    // In place: a large metafile must not need a second copy under the helper's memory limit.
    if (drawn.format() != QImage::Format_RGB32) drawn.convertTo(QImage::Format_ARGB32_Premultiplied);
    return drawn;
}
