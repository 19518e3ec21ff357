// Conformance with the public BMP test corpus: good files decode to their reference
// pictures, questionable and bad files decode or fail with one of the reader's messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

#include "common/Error.h"
#include "raster/BmpReader.h"
#include "raster/PictureFile.h"

namespace qfip {
namespace {

namespace fs = std::filesystem;

const fs::path kSuite = fs::path(QFIP_TEST_DATA_DIR) / "bmpsuite";

std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// "g/pal8.bmp" and the like, for every .bmp file of the given folders, sorted.
std::vector<std::string> suiteFiles(std::initializer_list<const char*> folders) {
    std::vector<std::string> names;
    for (const char* folder : folders) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(kSuite / folder, ec)) {
            if (entry.path().extension() == ".bmp") names.push_back(std::string(folder) + "/" + entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The corpus's manifest: each listed file with the reference pictures (in ref/) it
// decodes to, any one of them being a correct decoding.
using Manifest = std::map<std::string, std::vector<std::string>>;

Manifest readManifest() {
    Manifest manifest;
    std::ifstream f(kSuite / "references.txt");
    std::string line;
    while (std::getline(f, line)) {
        if (line.empty() || line.front() == '#') continue;
        std::istringstream words(line);
        std::string file, picture;
        words >> file;
        while (words >> picture) manifest[file].push_back(picture);
    }
    return manifest;
}

const Manifest& manifest() {
    static const Manifest read = readManifest();
    return read;
}

std::vector<std::string> referencesOf(const std::string& name) {
    const auto it = manifest().find(name);
    return it == manifest().end() ? std::vector<std::string>{} : it->second;
}

struct RefPicture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

RefPicture loadReference(const std::string& png) {
    RefPicture ref;
    int channels = 0;
    const std::string path = (kSuite / "ref" / png).string();
    if (stbi_uc* data = stbi_load(path.c_str(), &ref.width, &ref.height, &channels, 4)) {
        ref.rgba.assign(data, data + size_t(ref.width) * size_t(ref.height) * 4);
        stbi_image_free(data);
    }
    return ref;
}

// Counts the channels that differ by more than `tolerance` (alpha is not compared: the
// raster is opaque).
size_t mismatches(const Raster& r, const RefPicture& ref, int tolerance, std::string& first) {
    size_t bad = 0;
    for (int y = 0; y < r.height(); ++y) {
        for (int x = 0; x < r.width(); ++x) {
            const uint32_t p = r.at(x, y);
            const uint8_t* q = &ref.rgba[(size_t(y) * size_t(ref.width) + size_t(x)) * 4];
            const int got[3] = {int((p >> 16) & 0xFF), int((p >> 8) & 0xFF), int(p & 0xFF)};
            for (int c = 0; c < 3; ++c) {
                if (std::abs(got[c] - q[c]) > tolerance) {
                    if (bad++ == 0) {
                        first = "at (" + std::to_string(x) + ", " + std::to_string(y) + ") channel " + std::to_string(c) +
                                ": " + std::to_string(got[c]) + " vs " + std::to_string(q[c]);
                    }
                }
            }
        }
    }
    return bad;
}

uint16_t bitCountOf(const std::vector<uint8_t>& bytes) { return bytes.size() >= 30 ? uint16_t(bytes[28] | (bytes[29] << 8)) : 0; }

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

class GoodBmp : public ::testing::TestWithParam<std::string> {};

TEST_P(GoodBmp, DecodesToItsReference) {
    const std::vector<uint8_t> bytes = readFile(kSuite / GetParam());
    const Raster r = readBmp(bytes);
    const std::vector<std::string> refs = referencesOf(GetParam());
    ASSERT_FALSE(refs.empty()) << "no reference picture listed for " << GetParam();
    // Exact: the good files have no channel wider than 8 bits, and narrower channels
    // widen to the references' values exactly (value * 255 / max, rounded).
    const int tolerance = 0;
    std::string report;
    for (const std::string& png : refs) {
        const RefPicture ref = loadReference(png);
        if (ref.width != r.width() || ref.height != r.height()) {
            report += " " + png + ": size " + std::to_string(ref.width) + "x" + std::to_string(ref.height) + " vs " +
                      std::to_string(r.width()) + "x" + std::to_string(r.height()) + ";";
            continue;
        }
        std::string first;
        const size_t bad = mismatches(r, ref, tolerance, first);
        if (bad == 0) return;  // matches this reference
        report += " " + png + ": " + std::to_string(bad) + " channels differ, first " + first + ";";
    }
    ADD_FAILURE() << GetParam() << " (" << bitCountOf(bytes) << " bits) matches no reference:" << report;
}

INSTANTIATE_TEST_SUITE_P(Corpus, GoodBmp, ::testing::ValuesIn(suiteFiles({"g"})), testName);

// Questionable, bad and foreign files: a decoded raster or one of the reader's messages.
class OtherBmp : public ::testing::TestWithParam<std::string> {};

TEST_P(OtherBmp, DecodesOrFailsCleanly) {
    const std::vector<uint8_t> bytes = readFile(kSuite / GetParam());
    try {
        const Raster r = readBmp(bytes);
        if (!r.isEmpty()) {
            // Touch every pixel: a decoded raster is fully written.
            uint32_t all = 0xFFFFFFFFu;
            for (int y = 0; y < r.height(); ++y) {
                for (int x = 0; x < r.width(); ++x) all &= r.at(x, y);
            }
            EXPECT_EQ(all & 0xFF000000u, 0xFF000000u);
        }
    } catch (const Error& e) {
        const std::string message = e.what();
        EXPECT_TRUE(message == "Stream read error" || message == "Bitmap image is not valid") << message;
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, OtherBmp, ::testing::ValuesIn(suiteFiles({"q", "b", "x"})), testName);

// Every file of the corpus read from disk decodes exactly as its bytes in memory do: the
// same raster, or the same message.
class AnyBmp : public ::testing::TestWithParam<std::string> {};

TEST_P(AnyBmp, FromTheFileAsFromMemory) {
    const auto outcome = [](auto&& decode) {
        try {
            const Raster r = decode();
            std::string text = std::to_string(r.width()) + "x" + std::to_string(r.height()) + ":";
            text.append(reinterpret_cast<const char*>(r.data()), size_t(r.width()) * size_t(r.height()) * 4);
            return text;
        } catch (const Error& e) {
            return std::string(e.what());
        }
    };
    const std::vector<uint8_t> bytes = readFile(kSuite / GetParam());
    const std::string fromMemory = outcome([&] { return readBmp(bytes); });
    const std::string fromFile = outcome([&] {
        const Picture p = loadPicture((kSuite / GetParam()).string());
        return p.raster().clone();
    });
    EXPECT_TRUE(fromFile == fromMemory) << GetParam() << ": " << fromFile.substr(0, 40) << " vs " << fromMemory.substr(0, 40);
}

INSTANTIATE_TEST_SUITE_P(Corpus, AnyBmp, ::testing::ValuesIn(suiteFiles({"g", "q", "b", "x"})), testName);

TEST(BmpSuite, CorpusIsPresent) {
    EXPECT_GE(suiteFiles({"g"}).size(), 20u);
    EXPECT_GE(suiteFiles({"q", "b", "x"}).size(), 40u);
}

// The manifest and the folders agree: every good file has its reference, and every
// file and picture the manifest names is there.
TEST(BmpSuite, ManifestMatchesTheFiles) {
    ASSERT_FALSE(manifest().empty());
    for (const std::string& good : suiteFiles({"g"})) EXPECT_TRUE(manifest().contains(good)) << good;
    for (const auto& [file, pictures] : manifest()) {
        EXPECT_TRUE(fs::is_regular_file(kSuite / file)) << file;
        EXPECT_FALSE(pictures.empty()) << file;
        for (const std::string& picture : pictures) EXPECT_TRUE(fs::is_regular_file(kSuite / "ref" / picture)) << picture;
    }
}

}  // namespace
}  // namespace qfip
