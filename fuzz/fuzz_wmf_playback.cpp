// Feeds arbitrary records to what the drawing helper runs beside libwmf's player: the
// bytes the player is given (the walk and its patches), the clip region and mapping
// followed record by record, the text records and their characters, and the polygon and
// clip drawing into a small bitmap. A refusal of a region too large is expected; a crash,
// a sanitizer report, a hang, or a result outside its bounds is a fault.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "common/DrawnPictures.h"
#include "render/AnsiText.h"
#include "render/GdRaster.h"
#include "render/WmfPlaybackState.h"
#include "render/WmfPlayerInput.h"
#include "render/WmfRecords.h"

namespace {

constexpr int kSide = 64;

// A placeable file of kSide x kSide pixels (96 units per inch) around the input: its
// first byte sets the object table's size, the rest are the records.
std::vector<uint8_t> placeable(std::span<const uint8_t> input) {
    std::vector<uint8_t> f = {0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0, 0, 0, kSide, 0, kSide, 0, 96, 0, 0, 0, 0, 0, 0, 0};
    uint16_t sum = 0;
    for (size_t i = 0; i < 20; i += 2) sum ^= uint16_t(f[i] | f[i + 1] << 8);
    f[20] = uint8_t(sum);
    f[21] = uint8_t(sum >> 8);
    const size_t words = (18 + input.size()) / 2;
    const uint8_t objects = input.empty() ? 0 : input[0];
    const std::vector<uint8_t> meta = {1, 0, 9, 0, 0, 3, uint8_t(words), uint8_t(words >> 8), uint8_t(words >> 16), uint8_t(words >> 24),
                                       objects, 0, 0xFF, 0xFF, 0, 0, 0, 0};
    f.insert(f.end(), meta.begin(), meta.end());
    if (!input.empty()) f.insert(f.end(), input.begin() + 1, input.end());
    return f;
}

void check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> file = placeable(std::span<const uint8_t>(data, size));
    const auto header = qfip::placeableMetafileHeader(file);
    check(header && header->recordsAt == wmf::kUsualFirstRecord);

    // The player's bytes: as many as the file and the prologue, the records' sizes kept,
    // the same again after a seek back.
    const std::vector<uint8_t> prologue = {5, 0, 0, 0, 0x0B, 0x02, 0, 0, 0, 0};
    WmfPlayerInput input(file, header->recordsAt, prologue);
    std::vector<uint8_t> given;
    for (int c; (c = WmfPlayerInput::read(&input)) != EOF;) given.push_back(uint8_t(c));
    check(given.size() == file.size() + prologue.size());
    check(WmfPlayerInput::seek(&input, long(header->recordsAt)) == 0);
    for (size_t i = header->recordsAt; i < given.size(); ++i) check(WmfPlayerInput::read(&input) == given[i]);

    // The state beside the player, record by record, and what each record holds.
    WmfPlaybackState state(file, *header, kSide, kSide, true);
    std::vector<int> pixels(kSide * kSide, 0xFFFFFF);
    std::vector<int*> rows(kSide);
    for (int y = 0; y < kSide; ++y) rows[size_t(y)] = pixels.data() + y * kSide;
    gdImage image{};
    image.sx = image.sy = kSide;
    image.trueColor = 1;
    image.tpixels = rows.data();
    const uint32_t largest = wmf::largestRecordWords(file, header->recordsAt);
    try {
        for (size_t at = header->recordsAt; const auto record = wmf::recordAt(file, at, largest);) {
            check(record->end() <= file.size() && record->end() > at);
            state.followTo(record->end());
            check(state.currentRecord() == record->end());
            if (const qfip::PixelRegion* clip = state.clip()) {
                const qfip::Rect b = clip->bounds();
                check(clip->isEmpty() || (b.Left >= 0 && b.Top >= 0 && b.Right <= kSide && b.Bottom <= kSide));
                check(clip->boxCount() <= WmfPlaybackState::kRegionLimits.maxBoxes);
            }
            if (const auto text = wmf::textRecord(*record)) {
                check(text->bytes.data() >= reinterpret_cast<const char*>(record->parameters.data()));
                check(text->bytes.data() + text->bytes.size() <= reinterpret_cast<const char*>(record->parameters.data() + record->parameters.size()));
                check(text->advances.empty() || text->advances.size() == text->bytes.size());
                size_t last = 0;
                for (const AnsiCharacter& c : decodeAnsiCharacters(text->bytes, uint8_t(text->options))) {
                    check(c.byte < text->bytes.size() && c.byte >= last);
                    last = c.byte;
                }
            }
            if (record->function == 0x0324 && record->words() >= 1) {  // META_POLYGON: filled within the clip
                std::vector<PixelPoint> ring;
                for (size_t i = 0; i < record->u16(0) && 2 + 2 * i < record->words(); ++i)
                    ring.push_back({state.pixelX(state.deviceX(record->s16(1 + 2 * i))), state.pixelY(state.deviceY(record->s16(2 + 2 * i)))});
                fillPolygon(GdCanvas{&image, state.clip()}, {ring}, record->u16(0) % 2 ? FillRule::Winding : FillRule::Alternate,
                            PixelPaint{0x0000FF, unsigned(record->u16(0) % 17), hatchPattern(record->u16(0) % 7), true, 0xFFFF00});
                if (ring.size() >= 2)
                    drawPixelLine(GdCanvas{&image, state.clip()}, ring[0].x, ring[0].y, ring[1].x, ring[1].y, PixelPaint{0},
                                  nullptr, false);
            }
            at = record->end();
        }
    } catch (const RegionTooComplex&) {
        // A region past its bounds is refused: fine.
    }
    return 0;
}
