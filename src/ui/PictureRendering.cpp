#include "ui/PictureRendering.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QtGlobal>
#include <algorithm>
#include <exception>
#include <future>
#include <mutex>
#include <thread>

#include "common/Error.h"
#include "exchange/RenderClient.h"
#include "ui/LocalPath.h"

namespace {

using qfip::DrawnKind;

struct HelperSettings {
    std::mutex mutex;
    QString path;  // empty: the default
    std::chrono::milliseconds deadline = qfip::exchange::ClientOptions{}.deadline;
};

HelperSettings& settings() {
    static HelperSettings s;
    return s;
}

qfip::exchange::ClientOptions clientOptions() {
    HelperSettings& s = settings();
    QString path;
    qfip::exchange::ClientOptions options;
    {
        std::lock_guard lock(s.mutex);
        path = s.path;
        options.deadline = s.deadline;
    }
    if (path.isEmpty()) path = defaultRenderHelperPath();
    options.helperPath = localPath(path);
    options.spare = true;
    return options;
}

QImage renderInHelper(const qfip::Picture& picture, std::stop_token stop) {
    const DrawnKind kind = picture.drawnKind();
    const bool icon = kind == DrawnKind::Icon;
    QImage image;
    // The image is allocated only once the reply's header has passed every check.
    const auto sink = [&](int width, int height) -> uint32_t* {
        image = QImage(width, height, icon ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        if (image.isNull() || image.bytesPerLine() != qsizetype(width) * 4) return nullptr;
        return reinterpret_cast<uint32_t*>(image.bits());
    };
    const qfip::exchange::DrawResult result =
        qfip::exchange::drawInHelper(kind, *picture.drawnFile(), sink, clientOptions(), stop);
    if (result.outcome != qfip::exchange::Outcome::Drawn) {
        if (result.outcome != qfip::exchange::Outcome::NotValid && result.outcome != qfip::exchange::Outcome::Stopped)
            qWarning("quendral-render: %s", qfip::exchange::describe(result).c_str());
        throw qfip::Error(qfip::notValidMessage(kind));
    }
    // Whatever the helper sent, the words are valid for their format: a metafile, drawn
    // on white, is opaque; an icon's colours are premultiplied, so none exceeds its alpha.
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (!icon) {
                line[x] |= 0xFF000000u;
                continue;
            }
            const uint32_t alpha = line[x] >> 24;
            const uint32_t red = std::min((line[x] >> 16) & 0xFF, alpha);
            const uint32_t green = std::min((line[x] >> 8) & 0xFF, alpha);
            const uint32_t blue = std::min(line[x] & 0xFF, alpha);
            line[x] = alpha << 24 | red << 16 | green << 8 | blue;
        }
    }
    return image;
}

}  // namespace

QString defaultRenderHelperPath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../libexec/quendral/quendral-render");
}

void startRenderHelper() { qfip::exchange::startSpareHelper(clientOptions()); }

void setRenderHelperPath(const QString& path) {
    {
        std::lock_guard lock(settings().mutex);
        settings().path = path;
    }
    qfip::exchange::discardSpareHelper();
}

void setRenderDeadline(std::chrono::milliseconds deadline) {
    std::lock_guard lock(settings().mutex);
    settings().deadline = deadline;
}

QImage imageOfRaster(const qfip::Raster& raster) {
    if (raster.isEmpty())
        return QImage();
    return QImage(reinterpret_cast<const uchar*>(raster.data()), raster.width(), raster.height(),
                  qsizetype(raster.bytesPerLine()), QImage::Format_RGB32);
}

QImage imageOfRaster(std::shared_ptr<const qfip::Raster> raster) {
    if (!raster || raster->isEmpty())
        return QImage();
    // The image holds its own reference to the raster until Qt releases the pixels.
    auto* keeper = new std::shared_ptr<const qfip::Raster>(raster);
    return QImage(
        reinterpret_cast<const uchar*>(raster->data()), raster->width(), raster->height(),
        qsizetype(raster->bytesPerLine()), QImage::Format_RGB32,
        [](void* held) { delete static_cast<std::shared_ptr<const qfip::Raster>*>(held); }, keeper);
}

QImage renderPicture(const qfip::Picture& picture, std::stop_token stop) {
    if (picture.kind() == qfip::PictureKind::Bitmap) return imageOfRaster(picture.sharedRaster());
    return renderInHelper(picture, stop);
}

QImage renderPictureKeepingWindowAlive(const qfip::Picture& picture) {
    if (picture.hasRaster()) return renderPicture(picture);
    QEventLoop waiting;
    std::promise<QImage> drawn;
    std::future<QImage> result = drawn.get_future();
    std::jthread drawer([&] {
        try {
            drawn.set_value(renderPicture(picture));
        } catch (...) {
            drawn.set_exception(std::current_exception());
        }
        // Ends the loop below, or, queued before it runs, ends it as soon as it starts.
        QMetaObject::invokeMethod(&waiting, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // A small picture is there before anyone could notice a pause.
    if (result.wait_for(kRepaintAfter) != std::future_status::ready) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        waiting.exec(QEventLoop::ExcludeUserInputEvents);
        QGuiApplication::restoreOverrideCursor();
    }
    drawer.join();
    return result.get();
}
