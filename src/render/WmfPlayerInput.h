#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "render/WmfRecords.h"

// The bytes libwmf's player reads (through wmf_bbuf_input's read, seek and tell): the
// file's own, with
// - records read in front of the file's first one (`prologue`, whole records), and
// - each record the player would act on wrongly given as wmf::patchForPlayer says
//   (its size unchanged, so that the player walks the same records).
// Positions are those of this stream; filePosition() gives where the reading is in the
// file's own bytes.
class WmfPlayerInput {
public:
    WmfPlayerInput(std::span<const uint8_t> file, size_t firstRecord, std::vector<uint8_t> prologue);

    static int read(void* context);
    static int seek(void* context, long position);
    static long tell(void* context);

    size_t filePosition() const;
    std::span<const uint8_t> file() const { return file_; }
    uint32_t largestWords() const { return largestWords_; }

private:
    size_t size() const { return file_.size() + prologue_.size(); }
    uint8_t fileByte(size_t at) {
        if (at < recordAt_ || at >= recordEnd_) locate(at);
        return patched_ && at >= recordAt_ && at < recordEnd_ ? patchedByte(at) : file_[at];
    }
    uint8_t patchedByte(size_t at) const;
    // Makes `record_` the record holding file byte `at` (the player reads in order; a
    // seek back to the first record starts the walk again).
    void locate(size_t at);

    std::span<const uint8_t> file_;
    std::vector<uint8_t> prologue_;
    size_t firstRecord_;
    uint32_t largestWords_;
    size_t pos_ = 0;
    // The record being read and what the player sees of it.
    size_t recordAt_ = SIZE_MAX, recordEnd_ = 0;
    bool walkEnded_ = false;
    uint64_t savedDepth_ = 0;
    wmf::PlayerPatch patch_;
    bool patched_ = false;
};
