// The drawing helper on its own, through the program's client: its start-up, a small
// enhanced metafile, a 4096 x 4096 one, 1000 polylines of 200 points in an enhanced
// metafile, 40,000 rectangles in one, and the slow placeable metafiles of issue 21 (ten
// polylines of 200 points on 1000 x 1000 pixels, 3,466 of them: 2.8 MB, 200,000
// rectangles, 25,000 saved device contexts); and the clip regions of both kinds: a
// 1000 x 1000 checkerboard cut by 5,000 ExcludeClipRect, 10,000 rectangles each drawn
// within a clip rectangle of its own between SaveDC and RestoreDC (40,000 records), and
// (placeable) 2,000 region objects of 20 rectangles, each selected and filled. Every
// case runs for each helper named in QFIP_BENCH_HELPERS ("name=path,name=path", e.g.
// before=/folder/quendral-render,after=...), one helper after the other for each case in
// the same run, so that two builds of the helper compare side by side; by default the
// helper built here alone.
// Each is drawn under the program's limits and deadline rule; one that is refused is
// reported as an error (its reason in the label).
//   "cold": a fresh helper started for the picture (start-up included); for the start-up
//   itself, a 1 x 1 icon. "warm": the helper was started ahead and waits for its picture
//   (as the program's spare helper does), so the time is the drawing's alone.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "exchange/RenderClient.h"
#include "support/DrawnPictureWriter.h"

namespace {

using namespace qfip::exchange;
using namespace qfip::testing;

std::vector<std::pair<std::string, std::string>> helpers() {
    const char* named = std::getenv("QFIP_BENCH_HELPERS");
    if (!named || !*named) return {{"built", QFIP_RENDER_HELPER}};
    std::vector<std::pair<std::string, std::string>> out;
    std::string rest = named;
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string item = rest.substr(0, comma);
        const size_t equals = item.find('=');
        if (equals != std::string::npos) out.emplace_back(item.substr(0, equals), item.substr(equals + 1));
        rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    }
    return out;
}

std::vector<uint8_t> polylines(int count) {
    std::vector<MetaRecord> records{{0x020B, {0, 0}}, {0x020C, {1000, 1000}}};
    uint32_t state = 1;
    const auto next = [&state] { return (state = state * 1103515245 + 12345) >> 16 & 0x7FFF; };
    for (int i = 0; i < count; ++i) {
        MetaRecord line{0x0325, {200}};
        for (int k = 0; k < 200; ++k) line.words.insert(line.words.end(), {next() % 1000, next() % 1000});
        records.push_back(line);
    }
    return placeableMetafile({0, 0, 1000, 1000}, 96, 1, records);
}

// The same as an enhanced metafile: 1000 x 1000 pixels of EMR_POLYLINE16 records, a black
// pen three pixels wide, as drawings of charts and plans are made.
std::vector<uint8_t> enhancedPolylines(int count) {
    EmfWriter e({0, 0, 999, 999}, {0, 0, 26458, 26458});
    e.select(e.pen(gdi::PS_SOLID, 3, 0));
    uint32_t state = 1;
    const auto next = [&state] { return int32_t((state = state * 1103515245 + 12345) >> 16 & 0x7FFF); };
    for (int i = 0; i < count; ++i) {
        std::vector<RecordPoint> points;
        for (int k = 0; k < 200; ++k) points.emplace_back(next() % 1000, next() % 1000);
        e.polyline(points);
    }
    return e.bytes();
}

// 1000 x 1000 pixels with a solid brush and no pen, for the fills below.
EmfWriter enhancedFills() {
    EmfWriter e({0, 0, 999, 999}, {0, 0, 26458, 26458});
    e.select(gdi::NULL_PEN);
    e.select(e.brush(gdi::BS_SOLID, 0x0000FF));
    return e;
}
WmfWriter placeableFills() {
    WmfWriter w({0, 0, 1000, 1000}, 96);
    w.setWindowOrg(0, 0);
    w.setWindowExt(1000, 1000);
    w.select(w.pen(gdi::PS_NULL, 0, 0));
    w.select(w.brush(gdi::BS_SOLID, 0x0000FF));
    return w;
}

// Pseudo-random rectangles of 40 x 30; when `clipped`, each within a clip rectangle of
// its own, between SaveDC and RestoreDC.
std::vector<uint8_t> enhancedRectangles(int count, bool clipped) {
    EmfWriter e = enhancedFills();
    uint32_t state = 1;
    const auto next = [&state] { return int32_t((state = state * 1103515245 + 12345) >> 16 & 0x7FFF); };
    for (int i = 0; i < count; ++i) {
        const int32_t x = next() % 960, y = next() % 970;
        if (clipped) {
            e.saveDC();
            e.intersectClipRect({x + 5, y + 5, x + 35, y + 25});
        }
        e.rectangle({x, y, x + 40, y + 30});
        if (clipped) e.restoreDC(-1);
    }
    return e.bytes();
}

// A checkerboard of 10-pixel squares cut out of the whole by ExcludeClipRect (5,000
// runs), then filled whole.
template <typename Writer>
std::vector<uint8_t> clipCheckerboard(Writer w) {
    for (int y = 0; y < 1000; y += 10)
        for (int x = y / 10 % 2 * 10; x < 1000; x += 20) w.excludeClipRect({x, y, x + 10, y + 10});
    w.rectangle({0, 0, 1001, 1001});
    return w.bytes();
}

// Region objects of 20 rectangles (a staircase), each selected as the clip and filled.
std::vector<uint8_t> placeableClipRegions(int count) {
    WmfWriter w = placeableFills();
    for (int i = 0; i < count; ++i) {
        std::vector<RecordRect> steps;
        for (int k = 0; k < 20; ++k) steps.push_back({(i + 40 * k) % 960, 50 * k, (i + 40 * k) % 960 + 40, 50 * k + 30});
        const uint16_t region = w.region(steps);
        w.select(region);
        w.rectangle({0, 0, 1001, 1001});
        w.deleteObject(region);
    }
    return w.bytes();
}

std::vector<uint8_t> smallEnhancedMetafile() {
    EmfFile emf;
    emf.fontFace = u"DejaVu Sans";
    emf.texts.push_back({2, 2, {u'Q', u'f', u'i', u'p'}});
    return emf.bytes();
}

struct Picture {
    const char* name;
    DrawnKind kind;
    std::vector<uint8_t> bytes;
};

const std::vector<Picture>& pictures() {
    static const std::vector<Picture> all = [] {
        WmfFile rectangles, saved;
        rectangles.rectangles = 200000;
        saved.savedContexts = 25000;
        return std::vector<Picture>{
            {"1x1_icon", DrawnKind::Icon, icon32(1, 1, {0xFF336699})},
            {"small_emf", DrawnKind::EnhancedMetafile, smallEnhancedMetafile()},
            {"emf_4096", DrawnKind::EnhancedMetafile, EmfFile::leftHalfRed(4096, 4096).bytes()},
            {"emf_1000_polylines", DrawnKind::EnhancedMetafile, enhancedPolylines(1000)},
            {"emf_40000_rectangles", DrawnKind::EnhancedMetafile, enhancedRectangles(40000, false)},
            {"emf_clip_checkerboard", DrawnKind::EnhancedMetafile, clipCheckerboard(enhancedFills())},
            {"emf_10000_clipped_rectangles", DrawnKind::EnhancedMetafile, enhancedRectangles(10000, true)},
            {"wmf_10_polylines", DrawnKind::PlaceableMetafile, polylines(10)},
            {"wmf_3466_polylines", DrawnKind::PlaceableMetafile, polylines(3466)},
            {"wmf_200000_rectangles", DrawnKind::PlaceableMetafile, rectangles.bytes()},
            {"wmf_25000_saved_contexts", DrawnKind::PlaceableMetafile, saved.bytes()},
            {"wmf_clip_checkerboard", DrawnKind::PlaceableMetafile, clipCheckerboard(placeableFills())},
            {"wmf_2000_clip_regions", DrawnKind::PlaceableMetafile, placeableClipRegions(2000)},
        };
    }();
    return all;
}

void draw(benchmark::State& state, const std::string& helper, const Picture& picture, bool warm) {
    ClientOptions options;
    options.helperPath = helper;
    options.spare = warm;
    std::vector<uint32_t> pixels;
    const auto sink = [&pixels](int w, int h) {
        pixels.assign(size_t(w) * size_t(h), 0);
        return pixels.data();
    };
    if (warm) startSpareHelper(options);
    for (auto _ : state) {
        if (warm) {
            // The spare has started and waits for its picture, as it does in the program.
            state.PauseTiming();
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            state.ResumeTiming();
        }
        const DrawResult r = drawInHelper(picture.kind, picture.bytes, sink, options);
        if (r.outcome != Outcome::Drawn) {
            state.SkipWithError(("refused: " + describe(r)).c_str());
            break;
        }
    }
    discardSpareHelper();
    state.SetLabel(std::to_string(picture.bytes.size()) + " bytes");
}

}  // namespace

int main(int argc, char** argv) {
    for (const Picture& picture : pictures()) {
        for (const bool warm : {false, true}) {
            // The start-up alone is the cold 1 x 1 icon; the slow files only warm.
            const bool icon = picture.kind == DrawnKind::Icon;
            if (icon == warm) continue;
            if (!warm && picture.kind == DrawnKind::PlaceableMetafile) continue;
            for (const auto& [name, path] : helpers()) {
                const std::string label = std::string(picture.name) + (warm ? "/warm/" : "/cold/") + name;
                benchmark::RegisterBenchmark(label.c_str(), [path = path, &picture, warm](benchmark::State& s) {
                    draw(s, path, picture, warm);
                })->Unit(benchmark::kMillisecond)->Iterations(picture.bytes.size() > 1000000 ? 3 : 10);
            }
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
