// Choosing a whole folder of pictures in the real open dialog (Qt's offscreen platform):
// Open Pictures clicked, the folder listed, Ctrl+A in the file list, Open pressed, until
// the first picture of the series is shown (ToolButton3Click returns). The folder holds
// 1,000, 10,000 or 100,000 small pictures (hard links to one 64 x 48 bitmap, so each name
// is a file of its own). The peer in the same run: reading the folder's names and sorting
// them (readdir and std::sort, nothing else).
//
// Counters: listed_ms (the click until the dialog is up with every file in its list),
// select_all_ms (Ctrl+A), open_ms (Open until the first picture is shown).
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QPushButton>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchPictures.h"
#include "OffscreenBenchmarkMain.h"
#include "support/BmpWriter.h"
#include "ui/OpenPictureDialog.h"
#include "ui/PictureFileDialog.h"
#include "ui/support/FakeDialogHost.h"
#include "ui/uMain.h"

namespace {

namespace fs = std::filesystem;

// A folder of `count` pictures named frame_000000.bmp on, written once and kept.
std::string seriesFolder(int count) {
    const fs::path folder = benchFolder() / ("series-" + std::to_string(count));
    std::error_code ec;
    if (fs::exists(folder / ".complete", ec)) return folder.string();
    fs::remove_all(folder, ec);
    fs::create_directories(folder);
    const std::vector<uint8_t> picture = qfip::testing::bmp24Uniform(64, 48, {120, 130, 140});
    fs::path first;
    char name[32];
    for (int i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "frame_%06d.bmp", i);
        // A file system allows some tens of thousands of links to one file.
        if (i % 50000 == 0) {
            first = folder / name;
            qfip::testing::writeFile(first.string(), picture);
        } else {
            fs::create_hard_link(first, folder / name);
        }
    }
    qfip::testing::writeFile((folder / ".complete").string(), {});
    return folder.string();
}

// The floor: the folder's names read and sorted, nothing else.
void ListAndSortNames(benchmark::State& state) {
    const std::string folder = seriesFolder(int(state.range(0)));
    for (auto _ : state) {
        std::vector<std::string> names;
        DIR* dir = ::opendir(folder.c_str());
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        benchmark::DoNotOptimize(names.data());
    }
}

// The open dialog of the program, answered by the benchmark's keys; no other box.
class OpenDialogHost : public FakeDialogHost {
public:
    std::optional<QStringList> openPictures(QWidget* parent) override { return dialog_.run(parent); }

private:
    OpenPictureDialog dialog_;
};

void key(QWidget* target, int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, code, modifiers, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, code, modifiers, text);
    QApplication::sendEvent(target, &release);
}

void SelectAllAndOpen(benchmark::State& state) {
    const int count = int(state.range(0));
    const std::string folder = seriesFolder(count);
    const QString saved = QDir::currentPath();
    OpenDialogHost host;
    TMainForm form(host);
    form.setPrefetchEnabled(false);
    double listedMs = 0, selectAllMs = 0, openMs = 0;
    bool failed = false;
    for (auto _ : state) {
        QDir::setCurrent(QString::fromStdString(folder));  // where the dialog opens
        QElapsedTimer clock;
        clock.start();
        qint64 listed = 0, selected = 0;
        // Once the dialog is up: waits for its list to hold every picture, then Ctrl+A, Open.
        std::function<void()> drive = [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            // The dialog's file list as it is shown (a list, or a tree of details).
            QAbstractItemView* list = nullptr;
            if (dialog) {
                for (auto* view : dialog->findChildren<QAbstractItemView*>()) {
                    if (view->isVisible() && view->model() && view->model()->rowCount(view->rootIndex()) >= count) list = view;
                }
            }
            if (!list) {
                if (clock.elapsed() > 600000) {
                    failed = true;
                    if (dialog) dialog->reject();
                    return;
                }
                QTimer::singleShot(1, drive);
                return;
            }
            listed = clock.nsecsElapsed();
            list->setFocus();
            key(list, Qt::Key_A, Qt::ControlModifier);
            selected = clock.nsecsElapsed();
            // Open, as its button (or Enter in the name box) does.
            auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
            QPushButton* open = buttons ? buttons->button(QDialogButtonBox::Open) : nullptr;
            if (open && open->isEnabled()) open->click();
            if (dialog->isVisible()) QMetaObject::invokeMethod(dialog, "accept");
            if (dialog->isVisible()) {
                failed = true;
                dialog->reject();
            }
        };
        QTimer::singleShot(0, drive);
        form.ToolButton3Click();
        const qint64 shown = clock.nsecsElapsed();
        state.SetIterationTime(double(shown) / 1e9);
        listedMs += double(listed) / 1e6;
        selectAllMs += double(selected - listed) / 1e6;
        openMs += double(shown - selected) / 1e6;
        if (failed || form.FileList.size() != count) {
            state.SkipWithError(("the series has " + std::to_string(form.FileList.size()) + " pictures").c_str());
            break;
        }
    }
    QDir::setCurrent(saved);
    state.counters["listed_ms"] = benchmark::Counter(listedMs, benchmark::Counter::kAvgIterations);
    state.counters["select_all_ms"] = benchmark::Counter(selectAllMs, benchmark::Counter::kAvgIterations);
    state.counters["open_ms"] = benchmark::Counter(openMs, benchmark::Counter::kAvgIterations);
}

// Typing the first letters of a name into the box of a dialog on the folder: each key
// as the box and its completion take it (the completion list pops up).
void TypeFirstLetters(benchmark::State& state) {
    const int count = int(state.range(0));
    const std::string folder = seriesFolder(count);
    OpenPictureDialog opener;
    std::unique_ptr<PictureFileDialog> dialog = opener.createDialog(nullptr);
    dialog->setDirectory(QString::fromStdString(folder));
    dialog->show();
    QApplication::processEvents();
    QLineEdit* box = dialog->fileNameEdit();
    box->setFocus();
    for (auto _ : state) {
        for (const auto& [code, text] : {std::pair{Qt::Key_F, "f"}, std::pair{Qt::Key_R, "r"}, std::pair{Qt::Key_A, "a"}}) {
            key(box, code, Qt::NoModifier, QString::fromLatin1(text));
            QApplication::processEvents();
        }
        if (box->text() != QStringLiteral("fra")) state.SkipWithError("the box did not take the keys");
        state.PauseTiming();
        box->clear();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}

const bool registered = [] {
    for (int count : {1000, 10000, 100000}) {
        benchmark::RegisterBenchmark("ListAndSortNames", ListAndSortNames)->Arg(count)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("SelectAllAndOpen", SelectAllAndOpen)
            ->Arg(count)
            ->UseManualTime()
            ->Iterations(count >= 100000 ? 3 : 5)
            ->Unit(benchmark::kMillisecond);
    }
    for (int count : {1000, 100000}) {
        benchmark::RegisterBenchmark("TypeFirstLetters", TypeFirstLetters)->Arg(count)->Iterations(5)->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace

QFIP_BENCHMARK_MAIN_WITH_WINDOWS()
