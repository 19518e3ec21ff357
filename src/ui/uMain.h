#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Rect.h"
#include "measure/Intensity.h"
#include "raster/PicturePrefetch.h"
#include "raster/Pointer.h"

class DialogHost;
class QActionGroup;

namespace Ui {
class TMainForm;
}

// The main window: options, picture and sample panes, the results log and the status
// bar, and the series state its handlers walk through. Every dialog and message goes
// through the DialogHost given at construction.
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window and runs FormCreate (the about box, then the options are read).
    explicit TMainForm(DialogHost& host, QWidget* parent = nullptr);
    ~TMainForm() override;

    Ui::TMainForm& form() { return *ui_; }
    QActionGroup* ActionList1 = nullptr;
    QAction* aEnter = nullptr;

    // The status bar's four panels.
    QLabel* statusPanel(int index) const { return statusPanels_.at(size_t(index)); }
    QString statusText(int index) const { return statusPanel(index)->text(); }

    // How the application is ended by Exit (tests replace it).
    void setTerminator(std::function<void()> terminate) { terminate_ = std::move(terminate); }
    bool terminated() const { return Terminated; }

    // The ratio by which the designed layout was scaled (the text height over 13 pixels).
    double designRatio() const { return ratio_; }

    // The next picture of the series is read ahead while the user points; tests and
    // benchmarks reach the prefetch to wait for it, or switch it off.
    qfip::PicturePrefetch& prefetch() { return prefetch_; }
    void setPrefetchEnabled(bool enabled);

    // Handlers. They let failures escape, as the application's error box reports them;
    // the connections to the controls route them there.
    void FormCreate();
    void Image1MouseMove(Qt::KeyboardModifiers shift, int X, int Y);
    void Image1MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y);
    void aEnterExecute();
    void ToolButton3Click();
    void ToolButton4Click();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void CheckBox1Click();
    void ToolButton5Click();
    void ToolButton7Click();
    void ToolButton10Click();

    // Appends one result line to the results log (Memo1) by the log's append rule.
    void appendResultLine(const std::string& line);

    // The series state.
    QStringList FileList;                 // the series' files in the dialog's order
    std::vector<std::string> FileLabels;  // the label logged for each file
    int32_t CurrentImage = 0;             // 1-based number of the picture shown
    bool SeriesFinished = false;
    int32_t HalfWidth = 0;
    int32_t HalfHeight = 0;
    qfip::PointerWindow Pointer;          // PointerRect and ShownPointerRect
    qfip::Rect BackgroundRect;
    QString FileName;                     // first path of the last confirmed selection
    // A step measures only a picture that has a label of its own (the shown picture is
    // picture CurrentImage of the series) at a place the pointer has really been.
    bool ShownIsCurrent = false;
    bool PointerSeen = false;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void connectHandlers();
    void applyColours();
    void guarded(const std::function<void()>& handler);

    void MeasurementStep();
    void ReadGrid();
    void ComputeBackgroundRect();
    qfip::MeasureMode measureMode() const;
    void showPictureFile(const QString& path);
    void showPicture(qfip::Picture picture);
    void showNextPicture();
    void newSeries();
    void prefetchNext();
    void toggleLoadedOutlines();
    void showStatus(int32_t n, qsizetype count);
    bool hasUnsavedResults() const;
    void saveThroughDialog();
    void terminate();

    DialogHost& host_;
    std::unique_ptr<Ui::TMainForm> ui_;
    std::array<QLabel*, 4> statusPanels_{};
    std::function<void()> terminate_;
    bool Terminated = false;
    double ratio_ = 1.0;
    bool shownOnce_ = false;
    bool prefetchEnabled_ = true;
    uint64_t series_ = 0;  // counts Open and Restart: a prefetch belongs to one of them
    qfip::PicturePrefetch prefetch_;
};
