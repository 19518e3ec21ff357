#include "ui/OuterSize.h"

#include <QEvent>
#include <QWidget>

#include "ui/FormLook.h"

namespace {

// Centres a window on the screen now and again once the window system tells its frame;
// with `keepOuterSize` the client area first gives up the frame's share of the size the
// window had when the watch began.
class FrameWatcher : public QObject {
public:
    FrameWatcher(QWidget* window, bool keepOuterSize)
        : QObject(window), window_(window), outer_(window->size()), keepOuterSize_(keepOuterSize) {
        centreOnScreen(window);
        window->installEventFilter(this);
    }

protected:
    // The frame is known by the time the window is moved into it (or, without a window
    // manager, by the first show or move, when there is none to wait for). A window placed
    // before the window system has it is framed at that place, its client area moved in;
    // one placed later keeps its client area where it is, and no move tells its frame.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != window_ || (event->type() != QEvent::Move && event->type() != QEvent::Show)) return false;
        const QSize frame = window_->frameGeometry().size() - window_->size();
        if (frame.width() <= 0 && frame.height() <= 0) return false;
        window_->removeEventFilter(this);
        deleteLater();
        if (window_->size() != outer_) return false;
        if (keepOuterSize_) window_->resize(outer_ - frame);
        centreOnScreen(window_);
        return false;
    }

private:
    QWidget* window_;
    QSize outer_;
    bool keepOuterSize_;
};

}  // namespace

void keepOuterSize(QWidget* window) { new FrameWatcher(window, true); }

void centreByOuterSize(QWidget* window) { new FrameWatcher(window, false); }
