// The program: the application with its title, the main window (which shows the about
// box while it is created), then the event loop until Exit or the window is closed.
#include "ui/Application.h"
#include "ui/QtDialogHost.h"
#include "ui/uMain.h"

int main(int argc, char** argv) {
    Application app(argc, argv);
    QtDialogHost dialogs;
    app.setDialogHost(&dialogs);
    TMainForm MainForm(dialogs);
    MainForm.show();
    return app.exec();
}
