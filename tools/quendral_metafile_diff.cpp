// Draws metafiles as the program does and compares drawings of them, for
// tools/compare-metafiles.sh:
//   quendral_metafile_diff draw <helper> <metafile> <out.png>
//       loads the file as the program loads a picture file (its kind by content) and
//       draws it with the given drawing helper (quendral-render), as the program does
//   quendral_metafile_diff compare <metafile> <ours.png> <theirs.png> <side-by-side.png> [centred]
//       (centred: the other drawing is our size's middle of a larger page, as LibreOffice
//       places a picture on its page; that middle is taken)
//       prints one tab-separated line: the file's name, both sizes, the share of pixels
//       that differ (a channel by more than 64) once the other drawing is scaled to ours
//       (to the corpus file's own size, on white, where ours is missing: refused),
//       and, for a file of the corpus (tests/support/MetafileCorpus.h), how many of its
//       known-answer checks each drawing passes and which it fails; writes the two
//       drawings and their difference side by side when any pixel differs
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/Error.h"
#include "exchange/RenderClient.h"
#include "raster/PictureFile.h"
#include "support/MetafileCorpus.h"

namespace {

int draw(const std::string& helper, const std::string& path, const QString& out) {
    try {
        const qfip::Picture picture = qfip::loadPicture(path);
        qfip::exchange::ClientOptions options;
        options.helperPath = helper;
        options.deadline = std::chrono::milliseconds(10000);
        QImage image;
        const qfip::exchange::DrawResult result = qfip::exchange::drawInHelper(
            picture.drawnKind(), *picture.drawnFile(),
            [&](int width, int height) {
                image = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
                return image.isNull() ? nullptr : reinterpret_cast<uint32_t*>(image.bits());
            },
            options);
        if (result.outcome != qfip::exchange::Outcome::Drawn) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), qfip::exchange::describe(result).c_str());
            return 1;
        }
        if (!image.convertToFormat(QImage::Format_RGB32).save(out, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
            return 1;
        }
        return 0;
    } catch (const qfip::Error& e) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), e.what());
        return 1;
    }
}

// The image's pixels as 0xAARRGGBB words, on white where it is transparent.
std::vector<uint32_t> opaquePixels(const QImage& image) {
    QImage onWhite(image.size(), QImage::Format_RGB32);
    onWhite.fill(Qt::white);
    QPainter(&onWhite).drawImage(0, 0, image);
    std::vector<uint32_t> pixels;
    for (int y = 0; y < onWhite.height(); ++y)
        for (int x = 0; x < onWhite.width(); ++x) pixels.push_back(onWhite.pixel(x, y));
    return pixels;
}

// "passed/all" and the names of the checks failed.
std::pair<std::string, std::string> checksOf(const qfip::testing::CorpusMetafile* file, const QImage& image) {
    if (!file) return {"-", ""};
    const std::vector<uint32_t> pixels = opaquePixels(image);
    int passed = 0;
    std::string failed;
    for (const auto& check : file->checks) {
        if (qfip::testing::holds(check, qfip::testing::matchingPixels(check, pixels.data(), image.width(), image.height())))
            ++passed;
        else
            failed += (failed.empty() ? "" : "; ") + check.what;
    }
    return {std::to_string(passed) + "/" + std::to_string(file->checks.size()), failed};
}

bool differs(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) > 64 || std::abs(qGreen(a) - qGreen(b)) > 64 || std::abs(qBlue(a) - qBlue(b)) > 64;
}

int compare(const std::string& metafile, const QString& oursPath, const QString& theirsPath, const QString& sideBySide,
            bool centred) {
    const std::string name = std::filesystem::path(metafile).stem().string();
    const std::vector<qfip::testing::CorpusMetafile> corpus = qfip::testing::metafileCorpus();
    const qfip::testing::CorpusMetafile* file = nullptr;
    for (const auto& f : corpus)
        if (f.name == name) file = &f;

    // Our drawing, or where the chain refused the file, white at the size the file means.
    QImage ours(oursPath);
    const bool oursDrawn = !ours.isNull();
    if (!oursDrawn && file) {
        ours = QImage(file->width, file->height, QImage::Format_RGB32);
        ours.fill(Qt::white);
    }
    QImage theirsAsDrawn(theirsPath);
    if (centred && !ours.isNull() && theirsAsDrawn.width() > ours.width() && theirsAsDrawn.height() > ours.height())
        theirsAsDrawn = theirsAsDrawn.copy((theirsAsDrawn.width() - ours.width()) / 2, (theirsAsDrawn.height() - ours.height()) / 2,
                                           ours.width(), ours.height());
    const auto sizeText = [](const QImage& i) { return i.isNull() ? std::string("none") : std::to_string(i.width()) + "x" + std::to_string(i.height()); };
    const std::string oursSize = oursDrawn ? sizeText(ours) : "none";
    if (ours.isNull() || theirsAsDrawn.isNull()) {
        std::printf("%s\t%s\t%s\t-\t-\t-\t\n", name.c_str(), oursSize.c_str(), sizeText(theirsAsDrawn).c_str());
        return 0;
    }
    QImage theirs(ours.size(), QImage::Format_RGB32);
    theirs.fill(Qt::white);
    {
        QPainter painter(&theirs);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(QPoint(0, 0), ours.size()), theirsAsDrawn);
    }
    const QImage oursOpaque = ours.convertToFormat(QImage::Format_RGB32);
    QImage difference(ours.size(), QImage::Format_RGB32);
    long long differing = 0;
    for (int y = 0; y < ours.height(); ++y) {
        for (int x = 0; x < ours.width(); ++x) {
            const bool d = differs(oursOpaque.pixel(x, y), theirs.pixel(x, y));
            differing += d;
            const int grey = 160 + qGray(oursOpaque.pixel(x, y)) * 95 / 255;
            difference.setPixel(x, y, d ? qRgb(255, 0, 0) : qRgb(grey, grey, grey));
        }
    }
    const double share = 100.0 * double(differing) / (double(ours.width()) * ours.height());
    auto [oursPassed, oursFailed] = checksOf(file, oursOpaque);
    if (!oursDrawn) oursPassed = "refused", oursFailed.clear();
    const auto [theirsPassed, theirsFailed] = checksOf(file, theirs);
    std::printf("%s\t%s\t%s\t%.2f%%\t%s\t%s\t%s\t%s\n", name.c_str(), oursSize.c_str(), sizeText(theirsAsDrawn).c_str(),
                share, oursPassed.c_str(), theirsPassed.c_str(), oursFailed.c_str(), theirsFailed.c_str());
    if (differing == 0) return 0;

    // Small pictures enlarged so that a pixel can be seen; a gap between the three.
    const int scale = std::max(1, 300 / std::max(ours.width(), ours.height()));
    const int w = ours.width() * scale, h = ours.height() * scale, gap = 8;
    QImage canvas(3 * w + 2 * gap, h, QImage::Format_RGB32);
    canvas.fill(qRgb(64, 64, 64));
    QPainter painter(&canvas);
    painter.drawImage(QRect(0, 0, w, h), oursOpaque);
    painter.drawImage(QRect(w + gap, 0, w, h), theirs);
    painter.drawImage(QRect(2 * (w + gap), 0, w, h), difference);
    painter.end();
    if (!canvas.save(sideBySide, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(sideBySide));
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "draw" && argc == 5) return draw(argv[2], argv[3], QString::fromLocal8Bit(argv[4]));
    if (mode == "compare" && (argc == 6 || (argc == 7 && std::string(argv[6]) == "centred")))
        return compare(argv[2], QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]), QString::fromLocal8Bit(argv[5]),
                       argc == 7);
    std::fprintf(stderr,
                 "usage: quendral_metafile_diff draw <helper> <metafile> <out.png>\n"
                 "       quendral_metafile_diff compare <metafile> <ours.png> <theirs.png> <side-by-side.png> [centred]\n");
    return 2;
}
