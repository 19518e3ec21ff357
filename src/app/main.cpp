// The program: the application with its title, the main window (which shows the about
// box while it is created), then the event loop until Exit or the window is closed.
#include "ui/Application.h"
#include "ui/QtDialogHost.h"
#include "ui/uMain.h"

#include <csignal>

int main(int argc, char** argv) {
    // A save that passes the file size limit fails with "Stream write error" and keeps the
    // old file; by default the signal would end the program and the log with it.
    std::signal(SIGXFSZ, SIG_IGN);
    Application app(argc, argv);
    QtDialogHost dialogs;
    app.setDialogHost(&dialogs);
    TMainForm MainForm(dialogs);
    MainForm.show();
    return app.exec();
}
