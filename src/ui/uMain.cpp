#include "ui/uMain.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScopeGuard>
#include <QScreen>
#include <QShowEvent>
#include <cmath>
#include <QScrollBar>
#include <QSplitterHandle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "measure/IntegerText.h"
#include "measure/WindowGeometry.h"
#include "raster/PictureFile.h"
#include "results/ResultFile.h"
#include "results/ResultsLog.h"
#include "ui/Application.h"
#include "ui/FormLook.h"
#include "ui/DialogHost.h"
#include "ui/LocalPath.h"
#include "ui/OuterSize.h"
#include "ui/PictureRendering.h"
#include "ui/ResultsLogText.h"
#include "ui_uMain.h"

namespace {

const char* const kLastLine = "It was the last line.";
const char* const kNoImages = "No opened image files. Sorry, but You must try again.";
const char* const kSaveQuestion = "Do you want to save the result file?";
const char* const kExitQuestion = "Do you want to exit and save your result file?";

// Option texts and file labels are UTF-8 in the toolkit-free modules.
std::string utf8(const QString& text) { return text.toStdString(); }

}  // namespace

TMainForm::TMainForm(DialogHost& host, QWidget* parent)
    : QMainWindow(parent), host_(host), ui_(std::make_unique<Ui::TMainForm>()) {
    setObjectName(QStringLiteral("MainForm"));
    setFont(designFont());
    ui_->setupUi(this);
    setObjectName(QStringLiteral("MainForm"));
    setWindowIcon(programIcon());

    // The toolbar's glyphs 0 to 5 and the option buttons' glyphs.
    ui_->ToolButton3->setIcon(QIcon(QStringLiteral(":/icons/open.svg")));
    ui_->ToolButton4->setIcon(QIcon(QStringLiteral(":/icons/refresh.svg")));
    ui_->ToolButton5->setIcon(QIcon(QStringLiteral(":/icons/save.svg")));
    ui_->ToolButton7->setIcon(QIcon(QStringLiteral(":/icons/exit.svg")));
    ui_->ToolButton8->setIcon(QIcon(QStringLiteral(":/icons/grid.svg")));
    ui_->ToolButton10->setIcon(QIcon(QStringLiteral(":/icons/about.svg")));
    ui_->SpeedButton1->setIcon(QIcon(QStringLiteral(":/icons/grid.svg")));
    ui_->SpeedButton2->setIcon(QIcon(QStringLiteral(":/icons/background.svg")));

    for (int i = 0; i < 4; ++i) {
        auto* panel = new QLabel(ui_->StatusBar1);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i + 1));
        // The picture count can be long: the first panel grows to show its whole text.
        if (i == 0) {
            panel->setMinimumWidth(100);
        } else {
            panel->setFixedWidth(50);
        }
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        ui_->StatusBar1->addWidget(panel);
        statusPanels_[size_t(i)] = panel;
    }
    ui_->StatusBar1->setSizeGripEnabled(false);

    ActionList1 = new QActionGroup(this);
    ActionList1->setObjectName(QStringLiteral("ActionList1"));
    ActionList1->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    aEnter = ui_->aEnter;
    aEnter->setProperty("category", QStringLiteral("Image"));
    aEnter->setShortcutContext(Qt::WindowShortcut);
    ActionList1->addAction(aEnter);
    addAction(aEnter);

    ui_->Memo1->viewport()->setCursor(Qt::PointingHandCursor);
    ui_->Splitter1->setStretchFactor(0, 1);
    ui_->Splitter1->setStretchFactor(1, 0);
    applyColours();

    // Laid out for text 13 pixels high; other text heights scale the whole window.
    ratio_ = textHeightRatio(font());
    scaleForm(this, ratio_);
    keepOuterSize(this);

    connectHandlers();
    qApp->installEventFilter(this);
    terminate_ = [this] {
        close();
        QCoreApplication::quit();
    };
    ui_->Edit1->setFocus();
    FormCreate();
}

TMainForm::~TMainForm() {
    qApp->removeEventFilter(this);
    prefetch_.cancel();
}

void TMainForm::applyColours() {
    const QColor bar(0xD7, 0xD7, 0xD7), panel(0xE4, 0xE6, 0xDD), heading(0x80, 0x80, 0xC0);
    setBackground(ui_->ToolBar1, bar);
    setBackground(ui_->StatusBar1, bar);
    for (QWidget* w : {static_cast<QWidget*>(ui_->Panel9), static_cast<QWidget*>(ui_->Panel8),
                       static_cast<QWidget*>(ui_->Panel7)}) {
        setBackground(w, panel);
        setTextColour(w, heading);
    }
    for (QLabel* l : {ui_->Label3, ui_->Label4, ui_->Label5}) setTextColour(l, heading);
    for (QWidget* w : {ui_->Panel3, ui_->Panel5, ui_->Panel6}) setBackground(w, panel);
    for (QLabel* l : {ui_->Label1, ui_->Label8, ui_->Label2, ui_->Label6, ui_->Label7}) setTextColour(l, Qt::black);
    const QColor highlightText = QApplication::palette().color(QPalette::HighlightedText);
    for (QWidget* w : {ui_->Panel1, ui_->Panel10, ui_->Panel2}) setBackground(w, highlightText);
    setBackground(ui_->Panel4, Qt::white);
    setBackground(ui_->Splitter1->handle(1), panel);
    setTextColour(ui_->Bevel1, QApplication::palette().color(QPalette::WindowText));
    setTextColour(ui_->Bevel2, QApplication::palette().color(QPalette::ButtonText));
}

void TMainForm::guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& failure) {
        Application::reportFailure(host_, this, failure);
    }
}

void TMainForm::connectHandlers() {
    auto on = [this](auto* sender, auto signal, void (TMainForm::*handler)()) {
        connect(sender, signal, this, [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    };
    on(ui_->ToolButton3, &QToolButton::clicked, &TMainForm::ToolButton3Click);
    on(ui_->ToolButton4, &QToolButton::clicked, &TMainForm::ToolButton4Click);
    on(ui_->ToolButton8, &QToolButton::clicked, &TMainForm::SpeedButton1Click);
    on(ui_->SpeedButton1, &QToolButton::clicked, &TMainForm::SpeedButton1Click);
    on(ui_->SpeedButton2, &QToolButton::clicked, &TMainForm::SpeedButton2Click);
    on(ui_->CheckBox1, &QCheckBox::clicked, &TMainForm::CheckBox1Click);
    on(ui_->ToolButton5, &QToolButton::clicked, &TMainForm::ToolButton5Click);
    on(ui_->ToolButton7, &QToolButton::clicked, &TMainForm::ToolButton7Click);
    on(ui_->ToolButton10, &QToolButton::clicked, &TMainForm::ToolButton10Click);
    on(aEnter, &QAction::triggered, &TMainForm::aEnterExecute);
    connect(ui_->Image1, &PictureImage::pointerMoved, this, [this](int x, int y) {
        guarded([&] { Image1MouseMove(QGuiApplication::keyboardModifiers(), x, y); });
    });
    connect(ui_->Image1, &PictureImage::pressed, this, [this](Qt::MouseButton button, int x, int y) {
        guarded([&] { Image1MouseDown(button, QGuiApplication::keyboardModifiers(), x, y); });
    });
}

// ---- start-up -------------------------------------------------------------------------

void TMainForm::FormCreate() {
    host_.about(this);
    // Initialise.
    ReadGrid();
    ComputeBackgroundRect();
    SeriesFinished = false;
}

void TMainForm::ReadGrid() {
    HalfWidth = qfip::readHalfSize(utf8(ui_->Edit1->text()), "Grid Width");
    HalfHeight = qfip::readHalfSize(utf8(ui_->Edit4->text()), "Grid Height");
}

void TMainForm::ComputeBackgroundRect() {
    qfip::ComputeBackgroundRect(BackgroundRect, ui_->CheckBox1->isChecked(), utf8(ui_->Edit2->text()),
                                utf8(ui_->Edit3->text()), HalfWidth, HalfHeight);
}

qfip::MeasureMode TMainForm::measureMode() const {
    return ui_->cbTotalInt->isChecked() ? qfip::MeasureMode::Total : qfip::MeasureMode::Mean;
}

// ---- pictures ---------------------------------------------------------------------------

void TMainForm::showPictureFile(const QString& path) { showPicture(qfip::loadPicture(localPath(path))); }

void TMainForm::showPicture(qfip::Picture picture) {
    // Icons and metafiles are drawn now, so a body that can't be drawn fails before the
    // shown picture is replaced.
    QImage image = picture.hasRaster() ? QImage() : renderPictureKeepingWindowAlive(picture);
    std::optional<qfip::Picture> old = ui_->Image1->shown().picture();
    ui_->Image1->setPicture(std::move(picture), std::move(image));
    // The worker frees the old raster, off the window's thread, once the handler is done.
    if (old) prefetch_.release(std::move(*old));
}

// Picture CurrentImage + 1 of the series: the one read ahead when it is there and its file
// unchanged, else read now, exactly as without a prefetch.
void TMainForm::showNextPicture() {
    const QString& path = FileList.at(CurrentImage);
    std::optional<qfip::Picture> ahead = prefetch_.take(localPath(path), {series_, int64_t(CurrentImage) + 1});
    if (ahead) {
        showPicture(std::move(*ahead));
    } else {
        showPictureFile(path);
    }
}

// Open and Restart start a series afresh: nothing read ahead for the one before is used.
void TMainForm::newSeries() {
    ++series_;
    prefetch_.cancel();
}

// Picture CurrentImage is shown: the one after it is read while the user points.
void TMainForm::prefetchNext() {
    if (!prefetchEnabled_ || CurrentImage < 1 || CurrentImage >= FileList.size()) return;
    prefetch_.start(localPath(FileList.at(CurrentImage)), {series_, int64_t(CurrentImage) + 1});
}

void TMainForm::setPrefetchEnabled(bool enabled) {
    prefetchEnabled_ = enabled;
    if (!enabled) prefetch_.cancel();
}

void TMainForm::toggleLoadedOutlines() {
    ui_->Image1->toggleOutline(Pointer.ShownPointerRect);
    ui_->Image1->toggleOutline(BackgroundRect);
}

void TMainForm::showStatus(int32_t n, qsizetype count) {
    statusPanels_[0]->setText(QStringLiteral("   Image %1 of %2").arg(n).arg(count));
}

// ---- handlers ---------------------------------------------------------------------------

void TMainForm::Image1MouseMove(Qt::KeyboardModifiers, int X, int Y) {
    const qfip::PointerMove move = ui_->Image1->movePointer(Pointer, X, Y, HalfWidth, HalfHeight);
    statusPanels_[1]->setText(QString::fromStdString(move.xText));
    statusPanels_[2]->setText(QString::fromStdString(move.yText));
    PointerSeen = true;
}

void TMainForm::Image1MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int, int) { MeasurementStep(); }

void TMainForm::aEnterExecute() { MeasurementStep(); }

void TMainForm::MeasurementStep() {
    const auto releaseReplaced = qScopeGuard([this] { prefetch_.releaseNow(); });
    if (SeriesFinished) return;
    // Nothing to log: no series, no place pointed at, or a picture that is not the one
    // the current label names.
    if (FileLabels.empty() || !PointerSeen || !ShownIsCurrent) return;
    if (CurrentImage < 1 || size_t(CurrentImage) > FileLabels.size()) return;

    // A zero side gives an empty window raster; it is measured at the size asked for.
    const int64_t w = 2 * int64_t(HalfWidth), h = 2 * int64_t(HalfHeight);
    const qfip::Rect whole{0, 0, qfip::wrap32(w), qfip::wrap32(h)};
    auto pointerWindow = std::make_shared<qfip::Raster>(qfip::Raster::createWindow(w, h));
    // Windows are copied from the picture's own pixels, never from the outlines shown.
    const qfip::Raster& picture = ui_->Image1->workingRaster();
    qfip::copyRect(*pointerWindow, whole, picture, Pointer.PointerRect);
    ui_->Image2->showSample(pointerWindow);
    const int64_t m = qfip::MeasureIntensity(*pointerWindow, w, h, measureMode());

    ComputeBackgroundRect();
    qfip::Raster background = qfip::Raster::createWindow(w, h);
    qfip::copyRect(background, whole, picture, BackgroundRect);
    const int64_t bg = qfip::MeasureIntensity(background, w, h, measureMode());

    appendResultLine(qfip::resultLine(FileLabels[size_t(CurrentImage) - 1], m, bg));

    // Advance; a failure here is dropped and the same picture is measured again.
    try {
        if (!FileList.isEmpty() && CurrentImage < FileList.size()) {
            showNextPicture();
            toggleLoadedOutlines();
            showStatus(CurrentImage + 1, FileList.size());
            ++CurrentImage;
            prefetchNext();
        } else {
            host_.message(this, QString::fromLatin1(kLastLine));
            SeriesFinished = true;
        }
    } catch (const std::exception&) {
    }
}

void TMainForm::ToolButton3Click() {
    const auto releaseReplaced = qScopeGuard([this] { prefetch_.releaseNow(); });
    std::optional<QStringList> chosen = host_.openPictures(this);
    // A cancelled dialog changes nothing: the series goes on as it was.
    if (!chosen || chosen->isEmpty()) return;
    FileList = *chosen;
    FileName = FileList.first();
    FileLabels.clear();
    FileLabels.reserve(size_t(FileList.size()));
    for (const QString& path : FileList) FileLabels.push_back(qfip::fileLabel(utf8(path)));
    CurrentImage = 1;
    ShownIsCurrent = false;
    newSeries();
    showPictureFile(FileName);
    ShownIsCurrent = true;
    toggleLoadedOutlines();
    showStatus(1, FileList.size());
    prefetchNext();
}

void TMainForm::ToolButton4Click() {
    const auto releaseReplaced = qScopeGuard([this] { prefetch_.releaseNow(); });
    SeriesFinished = false;
    CurrentImage = 1;
    newSeries();
    try {
        showPictureFile(FileName);
    } catch (const std::exception&) {
        ShownIsCurrent = false;
        host_.message(this, QString::fromLatin1(kNoImages));
        return;
    }
    ShownIsCurrent = true;
    ComputeBackgroundRect();
    toggleLoadedOutlines();
    showStatus(1, FileList.size());
    prefetchNext();
}

void TMainForm::SpeedButton1Click() {
    ReadGrid();
    ComputeBackgroundRect();
}

void TMainForm::SpeedButton2Click() {
    ComputeBackgroundRect();
    ui_->Image1->toggleOutline(BackgroundRect);
}

void TMainForm::CheckBox1Click() {
    ui_->Edit2->setEnabled(!ui_->Edit2->isEnabled());
    ui_->Edit3->setEnabled(!ui_->Edit3->isEnabled());
}

void TMainForm::ToolButton5Click() {
    if (!host_.confirm(this, QString::fromLatin1(kSaveQuestion))) return;
    saveThroughDialog();
}

void TMainForm::ToolButton7Click() {
    if (host_.confirm(this, QString::fromLatin1(kExitQuestion))) saveThroughDialog();
    terminate();
}

void TMainForm::ToolButton10Click() { host_.about(this); }

// ---- results ----------------------------------------------------------------------------

void TMainForm::appendResultLine(const std::string& line) {
    QTextDocument* log = ui_->Memo1->document();
    // Only the log's last character is looked at, however long the log is.
    const bool atLineStart = qfip::isEmptyOrEndsWithBreak(lastLogCharacter(*log));
    QTextCursor end(log);
    end.movePosition(QTextCursor::End);
    // A result is not an edit of the user's: it is appended outside the undo history, and
    // it ends that history (both ways), so no Ctrl+Z or Ctrl+Y can remove, repeat or
    // re-add a measured line. The user's own edits after it stay undoable back to it.
    log->setUndoRedoEnabled(false);  // also clears both stacks
    end.insertText(QString::fromStdString(qfip::appendedText(atLineStart, line)));
    log->setUndoRedoEnabled(true);
    ui_->Memo1->setTextCursor(end);
}

bool TMainForm::hasUnsavedResults() const {
    const QTextDocument* log = ui_->Memo1->document();
    return log->isModified() && !log->isEmpty();
}

void TMainForm::saveThroughDialog() {
    const std::optional<QString> path = host_.chooseResultFile(this);
    if (!path) return;
    qfip::writeResultFile(localPath(*path), resultFileText(*ui_->Memo1->document()));
    ui_->Memo1->document()->setModified(false);
}

void TMainForm::terminate() {
    Terminated = true;
    if (terminate_) terminate_();
}

// The side column starts 172 wide once the window has its size; later the picture
// column takes what the window gains or loses.
void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    const int side = int(std::lround(172 * ratio_));
    const int total = ui_->Splitter1->width();
    ui_->Splitter1->setSizes({std::max(0, total - side - ui_->Splitter1->handleWidth()), side});
}

// Closing by the frame while results no save has written are in the log asks, as Exit
// does, whether to save them; a failed save keeps the window open.
void TMainForm::closeEvent(QCloseEvent* event) {
    if (!Terminated && hasUnsavedResults()) {
        guarded([this] { ToolButton7Click(); });
        if (!Terminated) {
            event->ignore();
            return;
        }
    }
    Terminated = true;
    prefetch_.cancel();
    event->accept();
}

// Enter steps whatever control of this window has the focus, before the control sees the
// key (no line break reaches the log); with a modal box up the key belongs to the box.
bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this || QApplication::activeModalWidget()) return false;
    event->accept();
    // The override is claimed so that the key press itself comes here, once.
    if (event->type() == QEvent::KeyPress) aEnter->trigger();
    return true;
}
