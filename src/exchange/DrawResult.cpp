#include "exchange/DrawResult.h"

#include <cstring>

#include "exchange/WireFormat.h"

namespace qfip::exchange {

DrawResult drawResult(Outcome outcome, int detail) {
    DrawResult r;
    r.outcome = outcome;
    r.detail = detail;
    return r;
}

std::string describe(const DrawResult& r) {
    switch (r.outcome) {
    case Outcome::Drawn: return "drawn " + std::to_string(r.width) + " x " + std::to_string(r.height);
    case Outcome::NotValid: return "not valid";
    case Outcome::Signalled: return "killed by signal " + std::to_string(r.detail) + " (" + strsignal(r.detail) + ")";
    case Outcome::ExitCode: return "exited with status " + std::to_string(r.detail);
    case Outcome::Timeout: return "past its deadline, killed";
    case Outcome::Stopped: return "abandoned by its caller, killed";
    case Outcome::MalformedReply: return "malformed reply: " + describe(ReplyCheck(r.detail));
    case Outcome::ShortReply: return "short reply";
    case Outcome::ExtraBytes: return "more bytes than announced";
    case Outcome::NoImage: return "no image of that size";
    case Outcome::SpawnFailed: return std::string("not started: ") + strerror(r.detail);
    }
    return "?";
}

}  // namespace qfip::exchange
