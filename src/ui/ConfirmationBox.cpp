#include "ui/ConfirmationBox.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "ui/OuterSize.h"

ConfirmationBox::ConfirmationBox(QWidget* parent, const QString& question)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("ConfirmationBox"));
    setWindowTitle(QStringLiteral("Confirm"));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("Icon"));
    const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this)
                        .pixmap(QSize(side, side), devicePixelRatioF()));

    // Lines break between words once they would pass half the screen's width; the label
    // takes the size of the text so laid out.
    auto* text = new QLabel(question, this);
    text->setObjectName(QStringLiteral("Question"));
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    // Selectable with the mouse as a message box's text is.
    text->setTextInteractionFlags(
        Qt::TextInteractionFlags(style()->styleHint(QStyle::SH_MessageBox_TextInteractionFlags, nullptr, this)));
    question_ = text;
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const int limit = screen ? screen->geometry().width() / 2 : 512;
    text->setFixedSize(
        text->fontMetrics().boundingRect(QRect(0, 0, limit, QWIDGETSIZE_MAX), Qt::TextWordWrap, question).size());

    // Buttons of our own, not a button box: a box orders them by the desktop's rules
    // (GNOME puts No first) and aligns them to one side.
    yes_ = new QPushButton(QStringLiteral("&Yes"), this);
    yes_->setObjectName(QStringLiteral("Yes"));
    no_ = new QPushButton(QStringLiteral("&No"), this);
    no_->setObjectName(QStringLiteral("No"));
    yes_->setDefault(true);
    connect(yes_, &QPushButton::clicked, this, &QDialog::accept);
    connect(no_, &QPushButton::clicked, this, &QDialog::reject);

    auto* message = new QHBoxLayout;
    message->addWidget(icon, 0, Qt::AlignTop);
    message->addWidget(text, 1, Qt::AlignVCenter);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(yes_);
    buttons->addWidget(no_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(message);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    yes_->setFocus();
    // Placed before the window system has the box, so that a window manager puts the frame
    // there and moves the client area into it, which tells the box its frame.
    adjustSize();
    centreByOuterSize(this);

    // Ctrl+C copies the question, or the part of it selected, wherever the focus is.
    auto* copy = new QAction(this);
    copy->setShortcuts(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WindowShortcut);
    connect(copy, &QAction::triggered, this, &ConfirmationBox::copyQuestion);
    addAction(copy);
}

void ConfirmationBox::copyQuestion() {
    const QString selected = question_->selectedText();
    QGuiApplication::clipboard()->setText(selected.isEmpty() ? question_->text() : selected);
}

bool ConfirmationBox::ask() { return exec() == QDialog::Accepted; }

// Y and N press their buttons without Alt, as in a message box.
void ConfirmationBox::keyPressEvent(QKeyEvent* event) {
    if (!(event->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier))) {
        for (QPushButton* button : {yes_, no_}) {
            const QKeySequence mnemonic = QKeySequence::mnemonic(button->text());
            if (!mnemonic.isEmpty() && mnemonic[0].key() == event->key()) {
                button->click();
                return;
            }
        }
    }
    QDialog::keyPressEvent(event);
}
