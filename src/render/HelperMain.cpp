// quendral-render: draws one icon or metafile for the program, in a process of its own so
// that whatever a file does to the drawing libraries, the program carries on.
//
// Started by the program's client (src/exchange/RenderClient.h) with its limits already
// set, possibly before its picture is known: starts Qt (a core application: no window
// system), confines its file access to what drawing reads
// (FileConfinement.h) and installs its system-call filter (Sandbox.h), then waits on its
// standard input (a socket) for the request (the picture file in a sealed memory file,
// mapped here privately: no copy), draws the picture, writes the reply to its standard
// output and exits. It opens no path of its own and writes no
// file. Where the kernel has no Landlock it runs under its other limits (the program
// says so once); where Landlock is there but can't be installed, it draws nothing.
#include <QCoreApplication>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <span>

#include "common/Error.h"
#include "common/FileDescriptor.h"
#include "exchange/WireFormat.h"
#include "render/Drawing.h"
#include "render/FileConfinement.h"
#include "render/Sandbox.h"

using namespace qfip::exchange;
using qfip::writeAll;

namespace {

// The request's picture file, mapped privately and writable (the libraries take
// non-const buffers; what they write stays in this process), its padding's zeros after
// it. Empty when the memory file is not exactly the file and its padding, or not sealed
// against shrinking (a page cut away under the mapping would end the process).
std::span<uint8_t> mapRequest(const RequestHeader& request, int memoryFile) {
    struct stat status {};
    const uint64_t total = request.byteCount + qfip::kDrawnFilePadding;
    const int seals = ::fcntl(memoryFile, F_GET_SEALS);
    if (::fstat(memoryFile, &status) != 0 || uint64_t(status.st_size) != total || seals < 0 ||
        !(seals & F_SEAL_SHRINK))
        return {};
    void* map = ::mmap(nullptr, size_t(total), PROT_READ | PROT_WRITE, MAP_PRIVATE, memoryFile, 0);
    if (map == MAP_FAILED) return {};
    return {static_cast<uint8_t*>(map), size_t(request.byteCount)};
}

[[noreturn]] void replyNotValid() {
    const auto header = encodeReplyHeader(ReplyStatus::NotValid, 0, 0);
    _exit(writeAll(1, header.data(), header.size()) ? 0 : 3);
}

}  // namespace

int main(int argc, char** argv) {
    // No window system: Qt decodes icons only (its image plugins need no more than a
    // core application); metafiles' text is drawn by Pango and FreeType at 96 dpi.
    QCoreApplication app(argc, argv);
    // The file rules (they need the no_new_privs the client set), then the filter.
    if (confineHelperFiles() == FileConfinement::Failed) return 4;
    if (!installHelperSandbox()) return 4;

    // The program closes the socket without a request when it no longer needs this one.
    const std::optional<ReceivedRequest> received = receiveRequest(0);
    if (!received) _exit(0);
    const qfip::FileDescriptor memoryFile(received->memoryFile);
    const std::optional<RequestHeader> request = parseRequestHeader(received->header);
    if (!request) return 5;
    const std::span<uint8_t> bytes = mapRequest(*request, memoryFile.get());
    if (bytes.data() == nullptr) return 5;

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
