// quendral-render: draws one icon or metafile for the program, in a process of its own so
// that whatever a file does to the drawing libraries, the program carries on.
//
// Started by the program's client (src/exchange/RenderClient.h) with its limits already
// set, possibly before its picture is known: starts Qt's offscreen platform (fonts at
// 96 dpi, as the program draws), confines its file access to what drawing reads
// (FileConfinement.h) and installs its system-call filter (Sandbox.h), then waits on its
// standard input (a socket) for the request (a sealed memfd), draws the picture, writes
// the reply to its standard output and exits. It opens no path of its own and writes no
// file. Where the kernel has no Landlock it runs under its other limits (the program
// says so once); where Landlock is there but can't be installed, it draws nothing.
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <unistd.h>
#include <vector>

#include "common/Error.h"
#include "common/FileDescriptor.h"
#include "exchange/RenderExchange.h"
#include "render/Drawing.h"
#include "render/FileConfinement.h"
#include "render/Sandbox.h"

using namespace qfip::exchange;
using qfip::readExactly;
using qfip::writeAll;

namespace {

[[noreturn]] void replyNotValid() {
    const auto header = encodeReplyHeader(ReplyStatus::NotValid, 0, 0);
    _exit(writeAll(1, header.data(), header.size()) ? 0 : 3);
}

}  // namespace

int main(int argc, char** argv) {
    // The offscreen platform whatever the program runs on: no display, 96 dpi.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("QT_QPA_PLATFORMTHEME");
    qunsetenv("QT_SCALE_FACTOR");
    qunsetenv("QT_FONT_DPI");
    QGuiApplication app(argc, argv);
    // The file rules (they need the no_new_privs the client set), then the filter.
    if (confineHelperFiles() == FileConfinement::Failed) return 4;
    if (!installHelperSandbox()) return 4;

    // The program closes the socket without a request when it no longer needs this one.
    const int requestFd = receiveRequest(0);
    if (requestFd < 0) _exit(0);
    uint8_t headerBytes[kRequestHeaderSize];
    if (!readExactly(requestFd, headerBytes, sizeof headerBytes)) return 5;
    const std::optional<RequestHeader> request = parseRequestHeader(headerBytes);
    if (!request) return 5;
    std::vector<uint8_t> bytes(request->byteCount);
    if (!readExactly(requestFd, bytes.data(), bytes.size())) return 5;

    QImage image;
    try {
        image = replyImage(request->kind, drawPicture(request->kind, bytes));
    } catch (const qfip::Error&) {
        replyNotValid();
    } catch (const std::bad_alloc&) {
        replyNotValid();
    }
    if (image.isNull()) replyNotValid();

    const auto header = encodeReplyHeader(ReplyStatus::Drawn, uint32_t(image.width()), uint32_t(image.height()));
    if (!writeAll(1, header.data(), header.size())) _exit(3);
    // Rows of a 32-bit image are never padded: width * 4 bytes each.
    for (int y = 0; y < image.height(); ++y) {
        if (!writeAll(1, image.constScanLine(y), size_t(image.width()) * 4)) _exit(3);
    }
    // No clean-up: the process ends here and the kernel frees everything.
    _exit(0);
}
