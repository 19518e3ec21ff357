#include "ui/OuterSize.h"

#include <QEvent>
#include <QWidget>

#include "ui/FormLook.h"

namespace {

class OuterSizeKeeper : public QObject {
public:
    OuterSizeKeeper(QWidget* window) : QObject(window), window_(window), outer_(window->size()) {
        centreOnScreen(window);
        window->installEventFilter(this);
    }

protected:
    // The frame is known by the time the window is moved into it (or, without a window
    // manager, by the first show or move, when there is none to wait for).
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != window_ || (event->type() != QEvent::Move && event->type() != QEvent::Show)) return false;
        const QSize frame = window_->frameGeometry().size() - window_->size();
        if (frame.width() <= 0 && frame.height() <= 0) return false;
        window_->removeEventFilter(this);
        deleteLater();
        if (window_->size() != outer_) return false;
        window_->resize(outer_ - frame);
        centreOnScreen(window_);
        return false;
    }

private:
    QWidget* window_;
    QSize outer_;
};

}  // namespace

void keepOuterSize(QWidget* window) { new OuterSizeKeeper(window); }
