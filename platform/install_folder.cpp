#include "platform/install_folder.h"

#include "platform/path_separator.h"

#include <QDir>

namespace folivo {

QString installFolder()
{
    const QString home = qEnvironmentVariable("FOLIVO_HOME");
    if (!home.isEmpty())
        return QDir::cleanPath(home);
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(joinPath(data, QStringLiteral("folivo")));
}

bool ensureInstallFolder()
{
    const QString folder = installFolder();
    if (!qEnvironmentVariableIsEmpty("FOLIVO_HOME"))
        return QDir(folder).exists();
    return QDir().mkpath(folder);
}

bool installFolderIsFolivos()
{
    return qEnvironmentVariableIsEmpty("FOLIVO_HOME");
}

QString settingsFilePath()
{
    return joinPath(installFolder(), QStringLiteral("Folivo.ini"));
}

QString tmpFolderPath()
{
    return joinPath(installFolder(), QStringLiteral("tmp"));
}

} // namespace folivo
