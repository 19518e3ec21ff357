// The measurement series driven through the main window's handlers, with pictures whose
// values are known and every dialog answered by the fake host.
#include <QCheckBox>
#include <QLineEdit>
#include <QToolButton>

#include "raster/Picture.h"
#include "support/MainFormTesting.h"
#include "ui/PictureImage.h"
#include "ui/SampleImage.h"

using namespace qfip::testing;

namespace {

const QString kLastLine = QStringLiteral("It was the last line.");
const QString kNoImages = QStringLiteral("No opened image files. Sorry, but You must try again.");
const char* const kNotABitmap = "Can only modify an image if it contains a bitmap";

class SeriesTest : public MainFormTest {
protected:
    QString status(int i) { return form->statusText(i); }
    PictureImage* image1() { return control<PictureImage>("Image1"); }
};

TEST_F(SeriesTest, StartsWithTheOptionsRead) {
    EXPECT_EQ(host.aboutCount, 1);
    EXPECT_EQ(form->HalfWidth, 12);
    EXPECT_EQ(form->HalfHeight, 12);
    EXPECT_EQ(form->BackgroundRect, (qfip::Rect{10, 10, 34, 34}));
    EXPECT_FALSE(form->SeriesFinished);
    EXPECT_EQ(form->CurrentImage, 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(status(i), QString()) << i;
}

TEST_F(SeriesTest, SeriesOfOneFile) {
    open({"a.bmp"});
    EXPECT_EQ(status(0), "   Image 1 of 1");
    point();
    EXPECT_EQ(status(1), " x = 56");
    EXPECT_EQ(status(2), " y = 40");
    click();
    EXPECT_EQ(log(), "    a       200       40\n");
    EXPECT_EQ(host.messages, QStringList{kLastLine});
    EXPECT_TRUE(form->SeriesFinished);
    EXPECT_EQ(status(3), QString());
}

TEST_F(SeriesTest, SeriesOfThreeFilesThenRestart) {
    open({"a.bmp", "b.bmp", "c.bmp"});
    point();
    click();
    EXPECT_EQ(status(0), "   Image 2 of 3");
    EXPECT_EQ(form->CurrentImage, 2);
    click();
    EXPECT_EQ(status(0), "   Image 3 of 3");
    EXPECT_TRUE(host.messages.isEmpty());
    click();
    EXPECT_EQ(host.messages, QStringList{kLastLine});
    click();  // finished: ignored
    const QString three = "    a       200       40\n    b       150       40\n    c       100       40\n";
    EXPECT_EQ(log(), three);
    EXPECT_EQ(host.messages.size(), 1);

    form->ToolButton4Click();
    EXPECT_EQ(status(0), "   Image 1 of 3");
    EXPECT_FALSE(form->SeriesFinished);
    click();
    EXPECT_EQ(log(), three + "    a       200       40\n");
}

TEST_F(SeriesTest, TotalModeLogsTheInteriorSum) {
    control<QCheckBox>("cbTotalInt")->setChecked(true);
    open({"a.bmp"});
    point();
    click();
    EXPECT_EQ(log(), "    a       96800       19360\n");  // 484 pixels of 200 and of 40
}

TEST_F(SeriesTest, EnterWithoutMovingMeasuresTheSamePlaceOnTheNextPicture) {
    open({"a.bmp", "b.bmp"});
    point();
    form->aEnterExecute();
    form->aEnterExecute();
    EXPECT_EQ(log(), "    a       200       40\n    b       150       40\n");
}

TEST_F(SeriesTest, RightClickAndDoubleClickOnThePicture) {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    open({"a.bmp", "b.bmp", "c.bmp"});
    QTest::mouseMove(image1(), QPoint(kX, kY));
    form->Image1MouseMove({}, kX, kY);
    QTest::mouseClick(image1(), Qt::RightButton, {}, QPoint(kX, kY));
    EXPECT_EQ(log(), "    a       200       40\n");
    // What the window system delivers for a double click: press, release, double click, release.
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                              QEvent::MouseButtonRelease}) {
        const bool down = type != QEvent::MouseButtonRelease;
        QMouseEvent event(type, QPointF(kX, kY), image1()->mapToGlobal(QPointF(kX, kY)), Qt::LeftButton,
                          down ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(image1(), &event);
    }
    EXPECT_EQ(log(), "    a       200       40\n    b       150       40\n    c       100       40\n");
    EXPECT_TRUE(form->SeriesFinished);
}

TEST_F(SeriesTest, PointerMovementReachesTheHandler) {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    open({"a.bmp"});
    QMouseEvent move(QEvent::MouseMove, QPointF(21, 34), image1()->mapToGlobal(QPointF(21, 34)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(image1(), &move);
    EXPECT_EQ(status(1), " x = 21");
    EXPECT_EQ(status(2), " y = 34");
    EXPECT_EQ(form->Pointer.PointerRect, (qfip::Rect{9, 22, 33, 46}));
    EXPECT_EQ(form->Pointer.ShownPointerRect, form->Pointer.PointerRect);
}

TEST_F(SeriesTest, LeftButtonKeepsThePointerOutsideThePicture) {
    open({"a.bmp"});
    auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, at, image1()->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(image1(), &event);
    };
    send(QEvent::MouseButtonPress, {5, 5}, Qt::RightButton, Qt::RightButton);
    send(QEvent::MouseMove, {-7, 300}, Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(status(1), QString());  // a right press doesn't keep the pointer
    send(QEvent::MouseButtonRelease, {5, 5}, Qt::RightButton, Qt::NoButton);
    send(QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, {-7, 300}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(status(1), " x = -7");
    EXPECT_EQ(status(2), " y = 300");
}

TEST_F(SeriesTest, LabelsOfShortAndLongPaths) {
    host.openAnswers.push_back(QStringList{"abc", "f0000017.bmp", "/data/f0000018.bmp", "C:\\a\\b.bmp"});
    EXPECT_EQ(failureOf([&] { form->ToolButton3Click(); }), "Unknown picture file extension (.)");
    EXPECT_EQ(form->FileLabels, (std::vector<std::string>{"abc", "f0000017", "f0000018", "C:\\a\\b"}));
    EXPECT_EQ(form->CurrentImage, 1);
}

TEST_F(SeriesTest, TwelveCharacterNamesAreLoggedWithoutTheirExtension) {
    write("f0000017.bmp", greyPicture(100, 80, 40, kSquare, 60));
    open({"f0000017.bmp"});
    point();
    click();
    EXPECT_EQ(log(), "    f0000017       60       40\n");
}

TEST_F(SeriesTest, BadBackgroundFieldStopsTheStepBeforeLogging) {
    control<QCheckBox>("CheckBox1")->click();
    EXPECT_TRUE(control<QLineEdit>("Edit2")->isEnabled());
    control<QLineEdit>("Edit2")->setText("1x");
    open({"a.bmp", "b.bmp"});
    point();
    EXPECT_EQ(failureOf([&] { click(); }), "'1x' is not a valid integer value");
    EXPECT_EQ(log(), QString());
    EXPECT_EQ(form->CurrentImage, 1);
    ASSERT_NE(control<SampleImage>("Image2")->sample(), nullptr);  // the window was shown already
    EXPECT_EQ(control<SampleImage>("Image2")->size(), QSize(24, 24));
}

TEST_F(SeriesTest, MeanOfAnEmptyInteriorFails) {
    control<QLineEdit>("Edit1")->setText("1");
    form->SpeedButton1Click();
    EXPECT_EQ(form->HalfWidth, 1);
    open({"a.bmp"});
    point();
    EXPECT_EQ(failureOf([&] { click(); }), "Invalid floating point operation");
    EXPECT_EQ(log(), QString());
    EXPECT_FALSE(form->SeriesFinished);
}

// Grid Width and Grid Height, Set Grid, point, Enter, in either mode: the line logged, or
// the failure and nothing logged. Half sizes 0 and 1 leave no interior (a zero side gives
// an empty window raster, whose a and b follow the half sizes: 2 * half - 2).
struct GridCase {
    const char *width, *height;
    bool total;
    const char* logged;   // the line, or "" when the step fails
    const char* failure;  // the message, or "" when a line is logged
};

void PrintTo(const GridCase& c, std::ostream* out) {
    *out << c.width << " x " << c.height << (c.total ? " total" : " mean");
}

class SmallGrid : public SeriesTest, public ::testing::WithParamInterface<GridCase> {};

TEST_P(SmallGrid, StepLogsOrFails) {
    const GridCase& c = GetParam();
    control<QLineEdit>("Edit1")->setText(c.width);
    control<QLineEdit>("Edit4")->setText(c.height);
    form->SpeedButton1Click();
    control<QCheckBox>("cbTotalInt")->setChecked(c.total);
    open({"a.bmp", "b.bmp"});
    point();
    EXPECT_EQ(failureOf([&] { form->aEnterExecute(); }), c.failure);
    EXPECT_EQ(log(), QString::fromLatin1(c.logged));
    EXPECT_EQ(form->CurrentImage, *c.logged ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SmallGrid,
    ::testing::Values(GridCase{"0", "1", false, "", "Invalid floating point operation"},
                      GridCase{"1", "0", false, "", "Invalid floating point operation"},
                      GridCase{"1", "1", false, "", "Invalid floating point operation"},
                      GridCase{"1", "12", false, "", "Invalid floating point operation"},
                      GridCase{"0", "0", false, "    a       0       0\n", ""},
                      GridCase{"0", "12", false, "    a       0       0\n", ""},
                      GridCase{"12", "0", false, "    a       0       0\n", ""},
                      GridCase{"2", "2", false, "    a       200       40\n", ""},
                      GridCase{"0", "1", true, "    a       0       0\n", ""},
                      GridCase{"1", "0", true, "    a       0       0\n", ""},
                      GridCase{"1", "1", true, "    a       0       0\n", ""},
                      GridCase{"2", "2", true, "    a       800       160\n", ""}));

TEST_F(SeriesTest, GridHeightBadKeepsTheWidthAlreadyRead) {
    control<QLineEdit>("Edit1")->setText("5");
    control<QLineEdit>("Edit4")->setText("x");
    EXPECT_EQ(failureOf([&] { form->SpeedButton1Click(); }), "'x' is not a valid integer value");
    EXPECT_EQ(form->HalfWidth, 5);
    EXPECT_EQ(form->HalfHeight, 12);
}

TEST_F(SeriesTest, NegativeGridSizesAreRefusedKeepingThePreviousValues) {
    control<QLineEdit>("Edit1")->setText("-3");
    EXPECT_EQ(failureOf([&] { form->SpeedButton1Click(); }), "Grid Width must not be negative (-3)");
    EXPECT_EQ(form->HalfWidth, 12);
    control<QLineEdit>("Edit1")->setText("7");
    control<QLineEdit>("Edit4")->setText("-1");
    EXPECT_EQ(failureOf([&] { form->SpeedButton1Click(); }), "Grid Height must not be negative (-1)");
    EXPECT_EQ(form->HalfWidth, 7);
    EXPECT_EQ(form->HalfHeight, 12);
}

TEST_F(SeriesTest, IconAsFirstPictureIsShownButNotMeasured) {
    write("i.ico", tinyIcon());
    host.openAnswers.push_back(QStringList{"i.ico", "a.bmp"});
    EXPECT_EQ(failureOf([&] { form->ToolButton3Click(); }), kNotABitmap);
    EXPECT_EQ(status(0), QString());
    EXPECT_EQ(form->CurrentImage, 1);
    ASSERT_TRUE(image1()->shown().hasPicture());
    EXPECT_EQ(image1()->shown().picture()->kind(), qfip::PictureKind::Icon);
    EXPECT_EQ(image1()->size(), QSize(1, 1));
    EXPECT_EQ(failureOf([&] { point(0, 0); }), "");
    EXPECT_EQ(status(1), " x = 0");
    EXPECT_EQ(failureOf([&] { click(); }), kNotABitmap);
    EXPECT_EQ(log(), QString());
}

TEST_F(SeriesTest, IconAsNextPictureStopsTheSeriesUntilRestart) {
    write("i.ico", tinyIcon());
    open({"a.bmp", "i.ico", "b.bmp"});
    point();
    click();
    EXPECT_EQ(log(), "    a       200       40\n");
    EXPECT_EQ(image1()->shown().picture()->kind(), qfip::PictureKind::Icon);
    EXPECT_EQ(status(0), "   Image 1 of 3");
    EXPECT_EQ(form->CurrentImage, 1);
    EXPECT_EQ(failureOf([&] { click(); }), kNotABitmap);
    EXPECT_EQ(log(), "    a       200       40\n");
    form->ToolButton4Click();
    click();
    EXPECT_EQ(log(), "    a       200       40\n    a       200       40\n");
}

TEST_F(SeriesTest, UnreadableNextFileIsTriedAgainWhileTheSamePictureIsMeasured) {
    open({"a.bmp", "missing.bmp", "c.bmp"});
    point();
    click();
    click();
    EXPECT_EQ(log(), "    a       200       40\n    a       200       40\n");
    EXPECT_EQ(form->CurrentImage, 1);
    EXPECT_EQ(status(0), "   Image 1 of 3");
    EXPECT_TRUE(host.messages.isEmpty());
    write("missing.bmp", greyPicture(100, 80, 40, kSquare, 90));
    click();
    EXPECT_EQ(status(0), "   Image 2 of 3");
    click();
    EXPECT_TRUE(log().endsWith("    missing       90       40\n"));
}

TEST_F(SeriesTest, FailedFirstPictureOfANewSeriesLogsNothingUntilOpenOrRestartSucceeds) {
    open({"a.bmp"});
    point();
    write("bad.bmp", {'X', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    host.openAnswers.push_back(QStringList{"bad.bmp", "b.bmp"});
    EXPECT_EQ(failureOf([&] { form->ToolButton3Click(); }), "Bitmap image is not valid");
    EXPECT_EQ(form->FileList, (QStringList{"bad.bmp", "b.bmp"}));
    EXPECT_EQ(status(0), "   Image 1 of 1");  // the previous series' text stays
    click();  // picture a is shown, but the label would be bad's
    EXPECT_EQ(log(), QString());
    EXPECT_TRUE(host.messages.isEmpty());
    write("bad.bmp", greyPicture(100, 80, 40, kSquare, 70));
    form->ToolButton4Click();
    click();
    EXPECT_EQ(log(), "    bad       70       40\n");
}

TEST_F(SeriesTest, FailedRestartSaysSoAndLogsNothing) {
    open({"a.bmp", "b.bmp"});
    point();
    click();
    QFile::remove("a.bmp");
    form->ToolButton4Click();
    EXPECT_EQ(host.messages, QStringList{kNoImages});
    EXPECT_EQ(form->CurrentImage, 1);
    EXPECT_FALSE(form->SeriesFinished);
    EXPECT_EQ(status(0), "   Image 2 of 2");  // not updated by the failed restart
    click();  // picture b is shown under the label of a
    EXPECT_EQ(log(), "    a       200       40\n");
}

TEST_F(SeriesTest, RestartBeforeAnySeriesSaysThereAreNoImages) {
    form->ToolButton4Click();
    EXPECT_EQ(host.messages, QStringList{kNoImages});
}

TEST_F(SeriesTest, CancelledOpenDialogKeepsTheSeries) {
    open({"a.bmp", "b.bmp"});
    point();
    click();
    host.openAnswers.push_back(std::nullopt);
    form->ToolButton3Click();
    EXPECT_EQ(form->FileList.size(), 2);
    click();
    EXPECT_EQ(log(), "    a       200       40\n    b       150       40\n");
    EXPECT_EQ(host.messages, QStringList{kLastLine});
    form->ToolButton4Click();
    EXPECT_EQ(status(0), "   Image 1 of 2");
}

TEST_F(SeriesTest, SelectionOfThousandsOfFilesIsASeries) {
    QStringList many;
    for (int i = 0; i < 5000; ++i) many << "a.bmp";
    open(many);
    EXPECT_EQ(status(0), "   Image 1 of 5000");
    EXPECT_EQ(form->FileLabels.size(), 5000u);
}

TEST_F(SeriesTest, NoStepBeforeThePointerHasBeenOverThePicture) {
    open({"a.bmp", "b.bmp"});
    form->aEnterExecute();
    click();
    EXPECT_EQ(log(), QString());
    EXPECT_EQ(form->CurrentImage, 1);
}

TEST_F(SeriesTest, NoStepBeforeASeriesIsOpen) {
    point();
    form->aEnterExecute();
    EXPECT_EQ(log(), QString());
    EXPECT_TRUE(host.messages.isEmpty());
    // The first movement over the empty pane made the white working raster.
    ASSERT_TRUE(image1()->shown().hasPicture());
    EXPECT_EQ(image1()->shown().picture()->raster().width(), image1()->width());
    EXPECT_EQ(image1()->shown().picture()->raster().at(0, 0), qfip::Raster::kWhite);
}

TEST_F(SeriesTest, WindowsAreMeasuredFromThePictureNotItsOutlines) {
    write("u.bmp", greyPicture(100, 80, 200));
    control<QCheckBox>("CheckBox1")->click();
    control<QLineEdit>("Edit2")->setText(QString::number(kX + 5));
    control<QLineEdit>("Edit3")->setText(QString::number(kY + 5));
    form->SpeedButton2Click();  // background outline across the pointer window
    open({"u.bmp", "u.bmp"});
    point();
    form->SpeedButton2Click();  // and a second, stale one
    click();
    EXPECT_EQ(log(), "    u       200       200\n");
}

TEST_F(SeriesTest, OutlinesArePaintedByExclusiveOr) {
    open({"a.bmp"});
    point();
    const QImage shown = image1()->grab().toImage();
    ASSERT_EQ(shown.size(), QSize(100, 80));
    // Background outline (10, 10, 34, 34) on grey 40: dots where x + y is even.
    EXPECT_EQ(QColor(shown.pixel(10, 10)), QColor(215, 215, 215));
    EXPECT_EQ(QColor(shown.pixel(11, 10)), QColor(40, 40, 40));
    EXPECT_EQ(QColor(shown.pixel(33, 33)), QColor(215, 215, 215));
    EXPECT_EQ(QColor(shown.pixel(20, 20)), QColor(40, 40, 40));
    // Pointer outline (44, 28, 68, 52) on 200.
    EXPECT_EQ(QColor(shown.pixel(44, 28)), QColor(55, 55, 55));
    EXPECT_EQ(QColor(shown.pixel(45, 28)), QColor(200, 200, 200));
    point(kX + 1, kY);
    const QImage moved = image1()->grab().toImage();
    EXPECT_EQ(QColor(moved.pixel(44, 28)), QColor(200, 200, 200));  // old outline erased
    EXPECT_EQ(QColor(moved.pixel(45, 28)), QColor(200, 200, 200));
    EXPECT_EQ(QColor(moved.pixel(46, 28)), QColor(55, 55, 55));
}

TEST_F(SeriesTest, PaintingIsThePictureWithItsOutlinesBitForBit) {
    std::vector<Rgb> pixels(100 * 80);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = {uint8_t(i * 7), uint8_t(i * 13), uint8_t(i * 29)};
    write("n.bmp", bmp24(100, 80, pixels));
    control<QCheckBox>("CheckBox1")->click();
    control<QLineEdit>("Edit2")->setText("50");
    control<QLineEdit>("Edit3")->setText("35");
    open({"n.bmp"});
    point();
    form->SpeedButton2Click();  // a second background outline, across the pointer's
    ASSERT_EQ(image1()->shown().outlines().size(), 3u);
    std::vector<uint32_t> expected(100 * 80);
    image1()->shown().compose({0, 0, 100, 80}, expected.data(), 100);
    const auto compare = [&](const QImage& painted, const QRect& area) {
        int wrong = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) wrong += painted.pixel(x, y) != expected[size_t(y) * 100 + x];
        return wrong;
    };
    EXPECT_EQ(compare(image1()->grab().toImage(), QRect(0, 0, 100, 80)), 0);
    // A repaint of part of the pane: a band across both outlines.
    QImage part(100, 80, QImage::Format_RGB32);
    part.fill(0);
    const QRect band(30, 25, 45, 9);
    image1()->render(&part, band.topLeft(), QRegion(band));  // the band lands where it is
    EXPECT_EQ(compare(part, band), 0);
    EXPECT_EQ(part.pixel(0, 0), 0xFF000000u);  // nothing outside it
}

TEST_F(SeriesTest, SetBackgroundTwiceLeavesNoOutline) {
    open({"a.bmp"});
    ASSERT_EQ(image1()->shown().outlines().size(), 1u);
    form->SpeedButton2Click();
    EXPECT_TRUE(image1()->shown().outlines().empty());
    form->SpeedButton2Click();
    EXPECT_EQ(image1()->shown().outlines().size(), 1u);
}

TEST_F(SeriesTest, BackgroundSwitchFlipsTheTwoFields) {
    auto* x = control<QLineEdit>("Edit2");
    auto* y = control<QLineEdit>("Edit3");
    EXPECT_FALSE(x->isEnabled());
    form->CheckBox1Click();
    EXPECT_TRUE(x->isEnabled());
    EXPECT_TRUE(y->isEnabled());
    form->CheckBox1Click();
    EXPECT_FALSE(y->isEnabled());
}

TEST_F(SeriesTest, CentredBackgroundChangesTakeEffectAtTheNextStep) {
    write("u.bmp", greyPicture(100, 80, 40, kSquare, 200));
    control<QCheckBox>("CheckBox1")->click();
    open({"a.bmp", "b.bmp"});
    control<QLineEdit>("Edit2")->setText("56");
    control<QLineEdit>("Edit3")->setText("40");
    point();
    click();
    EXPECT_EQ(log(), "    a       200       200\n");
    EXPECT_EQ(form->BackgroundRect, (qfip::Rect{44, 28, 68, 52}));
}

TEST_F(SeriesTest, ToolbarAndOptionButtonsSetTheGridAlike) {
    control<QLineEdit>("Edit1")->setText("3");
    control<QToolButton>("ToolButton8")->click();
    EXPECT_EQ(form->HalfWidth, 3);
    control<QLineEdit>("Edit1")->setText("4");
    control<QToolButton>("SpeedButton1")->click();
    EXPECT_EQ(form->HalfWidth, 4);
    EXPECT_EQ(form->BackgroundRect, (qfip::Rect{10, 10, 18, 34}));
}

TEST_F(SeriesTest, FailuresOfClickedButtonsReachTheErrorBoxWithAFullStop) {
    write("bad.bmp", {'X', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    host.openAnswers.push_back(QStringList{"bad.bmp"});
    control<QToolButton>("ToolButton3")->click();
    control<QLineEdit>("Edit1")->setText("9z");
    control<QToolButton>("SpeedButton1")->click();
    EXPECT_EQ(host.errors, (QStringList{"Bitmap image is not valid.", "'9z' is not a valid integer value."}));
}

}  // namespace
