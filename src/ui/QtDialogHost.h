#pragma once

#include <memory>

#include "ui/DialogHost.h"
#include "ui/OpenPictureDialog.h"

class QFileDialog;

// The program's dialogs: Qt message boxes, the picture open dialog, the save dialog and
// the about box. The two file dialogs remember their last choice between showings.
class QtDialogHost : public DialogHost {
public:
    QtDialogHost();
    ~QtDialogHost() override;

    std::optional<QStringList> openPictures(QWidget* parent) override;
    std::optional<QString> chooseResultFile(QWidget* parent) override;
    bool confirm(QWidget* parent, const QString& question) override;
    void message(QWidget* parent, const QString& text) override;
    void error(QWidget* parent, const QString& text) override;
    void about(QWidget* parent) override;

    // The save dialog's filter labels in their order and the patterns each matches.
    static QStringList resultFilters();
    static QStringList resultPatterns(const QString& filter);

    // Builds the save dialog with the remembered name and filter (for tests and run).
    std::unique_ptr<QFileDialog> createSaveDialog(QWidget* parent) const;
    // Takes the save dialog's result: remembers a confirmed choice, returns the path.
    std::optional<QString> finishSaveDialog(QFileDialog& dialog, int result);

private:
    OpenPictureDialog openDialog_;
    QString resultFileName_;
    QString resultFilter_;
};
