// The program's own dialogs: the save dialog's set-up and memory, the confirmation box,
// the plain message box and the error box.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

#include "ui/Application.h"
#include "ui/QtDialogHost.h"

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

// Runs `inspect` on the modal box once it is up, then closes it with `key`.
void whenBoxIsUp(std::function<void(QMessageBox&)> inspect, Qt::Key key) {
    QTimer::singleShot(0, [inspect, key] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        inspect(*box);
        QTest::keyClick(box, key);
    });
}

TEST(SaveDialog, FiltersSuffixAndOptions) {
    QtDialogHost host;
    std::unique_ptr<QFileDialog> dialog = host.createSaveDialog(nullptr);
    EXPECT_EQ(dialog->objectName(), "SaveDialog1");
    auto* kinds = dialog->findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(kinds, nullptr);
    ASSERT_EQ(kinds->count(), 3);
    EXPECT_EQ(kinds->itemText(0), "Data Files  *.dat");
    EXPECT_EQ(kinds->itemText(1), "Text Files *.txt");
    EXPECT_EQ(kinds->itemText(2), "All Files *.*");
    EXPECT_EQ(dialog->selectedNameFilter(), "Data Files  *.dat");
    EXPECT_EQ(dialog->defaultSuffix(), "dat");
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_TRUE(dialog->isSizeGripEnabled());
    auto* model = dialog->findChild<QFileSystemModel*>("qt_filesystem_model");
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->nameFilters(), QStringList{"*.dat"});
    EXPECT_EQ(QtDialogHost::resultPatterns("Text Files *.txt"), QStringList{"*.txt"});
    EXPECT_EQ(QtDialogHost::resultPatterns("All Files *.*"), QStringList{"*"});
}

TEST(SaveDialog, RemembersTheConfirmedNameAndFilterOnly) {
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath("results.txt");
    QtDialogHost host;
    {
        std::unique_ptr<QFileDialog> dialog = host.createSaveDialog(nullptr);
        dialog->selectNameFilter("Text Files *.txt");
        dialog->selectFile(path);
        EXPECT_EQ(host.finishSaveDialog(*dialog, QDialog::Accepted), std::optional<QString>(path));
    }
    {
        std::unique_ptr<QFileDialog> dialog = host.createSaveDialog(nullptr);
        EXPECT_EQ(dialog->selectedNameFilter(), "Text Files *.txt");
        EXPECT_EQ(dialog->selectedFiles().value(0), path);
        dialog->selectNameFilter("All Files *.*");
        EXPECT_EQ(host.finishSaveDialog(*dialog, QDialog::Rejected), std::nullopt);
    }
    std::unique_ptr<QFileDialog> dialog = host.createSaveDialog(nullptr);
    EXPECT_EQ(dialog->selectedNameFilter(), "Text Files *.txt");
}

TEST(ConfirmBox, YesIsTheDefaultAndEscapeIsNo) {
    QtDialogHost host;
    whenBoxIsUp(
        [](QMessageBox& box) {
            EXPECT_EQ(box.windowTitle(), "Confirm");
            EXPECT_EQ(box.icon(), QMessageBox::Question);
            EXPECT_EQ(box.text(), "Do you want to save the result file?");
            ASSERT_EQ(box.buttons().size(), 2);
            EXPECT_EQ(box.defaultButton()->text(), "&Yes");
            EXPECT_EQ(qobject_cast<QPushButton*>(box.escapeButton())->text(), "&No");
        },
        Qt::Key_Escape);
    EXPECT_FALSE(host.confirm(nullptr, "Do you want to save the result file?"));
    whenBoxIsUp([](QMessageBox&) {}, Qt::Key_Return);
    EXPECT_TRUE(host.confirm(nullptr, "Do you want to save the result file?"));
}

TEST(MessageBoxes, PlainAndErrorBoxesCarryTheApplicationTitle) {
    QtDialogHost host;
    QApplication::setApplicationName(Application::title());
    whenBoxIsUp(
        [](QMessageBox& box) {
            EXPECT_EQ(box.windowTitle(), "Quendral Fast Image Processor 1.02");
            EXPECT_EQ(box.icon(), QMessageBox::NoIcon);
            EXPECT_EQ(box.text(), "It was the last line.");
            EXPECT_EQ(box.buttons().size(), 1);
        },
        Qt::Key_Escape);
    host.message(nullptr, "It was the last line.");
    whenBoxIsUp(
        [](QMessageBox& box) {
            EXPECT_EQ(box.windowTitle(), "Quendral Fast Image Processor 1.02");
            EXPECT_EQ(box.icon(), QMessageBox::Critical);
            EXPECT_EQ(box.text(), "Stream write error.");
        },
        Qt::Key_Return);
    Application::reportFailure(host, nullptr, std::runtime_error("Stream write error"));
}

}  // namespace
