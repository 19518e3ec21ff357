#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// A question with the answers Yes and No: caption "Confirm", the question-mark icon, the
// text wrapped at half the screen's width, "&Yes" then "&No" in one centred row whatever
// the desktop's own button order, Yes the default button with the focus. Y and N press
// their buttons, Enter the default, Escape and the frame's close button answer No. The
// box opens centred on the screen. The question can be selected with the mouse; Ctrl+C
// copies the selection, or the whole question when nothing is selected.
class ConfirmationBox : public QDialog {
    Q_OBJECT
public:
    ConfirmationBox(QWidget* parent, const QString& question);

    QPushButton* yesButton() const { return yes_; }
    QPushButton* noButton() const { return no_; }

    // Shows the box modally; true only when Yes was pressed.
    bool ask();

    // Puts the selected part of the question, or the whole question, on the clipboard.
    void copyQuestion();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* question_;
    QPushButton* yes_;
    QPushButton* no_;
};
