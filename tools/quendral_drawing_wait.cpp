// Prints the longest the program waits by the clock for the drawing of an icon or
// metafile, in milliseconds: the file loaded as the program loads it, and the program's
// own options and rule (longestDrawingWait). The end-to-end tests wait that long for a
// drawing before they give up, so they follow the rule wherever it changes.
//   quendral_drawing_wait <file.ico|.emf|.wmf>
#include <cstdio>
#include <exception>
#include <string>

#include "exchange/RenderClient.h"
#include "raster/PictureFile.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quendral_drawing_wait <icon or metafile>\n");
        return 2;
    }
    try {
        const qfip::Picture picture = qfip::loadPicture(argv[1]);
        if (picture.hasRaster()) {
            std::fprintf(stderr, "%s is a bitmap: the program draws it itself\n", argv[1]);
            return 1;
        }
        const auto wait = qfip::exchange::longestDrawingWait(qfip::exchange::ClientOptions{}, picture.drawnKind(),
                                                             picture.fileBytes());
        std::printf("%lld\n", static_cast<long long>(wait.count()));
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s: %s\n", argv[1], failure.what());
        return 1;
    }
    return 0;
}
