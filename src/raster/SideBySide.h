#pragma once

// Two pieces of work at once: one on a second thread the program keeps for this, one on
// the calling thread. Reading a large picture splits its rows in two this way: copying a
// file's bytes out of the page cache costs as much as decoding them, and both halves of
// the work scale with a second core.
#include <functional>

namespace qfip {

// Runs `first` on the calling thread's second thread (made on first use, at the caller's
// scheduling priority) and `second` on the calling thread, and returns once both are
// done. Without a second core both run here, one after the other. An exception from
// either is rethrown once both are done (the first's when both throw), so neither
// outlives what it works on.
void runSideBySide(const std::function<void()>& first, const std::function<void()>& second);

}  // namespace qfip
