// The program's own dialogs: the save dialog's set-up and memory, the confirmation box,
// the plain message box and the error box.
#include <QApplication>
#include <QClipboard>
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
#include <functional>
#include <gtest/gtest.h>

#include "ui/Application.h"
#include "ui/FormLook.h"
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

// Both questions, and one longer than half the screen is wide, on every desktop (ctest also
// runs this under Xvfb as GNOME, KDE and no desktop see it: their own dialogs order and
// align the buttons differently).
TEST(ConfirmBox, CaptionIconTextAndACentredYesNoRow) {
    // The desktop's own rules apply in this run.
    const QByteArray desktop = qgetenv("XDG_CURRENT_DESKTOP");
    const int own = QApplication::style()->styleHint(QStyle::SH_DialogButtonLayout);
    const int expected = desktop == "GNOME" ? QDialogButtonBox::GnomeLayout
                         : desktop == "KDE" ? QDialogButtonBox::KdeLayout : own;
    EXPECT_EQ(own, expected);
    const QString questions[] = {"Do you want to save the result file?", "Do you want to exit and save your result file?",
                                 QStringLiteral("many words ").repeated(80)};
    for (const QString& question : questions) {
        QtDialogHost host;
        whenConfirmationIsUp([question](ConfirmationBox& box) {
            auto* icon = box.findChild<QLabel*>("Icon");
            auto* text = box.findChild<QLabel*>("Question");
            ASSERT_TRUE(icon && text);
            EXPECT_EQ(box.windowTitle(), "Confirm");
            EXPECT_FALSE(icon->pixmap().isNull());
            EXPECT_EQ(text->text(), question);
            QPushButton *yes = box.yesButton(), *no = box.noButton();
            EXPECT_EQ(yes->text() + no->text(), "&Yes&No");
            EXPECT_TRUE(yes->isDefault());
            EXPECT_EQ(box.focusWidget(), yes);
            // Yes then No in one row below the text, as far from the left edge as from the right.
            EXPECT_EQ(yes->y(), no->y());
            EXPECT_LT(yes->geometry().right(), no->x());
            EXPECT_GT(yes->y(), text->geometry().bottom());
            EXPECT_NEAR(yes->x(), box.width() - 1 - no->geometry().right(), 1);
            // Wrapped at half the screen's width; the box centred on the screen.
            const QRect screen = box.screen()->geometry();
            EXPECT_LE(text->width(), screen.width() / 2);
            EXPECT_EQ(text->height() > 2 * text->fontMetrics().lineSpacing(), question.size() > 100);
            EXPECT_NEAR(box.frameGeometry().center().x(), screen.center().x(), 1);
            EXPECT_NEAR(box.frameGeometry().center().y(), screen.center().y(), 1);
            box.reject();
        });
        EXPECT_FALSE(host.confirm(nullptr, question));
    }
}

TEST(ConfirmBox, OnlyYesCountsAsYes) {
    const std::pair<std::function<void(ConfirmationBox&)>, bool> answers[] = {
        {[](ConfirmationBox& b) { QTest::keyClick(&b, Qt::Key_Return); }, true},
        {[](ConfirmationBox& b) { QTest::keyClick(&b, Qt::Key_Y); }, true},
        {[](ConfirmationBox& b) { QTest::keyClick(&b, Qt::Key_N); }, false},
        {[](ConfirmationBox& b) { QTest::keyClick(&b, Qt::Key_Escape); }, false},
        {[](ConfirmationBox& b) { b.close(); }, false},
    };
    for (size_t i = 0; i < std::size(answers); ++i) {
        QtDialogHost host;
        whenConfirmationIsUp(answers[i].first);
        EXPECT_EQ(host.confirm(nullptr, "Do you want to save the result file?"), answers[i].second) << "answer " << i;
    }
}

// The question can be selected with the mouse, as a message box's text can; Ctrl+C copies
// the selected part, or the whole question when nothing is selected, wherever the focus is
// (Yes, or the text after a click on it), and answers nothing.
TEST(ConfirmBox, CtrlCCopiesTheQuestion) {
    const QString question = "Do you want to save the result file?";
    QtDialogHost host;
    whenConfirmationIsUp([question](ConfirmationBox& box) {
        auto* text = box.findChild<QLabel*>("Question");
        ASSERT_NE(text, nullptr);
        EXPECT_TRUE(text->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
        ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
        QClipboard* clipboard = QGuiApplication::clipboard();
        const auto copied = [&] {
            clipboard->setText("(nothing)");
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
            return clipboard->text();
        };
        ASSERT_EQ(QApplication::focusWidget(), box.yesButton());
        EXPECT_EQ(copied(), question);
        // A drag across "save": from just inside its first letter to just inside its last.
        const QFontMetrics metrics(text->font());
        const int y = text->height() / 2;
        const QPoint from(metrics.horizontalAdvance("Do you want to ") + 1, y);
        const QPoint to(metrics.horizontalAdvance("Do you want to save") - 1, y);
        QTest::mousePress(text, Qt::LeftButton, {}, from);
        QTest::mouseMove(text, to);
        QTest::mouseRelease(text, Qt::LeftButton, {}, to);
        EXPECT_EQ(text->selectedText(), "save");
        EXPECT_EQ(copied(), "save");
        // A click clears the selection: the whole question again.
        QTest::mouseClick(text, Qt::LeftButton, {}, from);
        EXPECT_EQ(text->selectedText(), QString());
        EXPECT_EQ(copied(), question);
        EXPECT_TRUE(box.isVisible());
        box.reject();
    });
    EXPECT_FALSE(host.confirm(nullptr, question));
}

TEST(MessageBoxes, PlainAndErrorBoxesCarryTheApplicationTitle) {
    QtDialogHost host;
    QApplication::setApplicationName(applicationTitle());
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
