#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TAboutBox;
}

// The about box: names the program and its version. OK, Enter and the frame's close
// button close it; there is no cancel button, so Escape leaves it open.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* owner);
    ~TAboutBox() override;

    // Creates the box, shows it modally and destroys it when it closes.
    static void showModal(QWidget* owner);

    Ui::TAboutBox& form() { return *ui_; }

public slots:
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::TAboutBox> ui_;
};
