// The picture open dialog: its kinds, what it remembers, typed names, and the preview.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "common/Error.h"
#include "raster/PictureFile.h"
#include "support/BmpWriter.h"
#include "support/DrawnPictureWriter.h"
#include "ui/FolderModel.h"
#include "ui/OpenPictureDialog.h"
#include "ui/PictureFileDialog.h"
#include "ui/PicturePreview.h"
#include "ui/PreviewWindow.h"

using namespace qfip::testing;

void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

const QStringList kFilters = {
    "All (*.bmp;*.ico;*.emf;*.wmf)", "Bitmaps (*.bmp)", "Icons (*.ico)",
    "Enhanced Metafiles (*.emf)", "Metafiles (*.wmf)",
};

void write(const QString& path, const std::vector<uint8_t>& bytes) { writeFile(path.toStdString(), bytes); }

// A folder of pictures of every kind, with the current folder restored afterwards.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.isValid());
        savedCurrent_ = QDir::currentPath();
        dir_ = QDir(folder_.path());
        write(path("red.bmp"), bmp24Uniform(3, 2, {255, 0, 0}));
        write(path("SCAN01.BMP"), bmp24Uniform(2, 2, {0, 0, 255}));
        write(path("icon.ico"), icon32(4, 4, std::vector<uint32_t>(16, 0xFF00FF00)));
        write(path("enhanced.emf"), EmfFile{}.bytes());
        write(path("placeable.wmf"), WmfFile{}.bytes());
        write(path("notes.txt"), {'h', 'i'});
        dir_.mkdir("sub");
        QDir::setCurrent(folder_.path());
    }
    void TearDown() override { QDir::setCurrent(savedCurrent_); }

    QString path(const QString& name) const { return dir_.absoluteFilePath(name); }

    // Types a file-name box text into a fresh dialog and presses Open.
    std::optional<QStringList> confirm(OpenPictureDialog& opener, const QString& text) {
        std::unique_ptr<PictureFileDialog> dialog = opener.createDialog(nullptr);
        dialog->setDirectory(dir_);
        dialog->fileNameEdit()->setText(text);
        dialog->accept();
        return opener.finish(*dialog, dialog->result());
    }

    QTemporaryDir folder_;
    QDir dir_;
    QString savedCurrent_;
};

// The files the dialog's list shows (its folders left out).
QStringList visibleFiles(PictureFileDialog& dialog) {
    QAbstractItemModel* model = dialog.fileList()->model();
    QStringList names;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        if (dialog.folderModel()->isFolder(row)) continue;
        if (!(model->flags(index) & Qt::ItemIsEnabled)) continue;
        names << index.data().toString();
    }
    names.sort(Qt::CaseInsensitive);
    return names;
}

// The preview reads on a worker thread: waits until what was asked for is shown.
void settle(PicturePreview& preview) {
    if (!QTest::qWaitFor([&] { return !preview.pending(); }, 10000)) ADD_FAILURE() << "the preview never came";
}

}  // namespace

TEST(OpenPictureDialogKinds, FiltersInTheirOrder) {
    EXPECT_EQ(OpenPictureDialog::filters(), kFilters);
    OpenPictureDialog opener;
    auto dialog = opener.createDialog(nullptr);
    EXPECT_EQ(dialog->nameFilters(), kFilters);
    EXPECT_EQ(dialog->selectedNameFilter(), kFilters.first());
    // The program's own dialog, on every desktop; no read-only box.
    EXPECT_TRUE(dialog->findChildren<QCheckBox*>().isEmpty());
    EXPECT_TRUE(dialog->isSizeGripEnabled());
    EXPECT_EQ(dialog->findChild<QListView*>("listView")->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_TRUE(dialog->fileNameEdit()->text().isEmpty());
}

TEST(OpenPictureDialogKinds, PatternsOfEachLabel) {
    EXPECT_EQ(PictureFileDialog::patternsOf(kFilters[0]), QStringList({"*.bmp", "*.ico", "*.emf", "*.wmf"}));
    EXPECT_EQ(PictureFileDialog::patternsOf(kFilters[3]), QStringList({"*.emf"}));
    EXPECT_EQ(PictureFileDialog::patternsOf("Mixed (*.a *.b;*.c)"), QStringList({"*.a", "*.b", "*.c"}));
}

TEST_F(DialogTest, AllMatchesEveryKindAndEachKindItsOwn) {
    OpenPictureDialog opener;
    auto dialog = opener.createDialog(nullptr);
    dialog->setDirectory(dir_);
    EXPECT_EQ(visibleFiles(*dialog),
              QStringList({"enhanced.emf", "icon.ico", "placeable.wmf", "red.bmp", "SCAN01.BMP"}));

    auto* kinds = dialog->findChild<QComboBox*>("fileTypeCombo");
    const auto choose = [&](int index) {
        kinds->setCurrentIndex(index);
        emit kinds->activated(index);
        emit kinds->textActivated(kinds->itemText(index));
    };
    choose(1);
    EXPECT_EQ(visibleFiles(*dialog), QStringList({"red.bmp", "SCAN01.BMP"}));
    choose(2);
    EXPECT_EQ(visibleFiles(*dialog), QStringList({"icon.ico"}));
    choose(4);
    EXPECT_EQ(visibleFiles(*dialog), QStringList({"placeable.wmf"}));
    choose(0);
    EXPECT_EQ(visibleFiles(*dialog).size(), 5);
}

TEST_F(DialogTest, RemembersTheConfirmedKindAndFirstPath) {
    OpenPictureDialog opener;
    {
        auto dialog = opener.createDialog(nullptr);
        dialog->setDirectory(dir_);
        auto* kinds = dialog->findChild<QComboBox*>("fileTypeCombo");
        kinds->setCurrentIndex(2);
        emit kinds->activated(2);
        emit kinds->textActivated(kinds->itemText(2));
        dialog->fileNameEdit()->setText("\"icon.ico\" \"red.bmp\"");
        dialog->accept();
        ASSERT_EQ(opener.finish(*dialog, dialog->result()), QStringList({path("icon.ico"), path("red.bmp")}));
    }
    EXPECT_EQ(opener.fileName(), path("icon.ico"));
    EXPECT_EQ(opener.selectedFilter(), "Icons (*.ico)");

    auto again = opener.createDialog(nullptr);
    EXPECT_EQ(again->selectedNameFilter(), "Icons (*.ico)");
    EXPECT_EQ(again->folderModel()->nameFilters(), QStringList({"*.ico"}));
    EXPECT_EQ(again->fileNameEdit()->text(), path("icon.ico"));
    // Accepting the box as it starts gives that path back.
    again->accept();
    EXPECT_EQ(opener.finish(*again, again->result()), QStringList({path("icon.ico")}));
}

TEST_F(DialogTest, CancelReturnsNothingAndForgetsNothing) {
    OpenPictureDialog opener;
    ASSERT_TRUE(confirm(opener, "red.bmp"));
    auto dialog = opener.createDialog(nullptr);
    auto* kinds = dialog->findChild<QComboBox*>("fileTypeCombo");
    kinds->setCurrentIndex(4);
    emit kinds->textActivated(kinds->itemText(4));
    dialog->fileNameEdit()->setText("placeable.wmf");
    dialog->reject();
    EXPECT_EQ(opener.finish(*dialog, dialog->result()), std::nullopt);
    EXPECT_EQ(opener.fileName(), path("red.bmp"));
    EXPECT_EQ(opener.selectedFilter(), kFilters.first());
}

TEST_F(DialogTest, TypedNamesComeBackInTheirOrder) {
    const QString elsewhere = QDir::cleanPath(QDir::tempPath() + "/elsewhere/far.bmp");
    const struct {
        QString text;
        QStringList paths;
    } cases[] = {
        {"red.bmp", {path("red.bmp")}},
        {"  red.bmp  ", {path("red.bmp")}},
        {"\"red.bmp\"", {path("red.bmp")}},
        {"\"red.bmp\" \"icon.ico\" \"enhanced.emf\"", {path("red.bmp"), path("icon.ico"), path("enhanced.emf")}},
        {"\"placeable.wmf\" \"red.bmp\"", {path("placeable.wmf"), path("red.bmp")}},
        {"\"with space.bmp\"", {path("with space.bmp")}},
        {elsewhere, {elsewhere}},
        {"\"" + elsewhere + "\" \"red.bmp\"", {elsewhere, path("red.bmp")}},
        {"\"sub/../red.bmp\" \"sub/inner.bmp\"", {path("red.bmp"), path("sub/inner.bmp")}},
        {"\"\" \"red.bmp\"", {path("red.bmp")}},
    };
    for (const auto& c : cases) {
        OpenPictureDialog opener;
        EXPECT_EQ(confirm(opener, c.text), c.paths) << c.text.toStdString();
    }
}

TEST_F(DialogTest, MissingTypedNameComesBackAndFailsWhenLoaded) {
    OpenPictureDialog opener;
    const auto paths = confirm(opener, "\"missing.bmp\" \"red.bmp\"");
    ASSERT_EQ(paths, QStringList({path("missing.bmp"), path("red.bmp")}));
    EXPECT_EQ(opener.fileName(), path("missing.bmp"));
    try {
        qfip::loadPicture(path("missing.bmp").toStdString());
        ADD_FAILURE() << "loaded a missing file";
    } catch (const qfip::Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + path("missing.bmp").toStdString());
    }
}

TEST_F(DialogTest, EmptyBoxOrAFolderDoesNotConfirm) {
    OpenPictureDialog opener;
    auto dialog = opener.createDialog(nullptr);
    dialog->setDirectory(dir_);
    dialog->fileNameEdit()->setText("   ");
    dialog->accept();
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    // A folder's name opens the folder.
    dialog->fileNameEdit()->setText("sub");
    dialog->accept();
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->directory().absolutePath(), path("sub"));
    EXPECT_TRUE(dialog->fileNameEdit()->text().isEmpty());
    EXPECT_EQ(opener.finish(*dialog, dialog->result()), std::nullopt);
}

TEST_F(DialogTest, ChoosingFilesMakesTheirFolderCurrent) {
    QDir::setCurrent(QDir::rootPath());
    OpenPictureDialog opener;
    ASSERT_TRUE(confirm(opener, "\"sub/a.bmp\" \"red.bmp\""));
    EXPECT_EQ(QDir::currentPath(), path("sub"));
}

TEST_F(DialogTest, NoLimitOnTheSelectionsSize) {
    QString text;
    QStringList expected;
    for (int i = 0; i < 6000; ++i) {
        const QString name = QString("picture_with_a_long_name_%1.bmp").arg(i, 5, 10, QChar('0'));
        text += "\"" + name + "\" ";
        expected << path(name);
    }
    ASSERT_GT(text.size(), 65519);
    OpenPictureDialog opener;
    EXPECT_EQ(confirm(opener, text), expected);
}

TEST_F(DialogTest, RunIsModalAndReturnsWhatWasConfirmed) {
    OpenPictureDialog opener;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<PictureFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            ADD_FAILURE() << "no open dialog";
            if (auto* other = qobject_cast<QDialog*>(QApplication::activeModalWidget())) other->reject();
            return;
        }
        dialog->fileNameEdit()->setText("\"red.bmp\" \"icon.ico\"");
        dialog->accept();
    });
    EXPECT_EQ(opener.run(nullptr), QStringList({path("red.bmp"), path("icon.ico")}));

    QTimer::singleShot(0, [] {
        if (QWidget* dialog = QApplication::activeModalWidget()) QTest::keyClick(dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(opener.run(nullptr), std::nullopt);
    EXPECT_EQ(opener.fileName(), path("red.bmp"));
}

TEST(OpenPictureDialogPlace, CentredAThirdOfTheWayDown) {
    EXPECT_EQ(dialogPosition(QRect(0, 0, 1200, 900), QSize(600, 400)), QPoint(300, 300));
    EXPECT_EQ(dialogPosition(QRect(1920, 0, 1280, 1024), QSize(601, 400)), QPoint(1920 + 339, 341));
    // Too tall to start a third of the way down: kept on the screen.
    EXPECT_EQ(dialogPosition(QRect(0, 0, 800, 600), QSize(500, 500)), QPoint(150, 100));
    EXPECT_EQ(dialogPosition(QRect(0, 0, 800, 600), QSize(900, 700)), QPoint(0, 0));
}

TEST(PreviewFit, SmallPictureUnscaledAndCentred) {
    EXPECT_EQ(previewRect(QSize(50, 31), QSize(200, 200)), QRect(75, 84, 50, 31));
    EXPECT_EQ(previewRect(QSize(51, 51), QSize(200, 200)), QRect(74, 74, 51, 51));
    EXPECT_EQ(previewRect(QSize(200, 200), QSize(200, 200)), QRect(0, 0, 200, 200));
    EXPECT_EQ(previewRect(QSize(1, 1), QSize(200, 150)), QRect(99, 74, 1, 1));
}

TEST(PreviewFit, WidePictureAtFullWidthFromTheCorner) {
    EXPECT_EQ(previewRect(QSize(400, 100), QSize(200, 200)), QRect(0, 0, 200, 50));
    EXPECT_EQ(previewRect(QSize(400, 101), QSize(200, 200)), QRect(0, 0, 200, 51));  // 50.5 rounds up
    EXPECT_EQ(previewRect(QSize(300, 250), QSize(200, 200)), QRect(0, 0, 200, 167));
    // Wider than tall yet too tall for a flat area: the height is not bounded.
    EXPECT_EQ(previewRect(QSize(120, 110), QSize(200, 100)), QRect(0, 0, 200, 183));
}

TEST(PreviewFit, TallOrSquarePictureAtFullHeight) {
    EXPECT_EQ(previewRect(QSize(100, 400), QSize(200, 200)), QRect(0, 0, 50, 200));
    EXPECT_EQ(previewRect(QSize(300, 300), QSize(200, 200)), QRect(0, 0, 200, 200));
    EXPECT_EQ(previewRect(QSize(250, 300), QSize(200, 200)), QRect(0, 0, 167, 200));
    EXPECT_EQ(previewRect(QSize(110, 120), QSize(100, 200)), QRect(0, 0, 183, 200));
    EXPECT_EQ(previewRect(QSize(32767, 32768), QSize(200, 200)), QRect(0, 0, 200, 200));
}

TEST(PreviewFit, NothingToDraw) {
    EXPECT_TRUE(previewRect(QSize(0, 0), QSize(200, 200)).isNull());
    EXPECT_TRUE(previewRect(QSize(10, 0), QSize(200, 200)).isNull());
}

TEST_F(DialogTest, PreviewCaptionAndButtonFollowTheFile) {
    PicturePreview preview;
    EXPECT_EQ(preview.caption(), "Picture:");
    EXPECT_FALSE(preview.previewEnabled());
    EXPECT_FALSE(preview.hasPicture());

    write(path("wide.bmp"), bmp24Uniform(400, 100, {0, 128, 0}));
    write(path("broken.bmp"), {'X', 'Y', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    const struct {
        QString name;
        QString caption;
    } cases[] = {
        {"red.bmp", " (3x2)"},        {"wide.bmp", " (400x100)"},       {"icon.ico", " (4x4)"},
        {"enhanced.emf", " (48x24)"}, {"placeable.wmf", " (40x30)"},    {"broken.bmp", "Picture:"},
        {"missing.bmp", "Picture:"},  {"notes.txt", "Picture:"},        {"sub", "Picture:"},
        {"SCAN01.BMP", " (2x2)"},     {"", "Picture:"},
    };
    for (const auto& c : cases) {
        preview.showFile(c.name.isEmpty() ? QString() : path(c.name));
        settle(preview);
        EXPECT_EQ(preview.caption(), c.caption) << c.name.toStdString();
        EXPECT_EQ(preview.previewEnabled(), c.caption != "Picture:") << c.name.toStdString();
        EXPECT_EQ(preview.hasPicture(), c.caption != "Picture:") << c.name.toStdString();
    }
}

TEST_F(DialogTest, PreviewDrawsByTheFitRuleOrShowsNone) {
    PicturePreview preview;
    preview.resize(preview.sizeHint());
    preview.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
    const QSize area = preview.areaSize();
    ASSERT_GE(area.width(), 100);
    ASSERT_GE(area.height(), 100);

    // Empty: nothing drawn, "(None)" in the middle (dark text pixels near the centre).
    const QImage empty = preview.area()->grab().toImage();
    bool textNearCentre = false;
    const QPoint centre = preview.area()->rect().center();
    for (int y = centre.y() - 8; y <= centre.y() + 8; ++y)
        for (int x = centre.x() - 25; x <= centre.x() + 25; ++x)
            if (qGray(empty.pixel(x, y)) < 100) textNearCentre = true;
    EXPECT_TRUE(textNearCentre);
    EXPECT_TRUE(preview.drawnRect().isNull());

    write(path("small.bmp"), bmp24Uniform(10, 6, {255, 0, 0}));
    preview.showFile(path("small.bmp"));
    settle(preview);
    const QRect small = preview.drawnRect();
    EXPECT_EQ(small, QRect((area.width() - 10) / 2, (area.height() - 6) / 2, 10, 6));
    const QImage shown = preview.area()->grab().toImage();
    const QPoint inside = preview.area()->contentsRect().topLeft();
    EXPECT_EQ(shown.pixel(inside + small.topLeft()), 0xFFFF0000u);
    EXPECT_EQ(shown.pixel(inside + small.bottomRight()), 0xFFFF0000u);
    EXPECT_NE(shown.pixel(inside + small.topLeft() - QPoint(1, 1)), 0xFFFF0000u);

    write(path("tall.bmp"), bmp24Uniform(100, 1000, {0, 0, 255}));
    preview.showFile(path("tall.bmp"));
    settle(preview);
    EXPECT_EQ(preview.drawnRect(), previewRect(QSize(100, 1000), area));
    EXPECT_EQ(preview.drawnRect().height(), area.height());
    EXPECT_EQ(preview.drawnRect().topLeft(), QPoint(0, 0));
    EXPECT_EQ(preview.area()->grab().toImage().pixel(inside + QPoint(2, area.height() / 2)), 0xFF0000FFu);

    preview.showFile(path("missing.bmp"));
    settle(preview);
    EXPECT_TRUE(preview.drawnRect().isNull());
}

TEST_F(DialogTest, DialogPreviewFollowsTheCurrentFile) {
    OpenPictureDialog opener;
    auto dialog = opener.createDialog(nullptr);
    PicturePreview* preview = dialog->preview();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(dialog->isAncestorOf(preview));
    emit dialog->currentChanged(path("placeable.wmf"));
    settle(*preview);
    EXPECT_EQ(preview->caption(), " (40x30)");
    EXPECT_TRUE(preview->previewButton()->isEnabled());
    emit dialog->currentChanged(path("sub"));
    settle(*preview);
    EXPECT_EQ(preview->caption(), "Picture:");
    EXPECT_FALSE(preview->previewButton()->isEnabled());
}

TEST_F(DialogTest, PreviewButtonAndDoubleClickOpenAWindowThatEscapeCloses) {
    PicturePreview preview;
    preview.show();
    preview.showFile(path("red.bmp"));
    settle(preview);
    for (int way = 0; way < 2; ++way) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* window = qobject_cast<PreviewWindow*>(QApplication::activeModalWidget());
            if (!window) {
                if (auto* other = qobject_cast<QDialog*>(QApplication::activeModalWidget())) other->reject();
                return;
            }
            seen = true;
            EXPECT_TRUE(window->isModal());
            QTest::keyClick(window, Qt::Key_Escape);
        });
        if (way == 0) {
            preview.previewButton()->click();
        } else {
            QTest::mouseDClick(preview.area(), Qt::LeftButton);
        }
        EXPECT_TRUE(seen) << way;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
}

TEST(PreviewWindowShape, ShowsThePictureAtItsSize) {
    QImage image(30, 20, QImage::Format_RGB32);
    image.fill(0xFF123456);
    PreviewWindow window(image, nullptr);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_GE(window.width(), 30);
    EXPECT_GE(window.height(), 20);
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(DialogTest, LargeBitmapIsDecodedAtTheSizeItIsDrawn) {
    // Left half red, right half blue; the caption still names the picture's own size.
    const int w = 3000, h = 1000;
    std::vector<Rgb> pixels(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pixels[size_t(y) * w + x] = x < w / 2 ? Rgb{255, 0, 0} : Rgb{0, 0, 255};
    write(path("wide.bmp"), bmp24(w, h, pixels));
    PicturePreview preview;
    preview.resize(preview.sizeHint());
    preview.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
    preview.showFile(path("wide.bmp"));
    settle(preview);
    EXPECT_EQ(preview.caption(), " (3000x1000)");
    EXPECT_EQ(preview.pictureSize(), QSize(3000, 1000));
    const QRect drawn = preview.drawnRect();
    EXPECT_EQ(drawn, previewRect(QSize(w, h), preview.areaSize()));
    EXPECT_EQ(preview.image().size(), drawn.size());
    EXPECT_EQ(preview.image().pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(preview.image().pixel(drawn.width() - 1, drawn.height() - 1), 0xFF0000FFu);
    const QImage shown = preview.area()->grab().toImage();
    const QPoint inside = preview.area()->contentsRect().topLeft();
    EXPECT_EQ(shown.pixel(inside + QPoint(1, 1)), 0xFFFF0000u);
    EXPECT_EQ(shown.pixel(inside + QPoint(drawn.width() - 2, 1)), 0xFF0000FFu);

    // The preview window shows the picture itself, not the sample.
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<PreviewWindow*>(QApplication::activeModalWidget());
        if (!window) return;
        seen = true;
        auto* picture = window->findChild<QWidget*>(QStringLiteral("previewPicture"));
        ASSERT_TRUE(picture && picture->size() == QSize(w, h));
        // Painted from the whole picture: red at its left edge, blue at its right edge.
        const QImage left = picture->grab(QRect(0, 0, 4, 4)).toImage();
        const QImage right = picture->grab(QRect(w - 4, h - 4, 4, 4)).toImage();
        EXPECT_EQ(left.pixel(1, 1), 0xFFFF0000u);
        EXPECT_EQ(right.pixel(2, 2), 0xFF0000FFu);
        QTest::keyClick(window, Qt::Key_Escape);
    });
    preview.previewButton()->click();
    EXPECT_TRUE(seen);
}

TEST_F(DialogTest, SelectionThatMovesOnAbandonsThePictureUnderWay) {
    write(path("big.bmp"), bmp24Uniform(2000, 2000, {0, 255, 0}));
    PicturePreview preview;
    int shown = 0;
    QObject::connect(&preview, &PicturePreview::shown, [&] { ++shown; });
    for (const char* name : {"big.bmp", "red.bmp", "big.bmp", "icon.ico", "big.bmp", "SCAN01.BMP"}) {
        preview.showFile(path(name));
        EXPECT_TRUE(preview.pending());
        EXPECT_FALSE(preview.previewEnabled());
    }
    settle(preview);
    QTest::qWait(100);  // nothing later replaces it
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(preview.caption(), " (2x2)");
    EXPECT_EQ(preview.image().pixel(0, 0), 0xFF0000FFu);
    // A selection of nothing empties the preview at once, and a late picture never comes.
    preview.showFile(path("big.bmp"));
    preview.showFile(QString());
    EXPECT_FALSE(preview.pending());
    QTest::qWait(100);
    EXPECT_EQ(preview.caption(), "Picture:");
}
