#include "ui/uAbout.h"

#include <QCloseEvent>
#include <QKeyEvent>

#include "ui/FormLook.h"
#include "ui/OuterSize.h"
#include "ui_uAbout.h"

TAboutBox::TAboutBox(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      ui_(std::make_unique<Ui::TAboutBox>()) {
    setObjectName(QStringLiteral("AboutBox"));
    setFont(designFont());
    ui_->setupUi(this);
    setObjectName(QStringLiteral("AboutBox"));
    setModal(true);

    setBackground(this, QColor(0xD3, 0xD3, 0xC0));
    setBackground(ui_->Panel1, QColor(0xE4, 0xE6, 0xDD));
    const QColor heading(0x80, 0x80, 0xC0);
    for (QWidget* value : {ui_->Label1, ui_->Label2, ui_->Label8, ui_->Label4, ui_->Label5})
        setTextColour(value, heading);
    const QColor text = palette().color(QPalette::WindowText);
    for (QWidget* name : {ui_->ProductName, ui_->Version, ui_->Label7, ui_->Comments}) setTextColour(name, text);
    ui_->ProgramIcon->setPixmap(programPixmap());
    connect(ui_->OKButton, &QPushButton::clicked, this, &QDialog::accept);

    scaleForm(this, textHeightRatio(font()));
    setFixedSize(size());
    centreByOuterSize(this);
    ui_->OKButton->setFocus();
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::showModal(QWidget* owner) {
    TAboutBox box(owner);
    box.exec();
}

// Escape asks a dialog to reject; with no cancel button there is nothing to reject.
void TAboutBox::reject() {}

void TAboutBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// The frame's close button closes the box as OK does.
void TAboutBox::closeEvent(QCloseEvent* event) {
    event->accept();
    done(QDialog::Accepted);
}
