#include "render/WmfRecords.h"

namespace wmf {

std::optional<TextRecord> textRecord(const Record& record) {
    TextRecord text;
    const std::span<const uint8_t> p = record.parameters;
    size_t stringAt = 0, length = 0;
    if (record.function == kTextOut) {
        // Length, the string (padded to a word), then y and x: the record's last two words.
        if (record.words() < 3) return std::nullopt;
        length = record.u16(0);
        stringAt = 2;
        if (length > p.size() - stringAt) return std::nullopt;
        text.y = record.s16(record.words() - 2);
        text.x = record.s16(record.words() - 1);
    } else if (record.function == kExtTextOut) {
        if (record.words() < 4) return std::nullopt;
        text.y = record.s16(0);
        text.x = record.s16(1);
        length = record.u16(2);
        text.options = record.u16(3);
        stringAt = 8;
        if (text.options & (kEtoOpaque | kEtoClipped)) {
            if (record.words() < 8) return std::nullopt;
            text.rect = std::array<int16_t, 4>{record.s16(4), record.s16(5), record.s16(6), record.s16(7)};
            stringAt = 16;
        }
        if (stringAt > p.size() || length > p.size() - stringAt) return std::nullopt;
        const size_t advancesAt = stringAt + (length + 1) / 2 * 2;
        if (advancesAt <= p.size() && (p.size() - advancesAt) / 2 >= length) {
            text.advances.reserve(length);
            for (size_t i = 0; i < length; ++i) text.advances.push_back(record.s16(advancesAt / 2 + i));
        }
    } else {
        return std::nullopt;
    }
    text.bytes = std::string_view(reinterpret_cast<const char*>(p.data() + stringAt), length);
    return text;
}

PlayerPatch patchForPlayer(const Record& record, uint64_t& savedDepth) {
    PlayerPatch patch;
    switch (record.function) {
    case kIntersectClipRect:
    case kExcludeClipRect:
    case kOffsetClipRgn:
    case kSelectClipRegion: patch.function = kSetMapperFlags; break;
    case kSetMapMode:
        if (record.u16(0) == 7 || record.u16(0) == 8) patch.parameter = std::pair<size_t, uint16_t>{0, 0};
        break;
    case kSetWindowExt:
        if (record.u16(0) == 0 || record.u16(1) == 0) patch.function = kSetMapperFlags;
        break;
    case kCreatePenIndirect:
        if (record.u16(1) == 0)
            patch.parameter = std::pair<size_t, uint16_t>{0, uint16_t((record.u16(0) & ~0x0F00) | kCosmeticPenMark)};
        break;
    case kSaveDc: ++savedDepth; break;
    case kRestoreDc:
        if (savedDepth == 0) {
            patch.function = kSetMapperFlags;
        } else {
            --savedDepth;
        }
        break;
    case kCreateRegion: {
        // Scans from word 11: a count of column values, top, bottom, the values, the count.
        uint64_t values = 0;
        size_t at = 11;
        for (uint32_t scan = 0; scan < record.u16(5) && at < record.words(); ++scan) {
            const uint16_t count = record.u16(at);
            values += count;
            at += size_t(count) + 4;
        }
        if (values > kPlayerRegionValues) patch.parameter = std::pair<size_t, uint16_t>{5, 0};
        break;
    }
    default: break;
    }
    return patch;
}

}  // namespace wmf
