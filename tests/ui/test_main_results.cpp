// Saving the results log, Exit, closing the window, and the log's append rule.
#include <QFile>
#include <QToolButton>
#include <vector>

#include "support/MainFormTesting.h"

using namespace qfip::testing;

namespace {

const QString kSaveQuestion = QStringLiteral("Do you want to save the result file?");
const QString kExitQuestion = QStringLiteral("Do you want to exit and save your result file?");

class ResultsTest : public MainFormTest {
protected:
    void measureTwo() {
        open({"a.bmp", "b.bmp", "c.bmp"});
        point();
        click();
        click();
    }
    QByteArray bytesOf(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    QString resultPath() { return QDir(folder.path()).filePath("out.dat"); }
};

TEST_F(ResultsTest, SaveWritesTheLogWithCrlfLineEnds) {
    measureTwo();
    host.confirmAnswers = {true};
    host.saveAnswers.push_back(resultPath());
    form->ToolButton5Click();
    EXPECT_EQ(host.questions, QStringList{kSaveQuestion});
    EXPECT_EQ(bytesOf(resultPath()), QByteArray("    a       200       40\r\n    b       150       40\r\n"));
}

TEST_F(ResultsTest, SaveReplacesAnExistingFileWithoutAQuestion) {
    write("out.dat", {'o', 'l', 'd', ' ', 't', 'e', 'x', 't'});
    measureTwo();
    host.confirmAnswers = {true};
    host.saveAnswers.push_back(resultPath());
    form->ToolButton5Click();
    EXPECT_EQ(host.questions.size(), 1);
    EXPECT_EQ(bytesOf(resultPath()), QByteArray("    a       200       40\r\n    b       150       40\r\n"));
}

TEST_F(ResultsTest, SavingAnEmptyLogCreatesAnEmptyFile) {
    host.confirmAnswers = {true};
    host.saveAnswers.push_back(resultPath());
    form->ToolButton5Click();
    EXPECT_EQ(bytesOf(resultPath()), QByteArray());
}

TEST_F(ResultsTest, NoToTheSaveQuestionChangesNothing) {
    measureTwo();
    host.confirmAnswers = {false};
    form->ToolButton5Click();
    EXPECT_EQ(host.saveCount, 0);
    EXPECT_FALSE(QFile::exists(resultPath()));
    EXPECT_EQ(terminations, 0);
}

TEST_F(ResultsTest, CancelledSaveDialogWritesNothing) {
    measureTwo();
    host.confirmAnswers = {true};
    form->ToolButton5Click();
    EXPECT_EQ(host.saveCount, 1);
    EXPECT_FALSE(QFile::exists(resultPath()));
}

TEST_F(ResultsTest, EditedLogIsSavedAsItStands) {
    memo()->setPlainText("note");  // the user's own text without a final line break
    open({"a.bmp"});
    point();
    click();
    EXPECT_EQ(log(), "note\n    a       200       40");
    host.confirmAnswers = {true};
    host.saveAnswers.push_back(resultPath());
    form->ToolButton5Click();
    EXPECT_EQ(bytesOf(resultPath()), QByteArray("note\r\n    a       200       40"));
}

TEST_F(ResultsTest, FileThatCannotBeCreatedFailsAndTheLogStays) {
    measureTwo();
    const QString path = QDir(folder.path()).filePath("no/such/folder/out.dat");
    host.confirmAnswers = {true};
    host.saveAnswers.push_back(path);
    EXPECT_EQ(failureOf([&] { form->ToolButton5Click(); }), "Cannot create file " + path.toStdString());
    EXPECT_EQ(log(), "    a       200       40\n    b       150       40\n");
}

TEST_F(ResultsTest, ExitAnsweredNoEndsWithoutASaveDialog) {
    measureTwo();
    host.confirmAnswers = {false};
    control<QToolButton>("ToolButton7")->click();
    EXPECT_EQ(host.questions, QStringList{kExitQuestion});
    EXPECT_EQ(host.saveCount, 0);
    EXPECT_EQ(terminations, 1);
}

TEST_F(ResultsTest, ExitAnsweredYesSavesThenEnds) {
    measureTwo();
    host.confirmAnswers = {true};
    host.saveAnswers.push_back(resultPath());
    form->ToolButton7Click();
    EXPECT_EQ(bytesOf(resultPath()), QByteArray("    a       200       40\r\n    b       150       40\r\n"));
    EXPECT_EQ(terminations, 1);
}

TEST_F(ResultsTest, ExitWithCancelledSaveDialogEndsWithoutWriting) {
    measureTwo();
    host.confirmAnswers = {true};
    form->ToolButton7Click();
    EXPECT_FALSE(QFile::exists(resultPath()));
    EXPECT_EQ(terminations, 1);
}

TEST_F(ResultsTest, ExitWhoseSaveFailsKeepsTheProgramRunning) {
    measureTwo();
    host.confirmAnswers = {true};
    host.saveAnswers.push_back(QDir(folder.path()).filePath("no/such/out.dat"));
    control<QToolButton>("ToolButton7")->click();
    ASSERT_EQ(host.errors.size(), 1);
    EXPECT_TRUE(host.errors.first().startsWith("Cannot create file "));
    EXPECT_TRUE(host.errors.first().endsWith("out.dat."));
    EXPECT_EQ(terminations, 0);
}

TEST_F(ResultsTest, ClosingWithUnsavedResultsAsksTheExitQuestion) {
    measureTwo();
    host.confirmAnswers = {true};
    host.saveAnswers.push_back(resultPath());
    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_EQ(host.questions, QStringList{kExitQuestion});
    EXPECT_EQ(bytesOf(resultPath()), QByteArray("    a       200       40\r\n    b       150       40\r\n"));
}

TEST_F(ResultsTest, ClosingAnsweredNoDiscardsTheResults) {
    measureTwo();
    host.confirmAnswers = {false};
    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_EQ(host.saveCount, 0);
}

TEST_F(ResultsTest, ClosingWhoseSaveFailsKeepsTheWindowOpen) {
    measureTwo();
    host.confirmAnswers = {true};
    host.saveAnswers.push_back(QDir(folder.path()).filePath("no/such/out.dat"));
    form->show();
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(host.errors.size(), 1);
}

TEST_F(ResultsTest, ClosingAfterASaveOrWithAnEmptyLogAsksNothing) {
    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(host.questions.isEmpty());

    measureTwo();
    host.confirmAnswers = {true};
    host.saveAnswers.push_back(resultPath());
    form->ToolButton5Click();
    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_EQ(host.questions, QStringList{kSaveQuestion});
}

// ---- what the user types into the log -----------------------------------------------------

// What happens to the log, in order: a measurement step, or keys the user types into it.
enum class Act { Step, ShiftEnter, Backspace, NoBreakSpace, CursorAfterFirstLabel, Comment, Undo, Redo, ShiftRedo };

struct TypedLogCase {
    const char* name;
    std::vector<Act> acts;
    QByteArray file;  // the saved file's exact bytes
};

void PrintTo(const TypedLogCase& c, std::ostream* out) { *out << c.name; }

class TypedLog : public ResultsTest, public ::testing::WithParamInterface<TypedLogCase> {
protected:
    void act(Act a) {
        QPlainTextEdit* log = memo();
        switch (a) {
        case Act::Step: click(); break;
        case Act::ShiftEnter: QTest::keyClick(log, Qt::Key_Return, Qt::ShiftModifier); break;
        case Act::Backspace: QTest::keyClick(log, Qt::Key_Backspace); break;
        case Act::NoBreakSpace:
            QTest::sendKeyEvent(QTest::Click, log, Qt::Key_nobreakspace, QString(QChar(0x00A0)), Qt::NoModifier);
            break;
        case Act::CursorAfterFirstLabel:
            QTest::keyClick(log, Qt::Key_Home, Qt::ControlModifier);
            for (int i = 0; i < 5; ++i) QTest::keyClick(log, Qt::Key_Right);
            break;
        case Act::Comment: QTest::keyClicks(log, "ok"); break;
        case Act::Undo: QTest::keyClick(log, Qt::Key_Z, Qt::ControlModifier); break;
        case Act::Redo: QTest::keyClick(log, Qt::Key_Y, Qt::ControlModifier); break;
        case Act::ShiftRedo: QTest::keyClick(log, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); break;
        }
    }
};

TEST_P(TypedLog, StepsAndSaveKeepWhatTheUserSees) {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    memo()->setFocus();
    open({"a.bmp", "b.bmp", "c.bmp"});
    point();
    for (Act a : GetParam().acts) act(a);
    host.confirmAnswers = {true};
    host.saveAnswers.push_back(resultPath());
    form->ToolButton5Click();
    EXPECT_EQ(bytesOf(resultPath()), GetParam().file);
}

#define LINE_A "    a       200       40"
#define LINE_B "    b       150       40"

INSTANTIATE_TEST_SUITE_P(
    Table, TypedLog,
    ::testing::Values(
        TypedLogCase{"ShiftEnterInAnEmptyLog", {Act::ShiftEnter, Act::Step}, "\r\n" LINE_A "\r\n"},
        TypedLogCase{"ShiftEnterAtTheEnd", {Act::Step, Act::ShiftEnter, Act::Step}, LINE_A "\r\n\r\n" LINE_B "\r\n"},
        TypedLogCase{"ShiftEnterTwice",
                     {Act::Step, Act::ShiftEnter, Act::ShiftEnter, Act::Step},
                     LINE_A "\r\n\r\n\r\n" LINE_B "\r\n"},
        TypedLogCase{"ShiftEnterInTheMiddle",
                     {Act::Step, Act::CursorAfterFirstLabel, Act::ShiftEnter, Act::Step},
                     "    a\r\n       200       40\r\n" LINE_B "\r\n"},
        TypedLogCase{"NonBreakingSpace", {Act::Step, Act::NoBreakSpace, Act::Step}, LINE_A "\r\n\xC2\xA0\r\n" LINE_B},
        TypedLogCase{"FinalBreakDeleted", {Act::Step, Act::Backspace, Act::Step}, LINE_A "\r\n" LINE_B},
        TypedLogCase{"FinalBreakDeletedThenShiftEnter",
                     {Act::Step, Act::Backspace, Act::ShiftEnter, Act::Step},
                     LINE_A "\r\n" LINE_B "\r\n"},
        // A result line is never undone, redone or repeated: undo reaches back to the last
        // line the program appended, and that append leaves nothing to redo either.
        TypedLogCase{"UndoStopsAtTheLastResult",
                     {Act::Step, Act::Comment, Act::Undo, Act::Step, Act::Undo, Act::Undo, Act::Undo},
                     LINE_A "\r\n" LINE_B "\r\n"},
        TypedLogCase{"UndoAndRedoKeepEveryResultOnce",
                     {Act::Step, Act::Comment, Act::Undo, Act::Undo, Act::Undo, Act::Undo, Act::Undo, Act::ShiftRedo,
                      Act::Redo, Act::Redo, Act::Redo, Act::Redo},
                     LINE_A "\r\nok"},
        TypedLogCase{"UndoneCommentIsNotRedoneAfterAResult",
                     {Act::Step, Act::Comment, Act::Undo, Act::Step, Act::Redo, Act::ShiftRedo},
                     LINE_A "\r\n" LINE_B "\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ResultsTest, OpenAndRestartKeepEarlierLines) {
    measureTwo();
    open({"c.bmp"});
    form->ToolButton4Click();
    click();
    EXPECT_EQ(log(), "    a       200       40\n    b       150       40\n    c       100       40\n");
}

}  // namespace
