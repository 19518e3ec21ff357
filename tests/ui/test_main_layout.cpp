// The main window's controls: names, captions, tooltips, geometry, colours and states;
// the about box; the Enter key.
#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QScopeGuard>
#include <QScreen>
#include <cmath>
#include <tuple>
#include <vector>

#include "support/MainFormTesting.h"
#include "ui/Application.h"
#include "ui/FormLook.h"
#include "ui/uAbout.h"

using namespace qfip::testing;

namespace {

class LayoutTest : public MainFormTest {
protected:
    int px(int designed) { return int(std::lround(designed * form->designRatio())); }
    QRect rect(int x, int y, int w, int h) { return QRect(px(x), px(y), px(w), px(h)); }
};

// Where the controls of both forms are described to be, in their parents, at the designed
// text height (w 0: size not checked), with their captions; each form is checked against
// its rows by expectPlaced.
enum class Form { Main, About };
struct Placed {
    Form form;
    const char* name;
    int x, y, w, h;
    const char* text;
};
constexpr Form M = Form::Main, A = Form::About;
const Placed kPlaces[] = {
    {M, "GroupBox1", 8, 7, 153, 158, " Options "},
    {M, "Label1", 8, 26, 0, 0, "Grid Width"},   {M, "Edit1", 66, 18, 49, 21, "12"},
    {M, "Label8", 8, 50, 0, 0, "Grid Height"},  {M, "Edit4", 66, 42, 49, 21, "12"},
    {M, "Label2", 8, 82, 0, 0, "Backgr. X"},    {M, "Edit2", 66, 74, 49, 21, "100"},
    {M, "Label6", 8, 108, 0, 0, "Backgr. Y"},   {M, "Edit3", 66, 98, 49, 21, "100"},
    {M, "Label7", 8, 132, 0, 0, "Total Intensity"},
    {M, "SpeedButton1", 120, 18, 23, 22, ""},   {M, "SpeedButton2", 120, 96, 23, 22, ""},
    {M, "CheckBox1", 120, 72, 17, 17, ""},      {M, "cbTotalInt", 102, 130, 17, 17, ""},
    {M, "Image1", 8, 8, 529, 425, ""},          {M, "Image2", 8, 8, 0, 0, ""},
    {M, "Label3", 8, 2, 0, 0, "File Number"},   {M, "Label4", 80, 2, 0, 0, "M.H."},
    {M, "Label5", 120, 2, 0, 0, "B.G."},        {M, "Bevel1", 70, 0, 0, 0, ""},
    {M, "Bevel2", 110, 0, 0, 0, ""},
    {A, "Panel1", 8, 8, 337, 175, ""},          {A, "ProgramIcon", 20, 16, 41, 41, ""},
    {A, "ProductName", 88, 16, 0, 0, "Program:"}, {A, "Version", 88, 40, 0, 0, "Version:"},
    {A, "Label7", 88, 64, 0, 0, "Last Update:"}, {A, "Comments", 8, 128, 0, 0, "Comments:"},
    {A, "Label1", 168, 16, 0, 0, "Quendral Fast Image Processor"}, {A, "Label2", 168, 40, 0, 0, "1.0"},
    {A, "Label8", 168, 64, 0, 0, "26.02.2001"}, {A, "Label4", 80, 128, 0, 0, "Program created for fast serial image"},
    {A, "Label5", 80, 144, 0, 0, "processing. "}, {A, "OKButton", 140, 194, 75, 25, "OK"},
};

void expectPlaced(const QWidget& root, Form form, double ratio) {
    const auto px = [ratio](int v) { return int(std::lround(v * ratio)); };
    for (const Placed& p : kPlaces) {
        if (p.form != form) continue;
        const QWidget* w = root.findChild<QWidget*>(QString::fromLatin1(p.name));
        ASSERT_NE(w, nullptr) << p.name;
        EXPECT_EQ(w->x(), px(p.x)) << p.name;
        if (p.y || p.w) {
            EXPECT_EQ(w->y(), px(p.y)) << p.name;
        }
        if (p.w) {
            EXPECT_EQ(w->size(), QSize(px(p.w), px(p.h))) << p.name;
        }
        QString text;
        if (auto* l = qobject_cast<const QLabel*>(w)) text = l->text();
        if (auto* e = qobject_cast<const QLineEdit*>(w)) text = e->text();
        if (auto* g = qobject_cast<const QGroupBox*>(w)) text = g->title();
        if (auto* b = qobject_cast<const QPushButton*>(w)) text = b->text();
        if (*p.text || qobject_cast<const QLineEdit*>(w) || qobject_cast<const QGroupBox*>(w)) {
            EXPECT_EQ(text, QString::fromLatin1(p.text)) << p.name;
        }
    }
}

TEST_F(LayoutTest, WindowCaptionSizeAndStart) {
    EXPECT_EQ(form->windowTitle(), "Quendral Fast Image Processor 1.0");
    EXPECT_EQ(applicationTitle(), "Quendral Fast Image Processor 1.02");
    EXPECT_EQ(form->size(), QSize(px(724), px(535)));
    EXPECT_FALSE(form->windowIcon().isNull());
    const QImage icon = programPixmap().toImage();
    EXPECT_EQ(icon.size(), QSize(32, 32));
    QSet<QRgb> colours;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) colours.insert(icon.pixel(x, y));
    EXPECT_LE(colours.size(), 16);
    EXPECT_NEAR(form->designRatio(), 1.0, 0.35);  // a sans-serif face near 13 pixels high
}

// The outer size holds the frame once the window system tells it (the offscreen platform
// frames windows thinly), and the frame is centred on the screen.
TEST_F(LayoutTest, OuterSizeIncludesTheFrame) {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QCoreApplication::processEvents();
    const QRect outer = form->frameGeometry();
    EXPECT_EQ(outer.size(), QSize(px(724), px(535)));
    EXPECT_LT(form->width(), outer.width());
    EXPECT_NEAR(outer.center().x(), form->screen()->geometry().center().x(), 1);
    EXPECT_NEAR(outer.center().y(), form->screen()->geometry().center().y(), 1);
}

TEST_F(LayoutTest, OptionControlsAtTheirPlaces) {
    expectPlaced(*form, Form::Main, form->designRatio());
    EXPECT_EQ(control("Label1")->parentWidget(), control("GroupBox1"));
    EXPECT_EQ(control("Label3")->parentWidget(), control("Panel7"));
    EXPECT_EQ(control("Image1")->parentWidget(), control("Panel10"));
    EXPECT_EQ(control("Image2")->parentWidget(), control("Panel4"));
}

TEST_F(LayoutTest, InitialStates) {
    EXPECT_TRUE(control("Edit1")->isEnabled());
    EXPECT_TRUE(control("Edit4")->isEnabled());
    EXPECT_FALSE(control("Edit2")->isEnabled());
    EXPECT_FALSE(control("Edit3")->isEnabled());
    EXPECT_FALSE(control<QCheckBox>("CheckBox1")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("cbTotalInt")->isChecked());
    EXPECT_EQ(control<QCheckBox>("CheckBox1")->text(), QString());
    EXPECT_FALSE(memo()->isReadOnly());
    EXPECT_EQ(memo()->frameShape(), QFrame::NoFrame);
    EXPECT_EQ(memo()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(memo()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(memo()->viewport()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(control("Image1")->cursor().shape(), Qt::CrossCursor);
    EXPECT_EQ(control("Image2")->cursor().shape(), Qt::CrossCursor);
    EXPECT_EQ(control<QLabel>("Panel9")->text(), "Natural Image");
    EXPECT_EQ(control<QLabel>("Panel9")->layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(control<QLabel>("Panel8")->text(), "Image Sample");
}

TEST_F(LayoutTest, ToolbarButtonsInOrderWithTheirTooltips) {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    auto* bar = control<QToolBar>("ToolBar1");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->height(), px(29));
    const std::pair<const char*, const char*> buttons[] = {
        {"ToolButton3", "Open Pictures"}, {"ToolButton4", "Refresh"}, {"ToolButton8", "Set Grid"},
        {"ToolButton5", "Save Results"},  {"ToolButton7", "Exit"},    {"ToolButton10", "About..."}};
    int lastX = -1;
    for (const auto& [name, tip] : buttons) {
        auto* b = control<QToolButton>(name);
        if (!b) continue;
        EXPECT_EQ(b->toolTip(), tip) << name;
        EXPECT_FALSE(b->icon().isNull()) << name;
        EXPECT_EQ(b->parentWidget(), bar) << name;
        EXPECT_GT(b->x(), lastX) << name;
        lastX = b->x();
    }
    EXPECT_EQ(control<QToolButton>("SpeedButton1")->toolTip(), "Set Grid");
    EXPECT_EQ(control<QToolButton>("SpeedButton2")->toolTip(), "Set Fone");
}

TEST_F(LayoutTest, StatusBarPanels) {
    // The first panel's width comes from the status bar's layout.
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    auto* bar = control<QStatusBar>("StatusBar1");
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(bar->isSizeGripEnabled());
    EXPECT_EQ(bar->height(), px(19));
    const int widths[] = {100, 50, 50, 50};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(form->statusPanel(i)->width(), px(widths[i])) << i;
        EXPECT_EQ(form->statusPanel(i)->parentWidget(), bar) << i;
    }
}

// A series of 10,000 names (the first eleven real pictures): the first panel grows to its
// whole text, the others keep their widths.
TEST_F(LayoutTest, FirstStatusPanelShowsALongCountWhole) {
    QStringList names;
    const QStringList real{"a.bmp", "b.bmp", "c.bmp"};
    for (int i = 0; i < 10000; ++i) names << (i < 11 ? real[i % 3] : QStringLiteral("f%1.bmp").arg(i, 7, 10, QChar('0')));
    open(names);
    point();
    for (int i = 0; i < 10; ++i) click();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QCoreApplication::processEvents();

    QLabel* first = form->statusPanel(0);
    const QString text = QStringLiteral("   Image 11 of 10000");
    EXPECT_EQ(first->text(), text);
    const QFontMetrics metrics(first->font());
    // A framed label indents its text by half an "x".
    EXPECT_GE(first->contentsRect().width(), metrics.horizontalAdvance(text) + metrics.horizontalAdvance(QChar('x')) / 2);
    EXPECT_GE(first->width(), first->sizeHint().width());
    EXPECT_GE(first->width(), px(100));
    for (int i = 1; i < 4; ++i) EXPECT_EQ(form->statusPanel(i)->width(), px(50)) << i;
}

TEST_F(LayoutTest, PanelsAndSplitter) {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_EQ(control("Panel2")->width(), px(172));
    EXPECT_EQ(control("Panel9")->height(), px(18));
    EXPECT_EQ(control("Panel8")->height(), px(18));
    EXPECT_EQ(control("Panel4")->height(), px(132));
    EXPECT_EQ(control("Panel5")->height(), px(174));
    EXPECT_EQ(control("Panel7")->height(), px(18));
    auto* splitter = control<QSplitter>("Splitter1");
    ASSERT_NE(splitter, nullptr);
    EXPECT_EQ(splitter->handleWidth(), px(2));
    EXPECT_FALSE(splitter->opaqueResize());
    EXPECT_FALSE(splitter->childrenCollapsible());
    EXPECT_EQ(splitter->widget(0), control("Panel1"));
    EXPECT_EQ(splitter->widget(1), control("Panel2"));
    EXPECT_EQ(control("Panel1")->minimumWidth(), px(30));
    EXPECT_EQ(control("Panel2")->minimumWidth(), px(30));
}

TEST_F(LayoutTest, Colours) {
    auto bg = [&](const char* name) { return control(name)->palette().color(QPalette::Window); };
    auto fg = [&](const char* name) { return control(name)->palette().color(QPalette::WindowText); };
    EXPECT_EQ(bg("ToolBar1"), QColor(0xD7, 0xD7, 0xD7));
    EXPECT_EQ(bg("StatusBar1"), QColor(0xD7, 0xD7, 0xD7));
    for (const char* heading : {"Panel9", "Panel8", "Panel7"}) {
        EXPECT_EQ(bg(heading), QColor(0xE4, 0xE6, 0xDD)) << heading;
        EXPECT_EQ(fg(heading), QColor(0x80, 0x80, 0xC0)) << heading;
    }
    EXPECT_EQ(bg("Panel5"), QColor(0xE4, 0xE6, 0xDD));
    EXPECT_EQ(fg("Label1"), QColor(Qt::black));
    EXPECT_EQ(bg("Panel4"), QColor(Qt::white));
    EXPECT_EQ(bg("Panel10"), QApplication::palette().color(QPalette::HighlightedText));
    EXPECT_EQ(control<QSplitter>("Splitter1")->handle(1)->palette().color(QPalette::Window), QColor(0xE4, 0xE6, 0xDD));
}

TEST_F(LayoutTest, KeyboardOrderAndFirstFocus) {
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(QApplication::focusWidget(), control("Edit1"));
    const char* order[] = {"Edit2", "Edit3", "CheckBox1", "cbTotalInt", "Edit4", "Memo1"};
    QWidget* at = control("Edit1");
    for (const char* next : order) {
        at = at->nextInFocusChain();
        while (at && at->focusPolicy() == Qt::NoFocus) at = at->nextInFocusChain();
        ASSERT_NE(at, nullptr);
        EXPECT_EQ(at->objectName(), next);
    }
}

TEST_F(LayoutTest, EnterActionBelongsToTheActionList) {
    ASSERT_NE(form->aEnter, nullptr);
    EXPECT_EQ(form->aEnter->objectName(), "aEnter");
    EXPECT_EQ(form->aEnter->shortcut(), QKeySequence(Qt::Key_Return));
    EXPECT_EQ(form->aEnter->property("category").toString(), "Image");
    EXPECT_EQ(form->ActionList1->objectName(), "ActionList1");
    EXPECT_TRUE(form->ActionList1->actions().contains(form->aEnter));
}

class EnterKeyTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        open({"a.bmp", "b.bmp", "c.bmp"});
        point();
    }
};

TEST_F(EnterKeyTest, EnterInAnOptionFieldSteps) {
    auto* edit = control<QLineEdit>("Edit1");
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(log(), "    a       200       40\n");
    EXPECT_EQ(edit->text(), "12");
}

TEST_F(EnterKeyTest, EnterInTheLogStepsAndInsertsNoLineBreak) {
    memo()->setFocus();
    QTest::keyClick(memo(), Qt::Key_Return);
    QTest::keyClick(memo(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(log(), "    a       200       40\n    b       150       40\n");
}

TEST_F(EnterKeyTest, ShiftControlAndAltEnterDoNotStep) {
    memo()->setFocus();
    QTest::keyClick(memo(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClick(control("Edit4"), Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(control("Edit4"), Qt::Key_Return, Qt::AltModifier);
    EXPECT_FALSE(log().contains("a       200"));
}

TEST_F(EnterKeyTest, HeldEnterRepeatsTheStep) {
    control("Edit1")->setFocus();
    for (bool repeat : {false, true, true}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), repeat);
        QApplication::sendEvent(control("Edit1"), &press);
    }
    EXPECT_EQ(log(), "    a       200       40\n    b       150       40\n    c       100       40\n");
}

TEST(AboutBox, LayoutAndColours) {
    TAboutBox box(nullptr);
    const double ratio = textHeightRatio(box.font());
    auto px = [&](int v) { return int(std::lround(v * ratio)); };
    EXPECT_EQ(box.windowTitle(), "Quendral Fast Image Processor 1.0");
    EXPECT_EQ(box.size(), QSize(px(353), px(230)));
    EXPECT_TRUE(box.windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(box.palette().color(QPalette::Window), QColor(0xD3, 0xD3, 0xC0));
    expectPlaced(box, Form::About, ratio);
    EXPECT_EQ(box.findChild<QWidget*>("Panel1")->palette().color(QPalette::Window), QColor(0xE4, 0xE6, 0xDD));
    for (const char* value : {"Label1", "Label2", "Label8", "Label4", "Label5"})
        EXPECT_EQ(box.findChild<QWidget*>(value)->palette().color(QPalette::WindowText), QColor(0x80, 0x80, 0xC0));
    EXPECT_TRUE(box.findChild<QPushButton*>("OKButton")->isDefault());
    EXPECT_TRUE(box.findChild<QLabel*>("ProgramIcon")->hasScaledContents());
}

TEST(AboutBox, EscapeLeavesItOpenEnterAndCloseButtonCloseIt) {
    {
        TAboutBox box(nullptr);
        box.show();
        QTest::keyClick(&box, Qt::Key_Escape);
        EXPECT_TRUE(box.isVisible());
        QTest::keyClick(&box, Qt::Key_Return);
        EXPECT_FALSE(box.isVisible());
        EXPECT_EQ(box.result(), QDialog::Accepted);
    }
    {
        TAboutBox box(nullptr);
        box.show();
        EXPECT_TRUE(box.close());
        EXPECT_EQ(box.result(), QDialog::Accepted);
    }
}

// The results heading's separators and the about box's bevels, read from their pixels,
// under a palette whose text, button-text, shadow and highlight colours all differ.
TEST(LinesAndBevels, PaintedInTheirColours) {
    const QPalette saved = QApplication::palette();
    QPalette palette = saved;
    const QColor text(0x20, 0x40, 0x60), buttonText(0x60, 0x20, 0x40), dark(0x80, 0x80, 0x80), light(Qt::white);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::ButtonText, buttonText);
    palette.setColor(QPalette::Dark, dark);
    palette.setColor(QPalette::Light, light);
    QApplication::setPalette(palette);
    const auto restore = qScopeGuard([&] { QApplication::setPalette(saved); });
    const QColor ground(0xE4, 0xE6, 0xDD);
    // Pixels of a control at (dx, dy) from its top-left corner, or its right or bottom edge
    // where negative.
    auto check = [](QWidget& window, const char* name, std::vector<std::tuple<int, int, QColor>> spots) {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        const QImage shot = window.grab().toImage();
        QWidget* control = window.findChild<QWidget*>(name);
        const QRect r(control->mapTo(&window, QPoint(0, 0)), control->size());
        for (const auto& [dx, dy, colour] : spots)
            EXPECT_EQ(QColor(shot.pixel(dx >= 0 ? r.left() + dx : r.right() + 1 + dx, dy >= 0 ? r.top() + dy : r.bottom() + 1 + dy)), colour)
                << name << " at " << dx << ", " << dy;
    };
    FakeDialogHost host;
    TMainForm form(host);
    // One-pixel lines in the window-text and button-text colours on the heading's ground.
    check(form, "Bevel1", {{0, 9, text}, {1, 9, ground}, {-2, 9, ground}});
    check(form, "Bevel2", {{0, 9, buttonText}, {1, 9, ground}, {-2, 9, ground}});
    // A lowered outer ring (shadow at the top and left), a raised inner one, then the ground.
    TAboutBox box(nullptr);
    check(box, "Panel1", {{0, 20, dark}, {1, 20, light}, {2, 20, ground}, {20, 0, dark}, {20, 1, light}, {20, 2, ground},
                          {-1, 20, light}, {-2, 20, dark}, {-3, 20, ground}, {20, -1, light}, {20, -2, dark}, {20, -3, ground}});
}

TEST(ErrorBox, FullStopRule) {
    const std::pair<QString, QString> cases[] = {
        {"Bitmap image is not valid", "Bitmap image is not valid."},
        {"Unknown picture file extension (.)", "Unknown picture file extension (.)"},
        {"Stream read error.", "Stream read error."},
        {"", ""},
        {"ends in a dash -", "ends in a dash -"},  // '-' is 45
        {"ends in a slash /", "ends in a slash /."},  // '/' is 47
        {QString::fromUtf8("Cannot open file caf\xc3\xa9"), QString::fromUtf8("Cannot open file caf\xc3\xa9.")},
    };
    for (const auto& [message, shown] : cases) EXPECT_EQ(Application::withFullStop(message), shown) << message.toStdString();
}

}  // namespace
