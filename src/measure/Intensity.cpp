#include "measure/Intensity.h"

#include <cmath>

#include "common/Error.h"

namespace qfip {

int64_t windowValue(int64_t sum, int64_t a, int64_t b, MeasureMode mode) {
    if (mode == MeasureMode::Total) return sum;

    // The interior's pixel count; half size 0 makes a or b -2, which is a valid divisor.
    const int64_t count = a * b;
    if (count == 0) {
        // 0 / 0 is the empty interior; a nonzero sum over no pixels can't arise from a
        // window, but a division by zero is refused all the same.
        throw Error(sum == 0 ? "Invalid floating point operation" : "Floating point division by zero");
    }
    // Extended precision holds every 64-bit sum exactly; llrintl rounds in the default
    // mode, to nearest with halves to even, and yields an integer (so never -0).
    const long double mean = static_cast<long double>(sum) / static_cast<long double>(count);
    return static_cast<int64_t>(std::llrintl(mean));
}

}  // namespace qfip
