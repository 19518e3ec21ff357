#pragma once

// Draws one icon or metafile in a fresh, sandboxed helper process per picture (standard
// library and Linux only, no event loop: callable from any thread). The helper process
// is started and watched by HelperProcess (its limits and isolation are set there), the
// next one ahead by SpareHelper; what crosses between them is in WireFormat.h. The
// client hands over the picture's sealed memory file, enforces a deadline from that
// moment (in the helper's own time, see kStarvedDeadlines), reads the reply as hostile
// (ReplyReader), kills the helper's whole process group when the deadline passes, when
// the caller's stop token is requested or when the reply is wrong, and always reaps it
// before returning.
#include <chrono>
#include <cstdint>
#include <span>
#include <stop_token>
#include <string>

#include "common/SealedBytes.h"
#include "exchange/DrawResult.h"
#include "exchange/HelperProcess.h"
#include "exchange/ReplyReader.h"

namespace qfip::exchange {

struct ClientOptions {
    std::string helperPath;
    // Per picture; a metafile is given more for the work it announces (drawingDeadline).
    std::chrono::milliseconds deadline{3000};
    HelperLimits limits;
    // Start the next picture's helper ahead (SpareHelper) once a drawing is done.
    bool spare = false;

    HelperCommand command() const { return {helperPath, limits}; }
};

// The time the helper is given for a picture (its own, see kStarvedDeadlines), from the
// moment it has its request: the options' deadline, and for a metafile more for the work it announces
// (metafileWork), as drawing it costs: a second for every 4 million pixels, every 10,000
// records, every 25 million points times the picture's mean side (lines cross the
// picture), every 100 million squared levels of nested saved device contexts (libwmf
// looks through all it holds on each of them) and every 1,000 clipping records (the
// helper walks its clip region, up to 65,536 runs, for each). Never more than the CPU
// limit less a second, so the CPU limit never ends a drawing the deadline still allows.
// A helper that hangs is killed when it runs out.
std::chrono::milliseconds drawingDeadline(const ClientOptions& options, DrawnKind kind,
                                          std::span<const uint8_t> bytes);

// The deadline counts the time the helper could run: time it spent waiting for a CPU that
// other work held is added, so that a busy machine draws an honest picture later instead
// of refusing it. By the clock a helper is given at most this many deadlines: one left a
// quarter of a CPU still has the time it would have on a quiet machine. A helper that
// hangs without using a CPU is killed at its deadline; one that spins, once its CPU time
// reaches the deadline (its own time is never less than its CPU time, so the CPU limit
// still never ends a drawing first).
inline constexpr int kStarvedDeadlines = 4;

// The longest the program waits by the clock for a picture's helper: kStarvedDeadlines
// times drawingDeadline (tests wait that long for a drawing before they give up).
std::chrono::milliseconds longestDrawingWait(const ClientOptions& options, DrawnKind kind,
                                             std::span<const uint8_t> bytes);

// Kills and reaps the spare helper, if one was started (tests, and before the options
// it was started with change in a way the options can't tell, such as the environment).
void discardSpareHelper();
// Starts a spare helper with these options now (as a drawing does once it is done).
void startSpareHelper(const ClientOptions& options);

// Draws the picture file of the given kind in a fresh helper process and never throws
// for anything the helper does. The pixels are written into the sink's buffer (which
// holds partial data unless the outcome is Drawn). A metafile whose header gives no size
// within the bounds is not sent (NotValid), and an empty one has nothing to draw (Drawn,
// with the sink never asked).
DrawResult drawInHelper(DrawnKind kind, const SealedBytes& file, const PixelSink& sink,
                        const ClientOptions& options, std::stop_token stop = {});
// The same for bytes in memory (copied into a sealed memory file first).
DrawResult drawInHelper(DrawnKind kind, std::span<const uint8_t> bytes, const PixelSink& sink,
                        const ClientOptions& options, std::stop_token stop = {});

// The same, throwing qfip::Error(notValidMessage(kind)) for every outcome but Drawn.
void drawInHelperOrThrow(DrawnKind kind, std::span<const uint8_t> bytes, const PixelSink& sink,
                         const ClientOptions& options, std::stop_token stop = {});

}  // namespace qfip::exchange
