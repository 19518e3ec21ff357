#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

#include "common/DrawnPictures.h"
#include "render/PixelRegion.h"
#include "render/WmfRecords.h"

// What libwmf's player ignores or gets wrong in a placeable metafile, followed record by
// record beside it (the helper is told after each record the player has played):
// - the clip region, in the picture's pixels: IntersectClipRect, ExcludeClipRect,
//   OffsetClipRgn, SelectClipRegion and SelectObject of a region object (the player
//   kept a region but never gave it to the device; Windows records SelectClipRgn as
//   SelectObject), saved and restored with the device context; SelectClipRegion of
//   slot 0 when it holds no region is SelectClipRgn(NULL), no clip;
// - the window's extent: the player maps a placeable file's units onto points at the
//   header's units per inch whatever the window's extent; GDI maps the window (origin
//   and extent, MM_ISOTROPIC keeping the smaller scale for both axes) onto the picture;
//   here that is a scale applied to the player's points;
// - the current position, for text aligned with TA_UPDATECP.
// A clip region holds at most kRegionLimits' runs and costs at most its work; the clip
// regions it holds (the current one and those saved with device contexts) hold at most
// kMaxHeldSpans runs between them. Past either it throws RegionTooComplex: the file is
// refused.
// It mirrors the player where the two must agree: device units are the player's points
// from the window origin (its viewport origin subtracted), the map modes of fixed units
// keep the player's sizes, RestoreDC goes back one level, and object slots are taken
// lowest first by the records that the player makes objects of.
class RegionTooComplex : public std::runtime_error {
public:
    RegionTooComplex() : std::runtime_error("clip region too complex") {}
};

class WmfPlaybackState {
public:
    static constexpr qfip::RegionLimits kRegionLimits{size_t(1) << 16, size_t(1) << 24};
    static constexpr uint64_t kMaxHeldSpans = uint64_t(1) << 24;

    // `seededOrigin`: the player was given the box's top-left corner as its window origin
    // in front of the records. Width and height: the picture in pixels.
    WmfPlaybackState(std::span<const uint8_t> file, const qfip::PlaceableMetafileHeader& header, int width, int height,
                     bool seededOrigin);

    // The record the player is at (the first not yet followed), in file bytes.
    size_t currentRecord() const { return next_; }
    // Follows every record that ends at or before `filePosition`. Throws RegionTooComplex
    // (and std::bad_alloc) for a clip region past its bounds.
    void followTo(size_t filePosition);

    // The device area the picture shows under the current mapping: the gd device maps
    // (0, 0) - (frameRight, frameBottom) onto the bitmap.
    float frameRight() const;
    float frameBottom() const;
    // A device coordinate as the gd device maps it to a pixel (within +-2^40).
    int64_t pixelX(double device) const;
    int64_t pixelY(double device) const;
    // A logical coordinate in the player's device units.
    double deviceX(double logical) const;
    double deviceY(double logical) const;

    const qfip::PixelRegion* clip() const { return dc().clip.get(); }
    // Changes whenever the clip does.
    uint64_t clipVersion() const { return clipVersion_; }

    int32_t currentX() const { return currentX_; }
    int32_t currentY() const { return currentY_; }
    void moveTo(int32_t x, int32_t y) {
        currentX_ = x;
        currentY_ = y;
    }

private:
    enum class Units { Placeable, Fixed };
    struct Dc {
        int32_t originX = 0, originY = 0;
        int32_t extentX = 1, extentY = 1;
        Units units = Units::Placeable;
        double pointsPerUnit = 1;  // the player's pixel width
        bool isotropic = false;
        std::shared_ptr<const qfip::PixelRegion> clip;
    };
    struct Slot {
        bool used = false;
        bool region = false;
        size_t recordAt = 0;
    };

    const Dc& dc() const { return stack_.back(); }
    Dc& dc() { return stack_.back(); }
    void follow(const wmf::Record& record);
    double scaleX() const;
    double scaleY() const;
    double signedPointsX() const;
    double signedPointsY() const;
    qfip::Rect pixelBox(int32_t left, int32_t top, int32_t right, int32_t bottom) const;
    qfip::Rect picture() const { return qfip::Rect{0, 0, width_, height_}; }
    void setClip(std::shared_ptr<const qfip::PixelRegion> clip);
    static uint64_t spansOf(const Dc& dc) { return dc.clip ? dc.clip->boxCount() : 0; }
    void hold(uint64_t spans);
    void changeClip(qfip::PixelRegion::Op op, const qfip::Rect& box);
    void takeSlot(bool region, size_t recordAt);
    void selectRegion(uint16_t slot, bool nullWhenNoRegion);
    std::shared_ptr<const qfip::PixelRegion> regionOf(size_t recordAt);

    std::span<const uint8_t> file_;
    uint32_t largestWords_;
    int32_t width_, height_;
    double boxWidth_, boxHeight_;
    double placeablePoints_;
    float frameWidth_, frameHeight_;
    size_t next_;
    bool ended_ = false;
    std::vector<Dc> stack_;
    double viewportX_ = 0, viewportY_ = 0;
    int32_t currentX_ = 0, currentY_ = 0;
    uint64_t clipVersion_ = 0;
    uint64_t heldSpans_ = 0;  // of every device context's clip, shared ones counted each time
    std::vector<Slot> slots_;
    size_t lowestFree_ = 0;
    // The last region object made pixels, with the mapping it was made under.
    struct CachedRegion {
        size_t recordAt = SIZE_MAX;
        double mapping[6] = {};
        std::shared_ptr<const qfip::PixelRegion> region;
    } cached_;
};
