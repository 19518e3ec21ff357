#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

// Every dialog, question and message box of the main window goes through this interface,
// so tests answer them without a person. The program's own implementation uses Qt's
// dialogs (makeQtDialogHost).
class DialogHost {
public:
    virtual ~DialogHost() = default;

    // The picture open dialog: the chosen paths in the dialog's order, nullopt on cancel.
    virtual std::optional<QStringList> openPictures(QWidget* parent) = 0;
    // The save dialog: the chosen result file, nullopt on cancel.
    virtual std::optional<QString> chooseResultFile(QWidget* parent) = 0;
    // A confirmation box ("Confirm", question icon, Yes/No); true only for Yes.
    virtual bool confirm(QWidget* parent, const QString& question) = 0;
    // A plain message box (application title, no icon, OK).
    virtual void message(QWidget* parent, const QString& text) = 0;
    // The error box (application title, error icon, OK); `text` already has its full stop.
    virtual void error(QWidget* parent, const QString& text) = 0;
    // The about box, modal.
    virtual void about(QWidget* parent) = 0;
};
