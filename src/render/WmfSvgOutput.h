#pragma once

#include <QByteArray>

#include <libwmf/api.h>
#include <libwmf/ipa.h>

// Where libwmf's SVG device writes, and the two things that device gets wrong put right
// as it writes:
// - colours: it names every colour by the nearest of the SVG colour names (68D488 becomes
//   mediumaquamarine, 66CDAA; 1E1E1E becomes black). Each drawing call's fill and stroke
//   are written instead as the exact RGB of the brush, pen, text colour or pixel the
//   call draws with (the device takes its colours from the same places);
// - text: it writes a text record's characters into the document as they are, so "<" or
//   "&" in a file's text would be markup. They are escaped, and control characters, which
//   XML can't hold, are left out. (libwmf also crashed on a text longer than its string
//   buffer; the buffer is made large enough first.)
// Constructed on a session whose device is wmf_svg_function, before wmf_play; takes over
// the session's user_data and the device's output stream while it lives.
class WmfSvgOutput {
public:
    explicit WmfSvgOutput(wmfAPI* api);
    ~WmfSvgOutput();
    WmfSvgOutput(const WmfSvgOutput&) = delete;
    WmfSvgOutput& operator=(const WmfSvgOutput&) = delete;

    // The document written so far; empty when memory ran out while writing.
    QByteArray svg() const { return failed_ ? QByteArray() : svg_; }

private:
    friend struct WmfSvgWrapping;
    wmfAPI* api_;
    wmfFunctionReference device_;  // the device's own calls, which ours wrap
    wmfStream stream_;
    QByteArray svg_;
    bool failed_ = false;
    // The exact colours of the drawing call under way, each written once; -1 when none.
    long fill_ = -1;
    long stroke_ = -1;
};
