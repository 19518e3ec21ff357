// The program's own dialogs: the save dialog's set-up and memory, the confirmation box,
// the plain message box and the error box.
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>

#include "ui/Application.h"
#include "ui/ConfirmationBox.h"
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

// Runs `act` on the confirmation box once it is up (`act` answers it).
void whenConfirmationIsUp(std::function<void(ConfirmationBox&)> act) {
    QTimer::singleShot(0, [act] {
        auto* box = qobject_cast<ConfirmationBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        act(*box);
    });
}

const char* const kQuestions[] = {
    "Do you want to save the result file?",
    "Do you want to exit and save your result file?",
    "A question far longer than half of any screen is wide, so that its words have to be wrapped onto "
    "further lines by the box, which takes the size of the text it shows and keeps the two buttons "
    "in their centred row below the text and the icon, whatever the desktop says about the order of "
    "the buttons in its own dialogs and message boxes.",
};

// Both questions look alike on every desktop (ctest runs this under Xvfb with GNOME, KDE
// and no desktop named, whose own dialogs order and align their buttons differently).
TEST(ConfirmBox, CaptionIconTextAndACentredYesNoRow) {
    const QByteArray desktop = qgetenv("XDG_CURRENT_DESKTOP");
    const int own = QApplication::style()->styleHint(QStyle::SH_DialogButtonLayout);
    if (desktop == "GNOME") EXPECT_EQ(own, QDialogButtonBox::GnomeLayout);  // the desktop's rules are in effect
    if (desktop == "KDE") EXPECT_EQ(own, QDialogButtonBox::KdeLayout);
    for (const char* question : kQuestions) {
        SCOPED_TRACE(question);
        QtDialogHost host;
        whenConfirmationIsUp([question](ConfirmationBox& box) {
            EXPECT_EQ(box.windowTitle(), "Confirm");
            auto* icon = box.findChild<QLabel*>("Icon");
            auto* text = box.findChild<QLabel*>("Question");
            ASSERT_TRUE(icon && text);
            EXPECT_FALSE(icon->pixmap().isNull());
            EXPECT_EQ(text->text(), question);
            QPushButton* yes = box.yesButton();
            QPushButton* no = box.noButton();
            EXPECT_EQ(yes->text(), "&Yes");
            EXPECT_EQ(no->text(), "&No");
            EXPECT_TRUE(yes->isDefault());
            EXPECT_EQ(box.focusWidget(), yes);
            // Yes then No in one row, as far from the left edge as from the right one.
            EXPECT_EQ(yes->y(), no->y());
            EXPECT_LT(yes->geometry().right(), no->x());
            EXPECT_GT(yes->y(), text->geometry().bottom());
            EXPECT_NEAR(yes->x(), box.width() - 1 - no->geometry().right(), 1);
            // Wrapped at half the screen's width: the short questions on one line.
            const QRect screen = box.screen()->geometry();
            EXPECT_LE(text->width(), screen.width() / 2);
            const int lines = text->height() / text->fontMetrics().lineSpacing();
            EXPECT_EQ(lines > 1, std::strlen(question) > 100) << lines;
            EXPECT_NEAR(box.frameGeometry().center().x(), screen.center().x(), 1);
            EXPECT_NEAR(box.frameGeometry().center().y(), screen.center().y(), 1);
            box.reject();
        });
        EXPECT_FALSE(host.confirm(nullptr, question));
    }
}

TEST(ConfirmBox, OnlyYesCountsAsYes) {
    struct Answer {
        const char* how;
        std::function<void(ConfirmationBox&)> act;
        bool yes;
    };
    const Answer answers[] = {
        {"Enter", [](ConfirmationBox& b) { QTest::keyClick(&b, Qt::Key_Return); }, true},
        {"Y", [](ConfirmationBox& b) { QTest::keyClick(&b, Qt::Key_Y); }, true},
        {"clicking Yes", [](ConfirmationBox& b) { QTest::mouseClick(b.yesButton(), Qt::LeftButton); }, true},
        {"N", [](ConfirmationBox& b) { QTest::keyClick(&b, Qt::Key_N); }, false},
        {"Escape", [](ConfirmationBox& b) { QTest::keyClick(&b, Qt::Key_Escape); }, false},
        {"clicking No", [](ConfirmationBox& b) { QTest::mouseClick(b.noButton(), Qt::LeftButton); }, false},
        {"the close button", [](ConfirmationBox& b) { b.close(); }, false},
        {"Enter on No", [](ConfirmationBox& b) { b.noButton()->setFocus(); QTest::keyClick(b.noButton(), Qt::Key_Return); }, false},
    };
    for (const Answer& answer : answers) {
        QtDialogHost host;
        whenConfirmationIsUp(answer.act);
        EXPECT_EQ(host.confirm(nullptr, kQuestions[0]), answer.yes) << answer.how;
    }
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
