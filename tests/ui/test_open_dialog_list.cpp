// The open dialog's list: a folder's names in their order, a selection kept and read as
// ranges of rows, the box showing it for a person to read, and Open taking the files
// from the selection itself.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <filesystem>

#include "support/BmpWriter.h"
#include "ui/FolderListing.h"
#include "ui/FolderModel.h"
#include "ui/ListSelection.h"
#include "ui/OpenPictureDialog.h"
#include "ui/PictureFileDialog.h"

using namespace qfip::testing;

void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

namespace fs = std::filesystem;

TEST(FolderListingOrder, NaturalCaseInsensitiveAndFixed) {
    QStringList names = {"f10.bmp", "b.bmp", "f009.bmp", "F9.bmp", "f1.bmp", "B.bmp", "f01.bmp", "a.bmp", "f1a.bmp"};
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return naturalLess(a, b); });
    EXPECT_EQ(names, QStringList({"a.bmp", "B.bmp", "b.bmp", "f01.bmp", "f1.bmp", "f1a.bmp", "F9.bmp", "f009.bmp", "f10.bmp"}));
    const struct {
        const char* a;
        const char* b;
        bool less;
    } pairs[] = {
        {"f9", "f10", true},       {"f10", "f9", false},   {"img2b", "img10a", true}, {"A", "a", true},
        {"a", "A", false},         {"x", "x", false},      {"file", "file1", true},   {"0", "00", true},
        {"frame_099999", "frame_100000", true},            {"a-1", "a1", true},       {"Ärger", "ärger", true},
    };
    for (const auto& p : pairs) EXPECT_EQ(naturalLess(QString(p.a), QString(p.b)), p.less) << p.a << " < " << p.b;
}

TEST(FolderListingRead, FoldersFirstHiddenLeftOutLinksByWhatTheyLeadTo) {
    QTemporaryDir folder;
    const fs::path root = folder.path().toStdString();
    for (const char* name : {"f10.bmp", "f9.bmp", ".hidden.bmp", "notes"}) writeFile((root / name).string(), {'x'});
    fs::create_directory(root / "sub");
    fs::create_directory(root / "Alpha");
    fs::create_directory(root / ".config");
    fs::create_directory_symlink(root / "sub", root / "to-sub");
    fs::create_symlink(root / "gone.bmp", root / "broken.bmp");
    const FolderListing listing = FolderListing::read(folder.path());
    EXPECT_EQ(listing.folders, QStringList({"Alpha", "sub", "to-sub"}));
    EXPECT_EQ(listing.files, QStringList({"broken.bmp", "f9.bmp", "f10.bmp", "notes"}));

    const FolderListing missing = FolderListing::read(folder.path() + "/no-such-folder");
    EXPECT_TRUE(missing.folders.isEmpty() && missing.files.isEmpty());
}

TEST(FolderListingFilter, PatternsMatchWholeNamesInEitherCase) {
    const struct {
        QStringList patterns;
        const char* name;
        bool matches;
    } cases[] = {
        {{"*.bmp"}, "scan.bmp", true},          {{"*.bmp"}, "SCAN01.BMP", true},   {{"*.bmp"}, "scan.bmp.bak", false},
        {{"*.bmp"}, "bmp", false},              {{"*.ico", "*.bmp"}, "a.bmp", true}, {{"*.b?p"}, "x.BAP", true},
        {{"f*"}, "F1.txt", true},               {{"f*"}, "af1", false},            {{}, "a.bmp", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NameFilter(c.patterns).matches(QString(c.name)), c.matches) << c.patterns.join(' ').toStdString() << " " << c.name;
    }
}

TEST(ListSelectionRanges, SortedJoinedAndCut) {
    QStringListModel model(QStringList(20, QStringLiteral("x")));
    const auto selectionOf = [&](std::initializer_list<std::pair<int, int>> ranges) {
        QItemSelection selection;
        for (const auto& [first, last] : ranges) selection.append(QItemSelectionRange(model.index(first), model.index(last)));
        return selection;
    };
    const struct {
        QItemSelection selection;
        std::vector<RowSpan> spans;
    } cases[] = {
        {selectionOf({}), {}},
        {selectionOf({{3, 5}}), {{3, 5}}},
        {selectionOf({{8, 9}, {1, 2}}), {{1, 2}, {8, 9}}},
        {selectionOf({{1, 4}, {3, 6}}), {{1, 6}}},
        {selectionOf({{3, 4}, {1, 2}}), {{1, 4}}},
        {selectionOf({{5, 5}, {0, 19}, {7, 8}}), {{0, 19}}},
    };
    for (const auto& c : cases) EXPECT_EQ(rowSpans(c.selection), c.spans) << c.selection.size();

    const std::vector<RowSpan> spans = {{0, 3}, {5, 9}};
    EXPECT_EQ(spansFrom(spans, 2), (std::vector<RowSpan>{{2, 3}, {5, 9}}));
    EXPECT_EQ(spansFrom(spans, 4), (std::vector<RowSpan>{{5, 9}}));
    EXPECT_TRUE(spansFrom(spans, 10).empty());
    EXPECT_EQ(rowCountOf(spans), 9);
}

TEST(ListSelectionSummary, FirstNamesAndACount) {
    const QStringList three = {"a.bmp", "b c.bmp", "d.bmp"};
    EXPECT_EQ(selectionSummary({}, 0), "");
    EXPECT_EQ(selectionSummary({"a.bmp"}, 1), "a.bmp");
    EXPECT_EQ(selectionSummary({"a.bmp", "b c.bmp"}, 2), "\"a.bmp\" \"b c.bmp\"");
    EXPECT_EQ(selectionSummary(three, 3), "\"a.bmp\" \"b c.bmp\" \"d.bmp\"");
    EXPECT_EQ(selectionSummary(three, 100000), "\"a.bmp\" \"b c.bmp\" \"d.bmp\" and " + QLocale().toString(99997) + " more");
    // A few names read back as the same names when typed.
    EXPECT_EQ(PictureFileDialog::typedNames(selectionSummary(three, 3)), three);
}

// A folder of numbered pictures (and a folder among them) in a dialog that is shown.
class ListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.isValid());
        const std::vector<uint8_t> bytes = bmp24Uniform(2, 2, {1, 2, 3});
        for (int i = 0; i < kFiles; ++i) writeFile(path(name(i)).toStdString(), bytes);
        QDir(folder_.path()).mkdir("inner");
        dialog_ = opener_.createDialog(nullptr);
        dialog_->setDirectory(folder_.path());
        dialog_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog_.get()));
        list_ = dialog_->fileList();
    }

    // Long names: the text of every name, quoted, exceeds 65,519 characters.
    static QString name(int i) { return QString("picture_with_a_rather_long_name_%1.bmp").arg(i, 5, 10, QChar('0')); }
    QString path(const QString& name) const { return QDir(folder_.path()).absoluteFilePath(name); }
    QStringList paths(int first, int last) const {
        QStringList out;
        for (int i = first; i <= last; ++i) out << path(name(i));
        return out;
    }
    // Row of file i (the folder comes first).
    QModelIndex fileRow(int i) const { return list_->model()->index(i + 1, 0); }
    void click(int i, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        list_->scrollTo(fileRow(i));
        QTest::mouseClick(list_->viewport(), Qt::LeftButton, modifiers, list_->visualRect(fileRow(i)).center());
    }
    std::optional<QStringList> pressOpen() {
        dialog_->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Open)->click();
        return opener_.finish(*dialog_, dialog_->result());
    }

    static constexpr int kFiles = 2000;
    QTemporaryDir folder_;
    OpenPictureDialog opener_;
    std::unique_ptr<PictureFileDialog> dialog_;
    QListView* list_ = nullptr;
};

TEST_F(ListTest, SelectAllIsOneRangeAndOpenTakesEveryFileInOrder) {
    list_->setFocus();
    QTest::keyClick(list_, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(list_->selectionModel()->selection().size(), 1);
    EXPECT_EQ(dialog_->fileNameEdit()->text(), selectionSummary({name(0), name(1), name(2)}, kFiles));
    EXPECT_TRUE(dialog_->boxShowsSelection());
    // No limit on the selection: its names would take far more than 65,519 characters.
    EXPECT_EQ(pressOpen(), paths(0, kFiles - 1));
    EXPECT_EQ(opener_.fileName(), path(name(0)));
}

TEST_F(ListTest, ShiftClickAddsARangeCtrlClickAFileEnterOpens) {
    click(5);
    EXPECT_EQ(dialog_->fileNameEdit()->text(), name(5));
    click(1500, Qt::ShiftModifier);
    click(1700, Qt::ControlModifier);
    EXPECT_EQ(rowSpans(list_->selectionModel()->selection()), (std::vector<RowSpan>{{6, 1501}, {1701, 1701}}));
    EXPECT_EQ(dialog_->fileNameEdit()->text(), selectionSummary({name(5), name(6), name(7)}, 1497));
    QTest::keyClick(list_, Qt::Key_Return);  // Enter in the list opens the selection
    EXPECT_EQ(opener_.finish(*dialog_, dialog_->result()), paths(5, 1500) + paths(1700, 1700));
}

TEST_F(ListTest, WhatTheUserTypesOverASelectionIsWhatOpens) {
    QTest::keyClick(list_, Qt::Key_A, Qt::ControlModifier);
    QLineEdit* box = dialog_->fileNameEdit();
    // Edited, the box is typed text: only its quoted names count.
    box->setFocus();
    QTest::keyClick(box, Qt::Key_End);
    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_FALSE(dialog_->boxShowsSelection());
    EXPECT_EQ(pressOpen(), paths(0, 2));
}

TEST_F(ListTest, FoldersAreEnteredNotOpened) {
    // A selection of a folder names it; Open, Enter or a double click enters it.
    list_->setCurrentIndex(list_->model()->index(0, 0));
    EXPECT_EQ(dialog_->fileNameEdit()->text(), "inner");
    pressOpen();
    EXPECT_NE(dialog_->result(), QDialog::Accepted);
    EXPECT_EQ(dialog_->directory().absolutePath(), path("inner"));
    EXPECT_TRUE(dialog_->fileNameEdit()->text().isEmpty());
    // Backspace goes up, Back and Forward retrace the way.
    QTest::keyClick(list_, Qt::Key_Backspace);
    EXPECT_EQ(dialog_->directory().absolutePath(), folder_.path());
    dialog_->findChild<QToolButton*>("backButton")->click();
    EXPECT_EQ(dialog_->directory().absolutePath(), path("inner"));
    dialog_->findChild<QToolButton*>("forwardButton")->click();
    EXPECT_EQ(dialog_->directory().absolutePath(), folder_.path());
    list_->setFocus();
    list_->setCurrentIndex(list_->model()->index(0, 0));
    QTest::keyClick(list_, Qt::Key_Return);
    EXPECT_EQ(dialog_->directory().absolutePath(), path("inner"));
    // The places: the whole file system first.
    auto* places = dialog_->findChild<QListWidget*>("sidebar");
    ASSERT_GE(places->count(), 2);
    emit places->itemClicked(places->item(0));
    EXPECT_EQ(dialog_->directory().absolutePath(), QDir::rootPath());
    EXPECT_NE(dialog_->result(), QDialog::Accepted);
}

TEST_F(ListTest, AnotherKindEmptiesTheSelectionAndWhatTheBoxShowedOfIt) {
    QTest::keyClick(list_, Qt::Key_A, Qt::ControlModifier);
    dialog_->selectKind("Icons (*.ico)");
    EXPECT_EQ(list_->model()->rowCount(), 1);  // the folder only
    EXPECT_TRUE(dialog_->fileNameEdit()->text().isEmpty());
    EXPECT_FALSE(dialog_->boxShowsSelection());
    pressOpen();
    EXPECT_NE(dialog_->result(), QDialog::Accepted);
}

}  // namespace
