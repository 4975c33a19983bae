#include "app/command_line.h"
#include "app/main_window.h"
#include "platform/child_window_style.h"
#include "platform/install_folder.h"
#include "platform/screen.h"
#include "platform/session_bus.h"
#include "settings/reading_options.h"
#include "store/profile_file.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    // --help and --version print and end before Qt is started: no window, and no display
    // needed for them.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const folivo::CommandLineRequest request = folivo::readCommandLine(arguments);
    if (request.kind != folivo::CommandLineRequest::Kind::Open) {
        const QString text = request.kind == folivo::CommandLineRequest::Kind::Help
                                 ? folivo::usageText()
                                 : folivo::versionText();
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    // Archive member names are converted through the C library's locale: without a UTF-8
    // character type (a bare environment has none) every conversion fails.
    if (!std::getenv("LC_ALL") && !std::getenv("LC_CTYPE"))
        setenv("LC_CTYPE", "C.UTF-8", 1);

    folivo::skipUnreachableSessionBus();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Folivo"));
    folivo::useFramelessChildWindowStyle();
    folivo::substituteFixedFont();
    folivo::ensureInstallFolder();
    folivo::Profile::removeLeftovers(folivo::settingsFilePath());
    // Only where there are options: with every option off, nothing is ever written for them,
    // not even a lock file.
    if (QFileInfo::exists(folivo::ReadingOptions::optionsFilePath()))
        folivo::Profile::removeLeftovers(folivo::ReadingOptions::optionsFilePath());
    // Before anything is read ahead: the options decide which files are pages and books.
    folivo::ReadingOptions::load();

    // Qt has taken its own options (-platform, -style, ...) out of the arguments by now.
    const QString line = folivo::readCommandLine(QCoreApplication::arguments().mid(1)).path;
    // The first page is decoded on another core while the window is built.
    folivo::MDIForm_Main window(folivo::MDIForm_Main::startReadingAhead(line));
    window.MDIForm_Load(line);
    return app.exec();
}
