// The metafile corpus (tests/support/MetafileCorpus.h) drawn by the whole chain: the
// client, the sandboxed helper, the metafile libraries and the renderer. Each file's
// pixels must be what its records mean.
#include <gtest/gtest.h>

#include <algorithm>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "common/Error.h"
#include "exchange/DrawnSize.h"
#include "exchange/RenderClient.h"
#include "support/MetafileCorpus.h"

namespace {
uint32_t u32At(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24; }
}  // namespace

// The writers fill in what the headers say about the whole file: the program takes each
// file for its kind and size, and its record walk reaches the end record the header counts.
TEST(MetafileCorpusFiles, HeadersDescribeTheWholeFile) {
    for (const auto& file : qfip::testing::metafileCorpus()) {
        SCOPED_TRACE(file.name);
        const auto kind = file.enhanced ? qfip::DrawnKind::EnhancedMetafile : qfip::DrawnKind::PlaceableMetafile;
        EXPECT_EQ(qfip::metafileKind(file.bytes, file.bytes.size()), kind);
        EXPECT_EQ(qfip::exchange::expectedSize(kind, file.bytes), (qfip::exchange::Size{file.width, file.height}));
        const uint64_t records = qfip::exchange::metafileWork(kind, file.bytes).records;
        if (file.enhanced) {
            EXPECT_EQ(u32At(file.bytes, 48), file.bytes.size());  // nBytes
            EXPECT_EQ(records + 1, u32At(file.bytes, 52));  // nRecords: the header, the walk, EMR_EOF
        } else {
            EXPECT_EQ(2 * uint64_t(u32At(file.bytes, 28)), file.bytes.size() - 22);  // mtSize in words
            EXPECT_GE(records, 3u);
        }
    }
}

#ifdef QFIP_RENDER_HELPER

namespace qfip::testing {
// Named in failures by its name, not its bytes.
void PrintTo(const CorpusMetafile& file, std::ostream* out) { *out << file.name; }
}  // namespace qfip::testing

using namespace qfip::exchange;
using qfip::testing::CorpusMetafile;
using qfip::testing::PixelCheck;

namespace {

// The checks the chain is known to draw wrong, each with the reason: the one place where
// the corpus is excused ("drawn": the file is refused as a whole). A listed check that
// comes out right fails the test, so that it is taken off the list.
struct KnownWrong {
    const char* file;
    const char* check;
    const char* why;
};
const KnownWrong kKnownWrong[] = {
    {"emf-rop2", "R2_XORPEN: grey XOR dark grey", "XOR is drawn as SVG's difference blend (librsvg has no XOR of colours): "
                                                  "exact only where each channel of either colour is 0 or 255"},
};

const KnownWrong* knownWrong(const std::string& file, const std::string& check) {
    const auto it = std::find_if(std::begin(kKnownWrong), std::end(kKnownWrong),
                                 [&](const KnownWrong& k) { return file == k.file && check == k.check; });
    return it == std::end(kKnownWrong) ? nullptr : it;
}

std::string describe(const PixelCheck& check, int matching, const std::vector<uint32_t>& pixels, int width) {
    std::ostringstream out;
    out << check.what << ": " << matching << " pixels of (" << check.area[0] << ", " << check.area[1] << ") - ("
        << check.area[2] << ", " << check.area[3] << ") within " << check.tolerance << " of #" << std::hex
        << std::setw(6) << std::setfill('0') << check.rgb << std::dec << ", expected " << check.atLeast << " to "
        << check.atMost;
    if (check.atLeast == 1 && check.atMost == 1 && check.area[0] < width)  // one pixel: which colour it is
        out << "; it is #" << std::hex << std::setw(6)
            << (pixels[size_t(check.area[1]) * size_t(width) + size_t(check.area[0])] & 0xFFFFFF);
    return out.str();
}

class MetafileCorpus : public ::testing::TestWithParam<CorpusMetafile> {};

}  // namespace

TEST_P(MetafileCorpus, DrawsWhatItsRecordsMean) {
    const CorpusMetafile& file = GetParam();
    ClientOptions options;
    options.helperPath = QFIP_RENDER_HELPER;
    std::vector<uint32_t> pixels;
    const DrawResult result = drawInHelper(
        file.enhanced ? DrawnKind::EnhancedMetafile : DrawnKind::PlaceableMetafile, file.bytes,
        [&](int width, int height) {
            pixels.assign(size_t(width) * size_t(height), 0);
            return pixels.data();
        },
        options);
    if (const KnownWrong* known = knownWrong(file.name, "drawn")) {
        EXPECT_NE(result.outcome, Outcome::Drawn) << "now drawn, take it off kKnownWrong (" << known->why << ")";
        return;
    }
    ASSERT_EQ(result.outcome, Outcome::Drawn) << describe(result);
    ASSERT_EQ(result.width, file.width);
    ASSERT_EQ(result.height, file.height);
    for (const PixelCheck& check : file.checks) {
        const int matching = qfip::testing::matchingPixels(check, pixels.data(), result.width, result.height);
        const std::string what = describe(check, matching, pixels, result.width);
        const KnownWrong* known = knownWrong(file.name, check.what);
        EXPECT_EQ(qfip::testing::holds(check, matching), known == nullptr)
            << what << (known ? std::string(": now right, take it off kKnownWrong (") + known->why + ")" : "");
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, MetafileCorpus, ::testing::ValuesIn(qfip::testing::metafileCorpus()),
                         [](const ::testing::TestParamInfo<CorpusMetafile>& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

#endif
