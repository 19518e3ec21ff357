#include "ui/QtDialogHost.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>

#include "ui/FormLook.h"
#include "ui/ConfirmationBox.h"
#include "ui/PictureFileDialog.h"
#include "ui/uAbout.h"

namespace {

// A message box centred on the screen rather than on its parent.
class CentredMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        if (!event->spontaneous()) centreOnScreen(this);
    }
};

void showPlainBox(QWidget* parent, QMessageBox::Icon icon, const QString& text) {
    CentredMessageBox box(icon, applicationTitle(), text, QMessageBox::Ok, parent);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
}

}  // namespace

QtDialogHost::QtDialogHost() = default;
QtDialogHost::~QtDialogHost() = default;

std::optional<QStringList> QtDialogHost::openPictures(QWidget* parent) { return openDialog_.run(parent); }

QStringList QtDialogHost::resultFilters() {
    return {QStringLiteral("Data Files  *.dat"), QStringLiteral("Text Files *.txt"), QStringLiteral("All Files *.*")};
}

QStringList QtDialogHost::resultPatterns(const QString& filter) {
    // Qt hands labels back with runs of spaces collapsed.
    const QString label = filter.simplified();
    const QStringList labels = resultFilters();
    if (label == labels.at(0).simplified()) return {QStringLiteral("*.dat")};
    if (label == labels.at(1).simplified()) return {QStringLiteral("*.txt")};
    return {QStringLiteral("*")};
}

std::unique_ptr<QFileDialog> QtDialogHost::createSaveDialog(QWidget* parent) const {
    auto dialog = std::make_unique<QFileDialog>(parent);
    dialog->setObjectName(QStringLiteral("SaveDialog1"));
    // Qt's own dialog: it works without a desktop whose dialog could be used.
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(QStringLiteral("dat"));
    dialog->setSizeGripEnabled(true);
    dialog->setNameFilters(resultFilters());
    // Qt collapses the two spaces of the first label; the list shows the labels as written.
    auto* kinds = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    if (kinds) {
        const QStringList labels = resultFilters();
        for (int i = 0; i < kinds->count() && i < labels.size(); ++i) kinds->setItemText(i, labels.at(i));
    }
    dialog->selectNameFilter(resultFilter_.isEmpty() ? resultFilters().first() : resultFilter_);

    // Qt reads the patterns of a label without parentheses as every word of it, so the
    // list's own filter is set from the label's real patterns, now and on every choice.
    QFileDialog* raw = dialog.get();
    auto apply = [raw](const QString& label) {
        if (auto* model = raw->findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model")))
            model->setNameFilters(resultPatterns(label));
    };
    apply(dialog->selectedNameFilter());
    if (kinds) QObject::connect(kinds, &QComboBox::textActivated, raw, apply);

    if (!resultFileName_.isEmpty()) dialog->selectFile(resultFileName_);

    QWidget* anchor = parent ? parent->window() : nullptr;
    if (QScreen* screen = anchor ? anchor->screen() : QGuiApplication::primaryScreen())
        dialog->move(dialogPosition(screen->geometry(), dialog->size()));
    return dialog;
}

std::optional<QString> QtDialogHost::finishSaveDialog(QFileDialog& dialog, int result) {
    if (result != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
    resultFileName_ = files.first();
    resultFilter_ = dialog.selectedNameFilter();
    return resultFileName_;
}

std::optional<QString> QtDialogHost::chooseResultFile(QWidget* parent) {
    std::unique_ptr<QFileDialog> dialog = createSaveDialog(parent);
    const int result = dialog->exec();
    return finishSaveDialog(*dialog, result);
}

bool QtDialogHost::confirm(QWidget* parent, const QString& question) {
    ConfirmationBox box(parent, question);
    return box.ask();
}

void QtDialogHost::message(QWidget* parent, const QString& text) { showPlainBox(parent, QMessageBox::NoIcon, text); }

void QtDialogHost::error(QWidget* parent, const QString& text) { showPlainBox(parent, QMessageBox::Critical, text); }

void QtDialogHost::about(QWidget* parent) { TAboutBox::showModal(parent); }
