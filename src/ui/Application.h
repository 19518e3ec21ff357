#pragma once

#include <QApplication>
#include <QString>
#include <exception>

class DialogHost;
class QWidget;

// The application: its title and look (FormLook.h), and the top-level handler that shows
// any failure no handler caught in the error box and keeps the program running.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);

    // The dialogs used for failures caught at the top level (not owned).
    void setDialogHost(DialogHost* host) { host_ = host; }

    bool notify(QObject* receiver, QEvent* event) override;

    // The error box's text: a full stop is appended when the last character's code is
    // above that of '.', so "... (x)" stays as it is and "... value" gains one.
    static QString withFullStop(const QString& message);

    // Shows a failure in the error box of `host`.
    static void reportFailure(DialogHost& host, QWidget* parent, const std::exception& failure);
    static void reportFailure(DialogHost& host, QWidget* parent, const QString& message);

private:
    DialogHost* host_ = nullptr;
};
