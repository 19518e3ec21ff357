#include "ui/Application.h"

#include <QWidget>

#include "ui/DialogHost.h"
#include "ui/FormLook.h"

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(applicationTitle());
    setWindowIcon(programIcon());
    setFont(designFont());
}

QString Application::withFullStop(const QString& message) {
    if (message.isEmpty()) return message;
    // UTF-16 code units: anything beyond ASCII is above 46 as well.
    return message.back().unicode() > u'.' ? message + u'.' : message;
}

void Application::reportFailure(DialogHost& host, QWidget* parent, const QString& message) {
    host.error(parent, withFullStop(message));
}

void Application::reportFailure(DialogHost& host, QWidget* parent, const std::exception& failure) {
    reportFailure(host, parent, QString::fromUtf8(failure.what()));
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& failure) {
        if (host_) reportFailure(*host_, activeWindow(), failure);
    }
    return false;
}
