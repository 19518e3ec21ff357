// The request and reply format between the program and its drawing helper: the
// parent's check of every reply header, table by table.
#include <gtest/gtest.h>

#include "exchange/WireFormat.h"

using namespace qfip::exchange;

namespace {

std::array<uint8_t, kReplyHeaderSize> raw(uint32_t magic, uint32_t status, uint32_t width, uint32_t height,
                                          uint64_t count) {
    std::array<uint8_t, kReplyHeaderSize> h{};
    const auto put = [&](size_t at, uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) h[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    put(0, magic, 4);
    put(4, status, 4);
    put(8, width, 4);
    put(12, height, 4);
    put(16, count, 8);
    return h;
}

}  // namespace

TEST(ReplyHeader, EncodesItsFieldsLittleEndian) {
    const auto h = encodeReplyHeader(ReplyStatus::Drawn, 0x0102, 3);
    const std::array<uint8_t, kReplyHeaderSize> expected = {'Q', 'R', 'P', '1', 0, 0, 0, 0, 2, 1, 0, 0,
                                                            3, 0, 0, 0, 0x18, 0x0C, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(h, expected);
}

TEST(ReplyHeader, ChecksEveryFieldBeforeAnythingIsAllocated) {
    const uint32_t M = kReplyMagic, D = uint32_t(ReplyStatus::Drawn), N = uint32_t(ReplyStatus::NotValid);
    const Size emf{48, 24};
    struct Case {
        const char* name;
        std::array<uint8_t, kReplyHeaderSize> header;
        DrawnKind kind;
        std::optional<Size> expected;
        ReplyCheck check;
    };
    const Case cases[] = {
        {"icon", raw(M, D, 32, 32, 32 * 32 * 4), DrawnKind::Icon, std::nullopt, ReplyCheck::Ok},
        {"one pixel", raw(M, D, 1, 1, 4), DrawnKind::Icon, std::nullopt, ReplyCheck::Ok},
        {"metafile at its size", raw(M, D, 48, 24, 48 * 24 * 4), DrawnKind::EnhancedMetafile, emf, ReplyCheck::Ok},
        {"placeable at its size", raw(M, D, 48, 24, 48 * 24 * 4), DrawnKind::PlaceableMetafile, emf, ReplyCheck::Ok},
        {"not valid", raw(M, N, 0, 0, 0), DrawnKind::EnhancedMetafile, emf, ReplyCheck::Ok},
        {"not valid icon", raw(M, N, 0, 0, 0), DrawnKind::Icon, std::nullopt, ReplyCheck::Ok},
        {"largest icon side", raw(M, D, 16384, 4096, uint64_t(16384) * 4096 * 4), DrawnKind::Icon, std::nullopt, ReplyCheck::Ok},
        {"largest icon area", raw(M, D, 8192, 8192, uint64_t(8192) * 8192 * 4), DrawnKind::Icon, std::nullopt, ReplyCheck::Ok},
        {"wrong magic", raw(M ^ 1, D, 32, 32, 4096), DrawnKind::Icon, std::nullopt, ReplyCheck::WrongMagic},
        {"request magic", raw(kRequestMagic, D, 32, 32, 4096), DrawnKind::Icon, std::nullopt, ReplyCheck::WrongMagic},
        {"unknown status", raw(M, 2, 32, 32, 4096), DrawnKind::Icon, std::nullopt, ReplyCheck::UnknownStatus},
        {"status high bit", raw(M, 0x80000000u, 32, 32, 4096), DrawnKind::Icon, std::nullopt, ReplyCheck::UnknownStatus},
        {"not valid with width", raw(M, N, 1, 0, 0), DrawnKind::Icon, std::nullopt, ReplyCheck::NotValidWithSize},
        {"not valid with bytes", raw(M, N, 0, 0, 4), DrawnKind::Icon, std::nullopt, ReplyCheck::NotValidWithSize},
        {"zero width", raw(M, D, 0, 32, 0), DrawnKind::Icon, std::nullopt, ReplyCheck::EmptySize},
        {"zero height", raw(M, D, 32, 0, 0), DrawnKind::Icon, std::nullopt, ReplyCheck::EmptySize},
        {"side past the bound", raw(M, D, 16385, 1, 16385 * 4), DrawnKind::Icon, std::nullopt, ReplyCheck::TooLarge},
        {"area past the bound", raw(M, D, 8193, 8192, uint64_t(8193) * 8192 * 4), DrawnKind::Icon, std::nullopt, ReplyCheck::TooLarge},
        {"absurd sides", raw(M, D, 0xFFFFFFFFu, 0xFFFFFFFFu, 0), DrawnKind::Icon, std::nullopt, ReplyCheck::TooLarge},
        {"negative as int", raw(M, D, 0x80000000u, 1, 0), DrawnKind::EnhancedMetafile, emf, ReplyCheck::TooLarge},
        {"metafile past the bound", raw(M, D, 20000, 1, 80000), DrawnKind::EnhancedMetafile, Size{20000, 1}, ReplyCheck::TooLarge},
        {"metafile at another size", raw(M, D, 49, 24, 49 * 24 * 4), DrawnKind::EnhancedMetafile, emf, ReplyCheck::WrongSize},
        {"metafile transposed", raw(M, D, 24, 48, 48 * 24 * 4), DrawnKind::PlaceableMetafile, emf, ReplyCheck::WrongSize},
        {"metafile without a size", raw(M, D, 48, 24, 48 * 24 * 4), DrawnKind::EnhancedMetafile, std::nullopt, ReplyCheck::WrongSize},
        {"count one short", raw(M, D, 32, 32, 4095), DrawnKind::Icon, std::nullopt, ReplyCheck::WrongByteCount},
        {"count one over", raw(M, D, 32, 32, 4097), DrawnKind::Icon, std::nullopt, ReplyCheck::WrongByteCount},
        {"count of 3 bytes a pixel", raw(M, D, 32, 32, 3072), DrawnKind::Icon, std::nullopt, ReplyCheck::WrongByteCount},
        {"count high word", raw(M, D, 32, 32, 4096 | uint64_t(1) << 32), DrawnKind::Icon, std::nullopt, ReplyCheck::WrongByteCount},
    };
    for (const Case& c : cases) {
        const ParsedReply parsed = parseReplyHeader(c.header, c.kind, c.expected);
        EXPECT_EQ(parsed.check, c.check) << c.name << ": " << describe(parsed.check);
        if (parsed.check == ReplyCheck::Ok && parsed.header.status == ReplyStatus::Drawn) {
            EXPECT_EQ(parsed.header.pixelBytes, uint64_t(parsed.header.width) * uint64_t(parsed.header.height) * 4) << c.name;
        }
    }
}

TEST(ReplyHeader, OnlyExactlyTheHeadersLengthIsRead) {
    const auto h = encodeReplyHeader(ReplyStatus::Drawn, 2, 2);
    for (size_t length : {size_t(0), size_t(1), size_t(23)}) {
        EXPECT_EQ(parseReplyHeader(std::span(h.data(), length), DrawnKind::Icon, std::nullopt).check,
                  ReplyCheck::WrongLength) << length;
    }
    std::vector<uint8_t> longer(h.begin(), h.end());
    longer.push_back(0);
    EXPECT_EQ(parseReplyHeader(longer, DrawnKind::Icon, std::nullopt).check, ReplyCheck::WrongLength);
    EXPECT_EQ(parseReplyHeader(h, DrawnKind::Icon, std::nullopt).check, ReplyCheck::Ok);
}

TEST(RequestHeader, RoundTripsAndRefusesWhatTheHelperMustNotTrust) {
    for (DrawnKind kind : {DrawnKind::Icon, DrawnKind::EnhancedMetafile, DrawnKind::PlaceableMetafile}) {
        const auto h = encodeRequestHeader(kind, 1234);
        const auto parsed = parseRequestHeader(h);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->kind, kind);
        EXPECT_EQ(parsed->byteCount, 1234u);
    }
    struct Case {
        const char* name;
        std::array<uint8_t, kRequestHeaderSize> header;
        bool ok;
    };
    auto with = [](auto edit) {
        auto h = encodeRequestHeader(DrawnKind::Icon, 10);
        edit(h);
        return h;
    };
    const Case cases[] = {
        {"good", with([](auto&) {}), true},
        {"wrong magic", with([](auto& h) { h[3] = 'X'; }), false},
        {"kind 0", with([](auto& h) { h[4] = 0; }), false},
        {"kind 4", with([](auto& h) { h[4] = 4; }), false},
        {"largest count", encodeRequestHeader(DrawnKind::Icon, qfip::kMaxDrawnFileBytes), true},
        {"count past the limit", encodeRequestHeader(DrawnKind::Icon, qfip::kMaxDrawnFileBytes + 1), false},
        {"count 2^64 - 1", encodeRequestHeader(DrawnKind::Icon, ~uint64_t(0)), false},
    };
    for (const Case& c : cases) EXPECT_EQ(parseRequestHeader(c.header).has_value(), c.ok) << c.name;
    const auto h = encodeRequestHeader(DrawnKind::Icon, 1);
    EXPECT_FALSE(parseRequestHeader(std::span(h.data(), 15)).has_value());
}

TEST(Messages, EachKindHasItsOwn) {
    EXPECT_STREQ(qfip::notValidMessage(DrawnKind::Icon), "Icon image is not valid");
    EXPECT_STREQ(qfip::notValidMessage(DrawnKind::EnhancedMetafile), "Metafile is not valid");
    EXPECT_STREQ(qfip::notValidMessage(DrawnKind::PlaceableMetafile), "Metafile is not valid");
}
