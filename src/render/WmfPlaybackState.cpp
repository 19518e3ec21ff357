#include "render/WmfPlaybackState.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

using qfip::PixelRegion;
using qfip::Rect;

namespace {

// The pixel a device coordinate falls in. The player's coordinates are floats: a point on
// a pixel's edge may come a little short of it, so a 512th of a pixel is allowed for
// (the pixel of a whole logical unit is then the same from the player and from here).
int64_t pixelOf(double device, double extent, unsigned size) {
    const double p = std::floor(device * size / extent + 1.0 / 512);
    return std::isfinite(p) ? int64_t(std::clamp(p, -1099511627776.0, 1099511627776.0)) : 0;
}

// A region within the bounds of what the state holds; past them the file is refused.
PixelRegion orRefuse(qfip::RegionOutcome outcome) {
    if (outcome.tooComplex) throw RegionTooComplex();
    return std::move(outcome.region);
}

// The player's points per logical unit in the map modes of fixed units (MM_TEXT 1 to
// MM_TWIPS 6); 0 for the others, which the player takes as the placeable mapping.
double fixedPoints(uint16_t mode) {
    switch (mode) {
    case 1: return 1;                  // MM_TEXT: a point
    case 2: return 72 * 0.1 / 25.4;    // MM_LOMETRIC
    case 3: return 72 * 0.01 / 25.4;   // MM_HIMETRIC
    case 4: return 72 * 0.01;          // MM_LOENGLISH
    case 5: return 72 * 0.001;         // MM_HIENGLISH
    case 6: return 0.05;               // MM_TWIPS
    default: return 0;
    }
}

}  // namespace

WmfPlaybackState::WmfPlaybackState(std::span<const uint8_t> file, const qfip::PlaceableMetafileHeader& header, int width,
                                   int height, bool seededOrigin)
    : file_(file),
      largestWords_(wmf::largestRecordWords(file, header.recordsAt)),
      width_(width),
      height_(height),
      boxWidth_(std::abs(int(header.box[2]) - header.box[0])),
      boxHeight_(std::abs(int(header.box[3]) - header.box[1])),
      placeablePoints_(header.unitsPerInch ? 72.0 / header.unitsPerInch : 1),
      frameWidth_(float(boxWidth_ * placeablePoints_)),
      frameHeight_(float(boxHeight_ * placeablePoints_)),
      next_(header.recordsAt),
      slots_(wmf::objectSlots(file, header.recordsAt)) {
    Dc first;
    if (seededOrigin) {
        first.originX = header.box[0];
        first.originY = header.box[1];
    }
    // Until the file sets one, the window is the header's box (its sign as the player's
    // default extent: positive).
    first.extentX = int32_t(std::max(boxWidth_, 1.0));
    first.extentY = int32_t(std::max(boxHeight_, 1.0));
    first.pointsPerUnit = placeablePoints_;
    stack_.push_back(first);
}

double WmfPlaybackState::scaleX() const {
    const Dc& d = dc();
    if (d.units != Units::Placeable) return 1;
    const double x = d.extentX ? boxWidth_ / std::abs(double(d.extentX)) : 1;
    return d.isotropic ? std::min(x, d.extentY ? boxHeight_ / std::abs(double(d.extentY)) : 1) : x;
}
double WmfPlaybackState::scaleY() const {
    const Dc& d = dc();
    if (d.units != Units::Placeable) return 1;
    const double y = d.extentY ? boxHeight_ / std::abs(double(d.extentY)) : 1;
    return d.isotropic ? std::min(y, d.extentX ? boxWidth_ / std::abs(double(d.extentX)) : 1) : y;
}

float WmfPlaybackState::frameRight() const { return float(frameWidth_ / scaleX()); }
float WmfPlaybackState::frameBottom() const { return float(frameHeight_ / scaleY()); }

int64_t WmfPlaybackState::pixelX(double device) const { return pixelOf(device, double(frameRight()), unsigned(width_)); }
int64_t WmfPlaybackState::pixelY(double device) const { return pixelOf(device, double(frameBottom()), unsigned(height_)); }

// The player's pixel width, negative when the window's extent is (a flipped axis).
double WmfPlaybackState::signedPointsX() const { return dc().extentX < 0 ? -dc().pointsPerUnit : dc().pointsPerUnit; }
double WmfPlaybackState::signedPointsY() const { return dc().extentY < 0 ? -dc().pointsPerUnit : dc().pointsPerUnit; }

double WmfPlaybackState::deviceX(double logical) const { return (logical - dc().originX) * signedPointsX() - viewportX_; }
double WmfPlaybackState::deviceY(double logical) const { return (logical - dc().originY) * signedPointsY() - viewportY_; }

Rect WmfPlaybackState::pixelBox(int32_t left, int32_t top, int32_t right, int32_t bottom) const {
    int64_t x0 = pixelX(deviceX(left)), x1 = pixelX(deviceX(right));
    int64_t y0 = pixelY(deviceY(top)), y1 = pixelY(deviceY(bottom));
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    return Rect{qfip::clamp32(x0), qfip::clamp32(y0), qfip::clamp32(x1), qfip::clamp32(y1)};
}

void WmfPlaybackState::hold(uint64_t spans) {
    heldSpans_ += spans;
    if (heldSpans_ > kMaxHeldSpans) throw RegionTooComplex();
}

void WmfPlaybackState::setClip(std::shared_ptr<const PixelRegion> clip) {
    heldSpans_ -= spansOf(dc());
    dc().clip = std::move(clip);
    hold(spansOf(dc()));
    ++clipVersion_;
}

void WmfPlaybackState::changeClip(PixelRegion::Op op, const Rect& box) {
    const PixelRegion whole(picture());
    const PixelRegion& before = dc().clip ? *dc().clip : whole;
    setClip(std::make_shared<const PixelRegion>(orRefuse(before.combined(PixelRegion(box), op, kRegionLimits))));
}

void WmfPlaybackState::takeSlot(bool region, size_t recordAt) {
    while (lowestFree_ < slots_.size() && slots_[lowestFree_].used) ++lowestFree_;
    if (lowestFree_ >= slots_.size()) return;  // the player gives up on the file
    slots_[lowestFree_] = Slot{true, region, recordAt};
}

std::shared_ptr<const PixelRegion> WmfPlaybackState::regionOf(size_t recordAt) {
    const double mapping[6] = {deviceX(0), deviceY(0), deviceX(1) - deviceX(0), deviceY(1) - deviceY(0), frameRight(),
                               frameBottom()};
    if (cached_.region && cached_.recordAt == recordAt && std::equal(mapping, mapping + 6, cached_.mapping))
        return cached_.region;
    std::vector<Rect> boxes;
    if (const std::optional<wmf::Record> record = wmf::recordAt(file_, recordAt, largestWords_)) {
        // Scans from word 11 as the player reads them: a count of column values (even),
        // top, bottom, the values in pairs, the count again.
        size_t at = 11;
        for (uint32_t scan = 0; scan < record->u16(5) && at + 3 <= record->words(); ++scan) {
            const uint16_t count = record->u16(at);
            if (count % 2 || at + count + 3 >= record->words() || record->u16(at + count + 3) != count) break;
            const int16_t top = record->s16(at + 1), bottom = record->s16(at + 2);
            for (size_t i = 0; i < count; i += 2)
                boxes.push_back(pixelBox(record->s16(at + 3 + i), top, record->s16(at + 4 + i), bottom));
            at += size_t(count) + 4;
        }
    }
    const PixelRegion scans = orRefuse(PixelRegion::unionOf(boxes, kRegionLimits));
    auto region = std::make_shared<const PixelRegion>(orRefuse(scans.combined(PixelRegion(picture()), PixelRegion::Op::And, kRegionLimits)));
    cached_.recordAt = recordAt;
    std::copy(mapping, mapping + 6, cached_.mapping);
    cached_.region = region;
    return region;
}

void WmfPlaybackState::selectRegion(uint16_t slot, bool nullWhenNoRegion) {
    if (slot < slots_.size() && slots_[slot].used && slots_[slot].region) {
        setClip(regionOf(slots_[slot].recordAt));
    } else if (nullWhenNoRegion && slot == 0) {
        setClip(nullptr);
    }
}

void WmfPlaybackState::followTo(size_t filePosition) {
    while (!ended_) {
        const std::optional<wmf::Record> record = wmf::recordAt(file_, next_, largestWords_);
        if (!record) {
            ended_ = true;
            return;
        }
        if (record->end() > filePosition) return;
        follow(*record);
        next_ = record->end();
    }
}

void WmfPlaybackState::follow(const wmf::Record& r) {
    using namespace wmf;
    switch (r.function) {
    case kSetMapMode: {
        const uint16_t mode = r.u16(0);
        const double fixed = fixedPoints(mode);
        dc().units = fixed > 0 ? Units::Fixed : Units::Placeable;
        dc().pointsPerUnit = fixed > 0 ? fixed : placeablePoints_;
        dc().isotropic = mode == 7;
        break;
    }
    case kSetWindowOrg:
        dc().originX = r.s16(1);
        dc().originY = r.s16(0);
        break;
    case kOffsetWindowOrg:
        dc().originX += r.s16(1);
        dc().originY += r.s16(0);
        break;
    case kSetWindowExt:
        if (r.s16(0) != 0 && r.s16(1) != 0) {  // GDI refuses an extent of 0
            dc().extentX = r.s16(1);
            dc().extentY = r.s16(0);
        }
        break;
    case kScaleWindowExt:  // x * xNum / xDenom; the player gives up on a denominator of 0
        if (r.s16(2) != 0 && r.s16(0) != 0) {
            dc().extentX = int32_t(double(dc().extentX) * r.s16(3) / r.s16(2));
            dc().extentY = int32_t(double(dc().extentY) * r.s16(1) / r.s16(0));
        }
        break;
    case kSetViewportOrg:
        viewportX_ = r.s16(1) * dc().pointsPerUnit;
        viewportY_ = r.s16(0) * dc().pointsPerUnit;
        break;
    case kOffsetViewportOrg:
        viewportX_ += r.s16(1) * dc().pointsPerUnit;
        viewportY_ += r.s16(0) * dc().pointsPerUnit;
        break;
    case kSaveDc:
        stack_.push_back(dc());
        hold(spansOf(dc()));
        break;
    case kRestoreDc:
        if (stack_.size() > 1) {
            const bool clipChanges = stack_[stack_.size() - 2].clip != dc().clip;
            heldSpans_ -= spansOf(dc());
            stack_.pop_back();
            if (clipChanges) ++clipVersion_;
        }
        break;
    case kMoveTo:
    case kLineTo: moveTo(r.s16(1), r.s16(0)); break;
    case kIntersectClipRect:
    case kExcludeClipRect:
        changeClip(r.function == kIntersectClipRect ? PixelRegion::Op::And : PixelRegion::Op::Diff,
                   pixelBox(r.s16(3), r.s16(2), r.s16(1), r.s16(0)));
        break;
    case kOffsetClipRgn:
        if (dc().clip) {
            const double dx = (deviceX(r.s16(1)) - deviceX(0)) * width_ / double(frameRight());
            const double dy = (deviceY(r.s16(0)) - deviceY(0)) * height_ / double(frameBottom());
            // Moved, then kept within the picture (what falls outside is dropped).
            const PixelRegion moved = dc().clip->translated(std::isfinite(dx) ? std::llround(std::clamp(dx, -1e9, 1e9)) : 0,
                                                            std::isfinite(dy) ? std::llround(std::clamp(dy, -1e9, 1e9)) : 0);
            setClip(std::make_shared<const PixelRegion>(
                orRefuse(moved.combined(PixelRegion(picture()), PixelRegion::Op::And, kRegionLimits))));
        }
        break;
    case kSelectClipRegion: selectRegion(r.u16(0), true); break;
    case kSelectObject: selectRegion(r.u16(0), false); break;
    case kDeleteObject:
        if (r.u16(0) < slots_.size()) {
            slots_[r.u16(0)] = Slot{};
            lowestFree_ = std::min<size_t>(lowestFree_, r.u16(0));
        }
        break;
    case kCreatePenIndirect:
    case kCreateFontIndirect:
    case kCreateBrushIndirect:
    case kCreatePalette:
    case kDibCreatePatternBrush: takeSlot(false, 0); break;
    case kCreateRegion: takeSlot(true, r.at); break;
    default: break;
    }
}
