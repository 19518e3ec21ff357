#pragma once

// Shared pieces of the main window's tests: pictures with known grey values written into
// a temporary folder that is the current folder, and the window built on a fake host.
#include <QDir>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <fstream>
#include <memory>
#include <string>

#include "support/BmpWriter.h"
#include "support/FakeDialogHost.h"
#include "ui/uMain.h"

// Readable QStrings in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace qfip::testing {

// A grey picture: `ground` everywhere, `value` in [left, right) x [top, bottom).
inline std::vector<uint8_t> greyPicture(int width, int height, uint8_t ground, Rect square = {}, uint8_t value = 0) {
    std::vector<Rgb> pixels(size_t(width) * size_t(height), Rgb{ground, ground, ground});
    for (int y = square.Top; y < square.Bottom; ++y)
        for (int x = square.Left; x < square.Right; ++x) pixels[size_t(y) * size_t(width) + size_t(x)] = {value, value, value};
    return bmp24(width, height, pixels);
}

// The smallest icon Qt's reader takes: one 1 x 1 32-bit image.
inline std::vector<uint8_t> tinyIcon() {
    std::vector<uint8_t> out;
    putU16(out, 0);
    putU16(out, 1);   // type: icon
    putU16(out, 1);   // one image
    out.insert(out.end(), {1, 1, 0, 0});
    putU16(out, 1);
    putU16(out, 32);
    putU32(out, 40 + 4 + 4);  // header, one pixel, one mask row
    putU32(out, 22);
    putU32(out, 40);
    putU32(out, 1);
    putU32(out, 2);  // height counts the mask too
    putU16(out, 1);
    putU16(out, 32);
    for (int i = 0; i < 6; ++i) putU32(out, 0);
    out.insert(out.end(), {0x10, 0x20, 0x30, 0xFF});
    putU32(out, 0);
    return out;
}

class MainFormTest : public ::testing::Test {
protected:
    // The square of value 200/150/100 pictures and where the pointer finds it.
    static constexpr Rect kSquare{36, 20, 76, 60};
    static constexpr int kX = 56, kY = 40;

    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        previousFolder = QDir::currentPath();
        QDir::setCurrent(folder.path());
        write("a.bmp", greyPicture(100, 80, 40, kSquare, 200));
        write("b.bmp", greyPicture(100, 80, 40, kSquare, 150));
        write("c.bmp", greyPicture(100, 80, 40, kSquare, 100));
        form = std::make_unique<TMainForm>(host);
        form->setTerminator([this] { ++terminations; });
    }
    void TearDown() override {
        form.reset();
        QDir::setCurrent(previousFolder);
    }

    void write(const QString& name, const std::vector<uint8_t>& bytes) {
        ASSERT_TRUE(writeFile(QDir(folder.path()).filePath(name).toStdString(), bytes));
    }
    static bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return bool(out);
    }

    // A control of the window by its name; fails the test when it is missing.
    template <class T = QWidget>
    T* control(const char* name) {
        T* found = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QPlainTextEdit* memo() { return control<QPlainTextEdit>("Memo1"); }
    QString log() { return memo()->toPlainText(); }
    void open(const QStringList& paths) {
        host.openAnswers.push_back(paths);
        form->ToolButton3Click();
    }
    void point(int x = kX, int y = kY) { form->Image1MouseMove({}, x, y); }
    void click() { form->Image1MouseDown(Qt::LeftButton, {}, kX, kY); }

    QTemporaryDir folder;
    QString previousFolder;
    FakeDialogHost host;
    std::unique_ptr<TMainForm> form;
    int terminations = 0;
};

// The exact message of the failure a call throws, or "" when it throws none.
template <class F>
std::string failureOf(F&& call) {
    try {
        call();
    } catch (const std::exception& failure) {
        return failure.what();
    }
    return {};
}

}  // namespace qfip::testing
