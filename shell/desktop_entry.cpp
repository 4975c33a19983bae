#include "shell/desktop_entry.h"

#include "platform/path_separator.h"
#include "store/atomic_file.h"
#include "store/key_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace folivo {
namespace {

const QString kEntryFileName = QStringLiteral("folivo-open.desktop");
const QByteArray kMimeTypes = "inode/directory;application/zip;application/x-lzh-compressed;";

/// Escapes for a value of the entry file's string type, which cannot hold a raw line break.
QByteArray stringValue(const QString& text)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    return out;
}

/// One quoted argument of the Exec key: inside the quotes '"', '`', '$' and '\' are escaped
/// and '%' is doubled so that no part of a path is taken for a field code.
QString execArgument(const QString& argument)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            out += u'\\';
        else if (c == u'%')
            out += u'%';
        out += c;
    }
    return out + u'"';
}

int failureCode(const QString& folder)
{
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable() ? KeyResult::WriteFault : KeyResult::AccessDenied;
}

/// File managers find handlers for a MIME type through the folder's cache; keep it in step
/// when the tool is there. Without it the entry still works where folders are scanned.
void refreshMimeCache(const QString& folder)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (tool.isEmpty())
        return;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(tool, {QStringLiteral("-q"), folder});
    if (process.waitForStarted())
        process.waitForFinished(10000);
}

} // namespace

QString desktopEntryFolder()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(joinPath(data, QStringLiteral("applications")));
}

QString desktopEntryPath()
{
    return joinPath(desktopEntryFolder(), kEntryFileName);
}

QByteArray desktopEntryText(const QString& verbName, const QString& programPath)
{
    QByteArray text = "[Desktop Entry]\n"
                      "Type=Application\n";
    text += "Name=" + stringValue(verbName) + '\n';
    text += "Exec=" + stringValue(execArgument(programPath) + QStringLiteral(" %f")) + '\n';
    text += "MimeType=" + kMimeTypes + '\n';
    // Only offered for the files it opens, not as a program of its own in the menus.
    text += "NoDisplay=true\n"
            "Terminal=false\n";
    return text;
}

int installDesktopEntry(const QString& verbName, const QString& programPath)
{
    const QString folder = desktopEntryFolder();
    if (!QDir().mkpath(folder))
        return KeyResult::AccessDenied;
    if (replaceFileAtomically(QFile::encodeName(desktopEntryPath()),
                              desktopEntryText(verbName, programPath)) != 0)
        return failureCode(folder);
    refreshMimeCache(folder);
    return KeyResult::Success;
}

int removeDesktopEntry()
{
    const QString path = desktopEntryPath();
    if (!QFileInfo::exists(path))
        return KeyResult::Success;
    if (!QFile::remove(path))
        return failureCode(desktopEntryFolder());
    refreshMimeCache(desktopEntryFolder());
    return KeyResult::Success;
}

} // namespace folivo
