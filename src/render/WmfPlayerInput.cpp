#include "render/WmfPlayerInput.h"

#include <algorithm>
#include <cstdio>

WmfPlayerInput::WmfPlayerInput(std::span<const uint8_t> file, size_t firstRecord, std::vector<uint8_t> prologue)
    : file_(file),
      prologue_(std::move(prologue)),
      firstRecord_(std::min(firstRecord, file.size())),
      largestWords_(wmf::largestRecordWords(file, firstRecord)) {}

int WmfPlayerInput::read(void* context) {
    auto& in = *static_cast<WmfPlayerInput*>(context);
    if (in.pos_ >= in.size()) return EOF;
    const size_t at = in.pos_++;
    if (at < in.firstRecord_) return in.file_[at];
    if (at < in.firstRecord_ + in.prologue_.size()) return in.prologue_[at - in.firstRecord_];
    return in.fileByte(at - in.prologue_.size());
}

int WmfPlayerInput::seek(void* context, long position) {
    auto& in = *static_cast<WmfPlayerInput*>(context);
    if (position < 0 || size_t(position) > in.size()) return -1;
    in.pos_ = size_t(position);
    return 0;
}

long WmfPlayerInput::tell(void* context) { return long(static_cast<WmfPlayerInput*>(context)->pos_); }

size_t WmfPlayerInput::filePosition() const {
    if (pos_ <= firstRecord_) return pos_;
    return std::max(pos_, firstRecord_ + prologue_.size()) - prologue_.size();
}

void WmfPlayerInput::locate(size_t at) {
    if (recordAt_ == SIZE_MAX || at < recordAt_) {
        recordAt_ = recordEnd_ = firstRecord_;
        walkEnded_ = false;
        savedDepth_ = 0;
        patch_ = {};
        patched_ = false;
    }
    while (!walkEnded_ && at >= recordEnd_) {
        recordAt_ = recordEnd_;
        const std::optional<wmf::Record> record = wmf::recordAt(file_, recordAt_, largestWords_);
        if (!record) {
            // Past the walk every byte is the file's own.
            walkEnded_ = true;
            patch_ = {};
            patched_ = false;
            recordEnd_ = SIZE_MAX;
            return;
        }
        recordEnd_ = record->end();
        patch_ = wmf::patchForPlayer(*record, savedDepth_);
        patched_ = patch_.function || patch_.parameter;
    }
}

uint8_t WmfPlayerInput::patchedByte(size_t at) const {
    const size_t offset = at - recordAt_;
    if (patch_.function && (offset == 4 || offset == 5)) return uint8_t(*patch_.function >> (offset == 5 ? 8 : 0));
    if (patch_.parameter && offset >= 6) {
        const auto [index, value] = *patch_.parameter;
        if ((offset - 6) / 2 == index) return uint8_t(value >> ((offset - 6) % 2 ? 8 : 0));
    }
    return file_[at];
}
