#include <QApplication>
#include <csignal>

#include "app/orvixapp.h"
#include "app/qt_ui.h"
#include "platform/ui/ui.h"

int main(int argc, char** argv)
{
    // Over a file-size limit a write then fails (EFBIG) and the save says so, keeping the old
    // file, instead of the signal ending the program.
    signal(SIGXFSZ, SIG_IGN);
    QApplication qtApp(argc, argv);
    orvix::CQtUI ui;
    orvix::SetUI(&ui);
    int code;
    {
        orvix::COrvixApp app;
        if (!app.InitInstance(QApplication::arguments()))
            code = app.IsEmbedded() ? 0 : (app.ExitInstance(), 1);
        else
            code = app.Run();
    }
    orvix::SetUI(nullptr);
    return code;
}
