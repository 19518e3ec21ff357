// The program: the application with its title, the main window (which shows the about
// box while it is created), then the event loop until Exit or the window is closed.
#include <QByteArray>
#include <QtGlobal>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/PlatformChoice.h"
#include "common/Landlock.h"
#include "ui/Application.h"
#include "ui/PictureRendering.h"
#include "ui/QtDialogHost.h"
#include "ui/uMain.h"

namespace {

QtMessageHandler qtMessageHandler = nullptr;

// Qt ends the process with abort() when the application object can't be made, in
// practice when the window system can't be opened: no X server at DISPLAY, or one that
// drops the connection while the program connects (an X server resets, closing every
// half-made connection, when its last client leaves). Nothing is lost at that point and a
// core dump says no more than the message, so while the application object is made a
// fatal message is printed as Qt prints it, followed by a line saying the program could
// not start, and the process ends with status 1. Later fatal messages abort as usual.
void exitOnFatalStartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    qtMessageHandler(type, context, message);
    if (type != QtFatalMsg) return;
    const QByteArray display = qgetenv("DISPLAY");
    std::fprintf(stderr, "quendral: cannot start: the window system could not be opened (DISPLAY=%s).\n",
                 display.isEmpty() ? "not set" : display.constData());
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
}

}  // namespace

int main(int argc, char** argv) {
    // A save that passes the file size limit fails with "Stream write error" and keeps the
    // old file; by default the signal would end the program and the log with it.
    std::signal(SIGXFSZ, SIG_IGN);
    // Names the installed menu entry, so desktops show the windows under its name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quendral.Quendral"));

    // On Wayland the compositor places every window; the program places its own, so it
    // runs through XWayland where there is one (see PlatformChoice.h).
    const std::string platform = qfip::preferredPlatform([](const char* name) { return std::getenv(name); });
    if (!platform.empty()) qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(platform));

    qtMessageHandler = qInstallMessageHandler(exitOnFatalStartupMessage);
    Application app(argc, argv);
    qInstallMessageHandler(qtMessageHandler);

    // The first icon or metafile's drawing helper starts now, while the about box is up.
    startRenderHelper();
    // Said once per run, not per picture: every helper of this run lacks the same thing.
    if (qfip::landlock::abiVersion() == 0)
        std::fputs("quendral: this kernel has no Landlock, so the drawing helper is not confined to its "
                   "fonts: it can read any file you can read.\n", stderr);
    QtDialogHost dialogs;
    app.setDialogHost(&dialogs);
    TMainForm MainForm(dialogs);
    MainForm.show();
    return app.exec();
}
