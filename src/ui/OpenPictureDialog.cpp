#include "ui/OpenPictureDialog.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

#include "ui/PictureFileDialog.h"

QStringList OpenPictureDialog::filters() {
    return {
        QStringLiteral("All (*.bmp;*.ico;*.emf;*.wmf)"),
        QStringLiteral("Bitmaps (*.bmp)"),
        QStringLiteral("Icons (*.ico)"),
        QStringLiteral("Enhanced Metafiles (*.emf)"),
        QStringLiteral("Metafiles (*.wmf)"),
    };
}

std::unique_ptr<PictureFileDialog> OpenPictureDialog::createDialog(QWidget* parent) const {
    auto dialog = std::make_unique<PictureFileDialog>(parent);
    // The folder shown first is the current one, which the last confirmed choice set.
    dialog->setDirectory(QDir::currentPath());
    dialog->setNameFilters(filters());
    dialog->selectKind(selectedFilter_.isEmpty() ? filters().first() : selectedFilter_);
    dialog->fileNameEdit()->setText(fileName_);
    return dialog;
}

std::optional<QStringList> OpenPictureDialog::finish(PictureFileDialog& dialog, int result) {
    if (result != QDialog::Accepted) return std::nullopt;
    const QStringList paths = dialog.chosenPaths();
    if (paths.isEmpty()) return std::nullopt;
    fileName_ = paths.first();
    selectedFilter_ = dialog.selectedNameFilter();
    // As the platform's open dialogs do, the chosen files' folder becomes the current one
    // (a typed name in a folder that doesn't exist leaves it as it is).
    QDir::setCurrent(QFileInfo(paths.first()).absolutePath());
    return paths;
}

std::optional<QStringList> OpenPictureDialog::run(QWidget* parent) {
    std::unique_ptr<PictureFileDialog> dialog = createDialog(parent);
    const int result = dialog->exec();
    return finish(*dialog, result);
}
