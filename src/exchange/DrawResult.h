#pragma once

// How one drawing through the helper ended.
#include <string>

namespace qfip::exchange {

// How a drawing ended. Every outcome but Drawn is reported to the user as the kind's
// "not valid" message; the distinction is for diagnostics, tests and fuzzing.
enum class Outcome {
    Drawn,
    NotValid,        // the helper read the file and said it can't be drawn
    Signalled,       // the helper died of a signal (detail: the signal number)
    ExitCode,        // the helper exited with a status other than 0 (detail: it)
    Timeout,         // the deadline passed; the helper was killed
    Stopped,         // the caller's stop token was requested; the helper was killed
    MalformedReply,  // a reply header that fails parseReplyHeader (detail: ReplyCheck)
    ShortReply,      // the stream ended before the announced bytes
    ExtraBytes,      // more bytes than announced
    NoImage,         // the sink could not give a buffer of that size
    SpawnFailed,     // no process could be started (detail: errno)
};

struct DrawResult {
    Outcome outcome = Outcome::SpawnFailed;
    int detail = 0;
    int width = 0;
    int height = 0;
};

std::string describe(const DrawResult& result);

// A result of that outcome (and detail).
DrawResult drawResult(Outcome outcome, int detail = 0);

}  // namespace qfip::exchange
