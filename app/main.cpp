#include "app/main_window.h"
#include "platform/install_folder.h"
#include "platform/screen.h"

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv)
{
    // Archive member names are converted through the C library's locale: without a UTF-8
    // character type (a bare environment has none) every conversion fails.
    if (!std::getenv("LC_ALL") && !std::getenv("LC_CTYPE"))
        setenv("LC_CTYPE", "C.UTF-8", 1);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Folivo"));
    folivo::substituteFixedFont();
    folivo::ensureInstallFolder();

    folivo::MDIForm_Main window;
    window.MDIForm_Load(folivo::commandLine());
    return app.exec();
}
