#include "platform/session_bus.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QtGlobal>

namespace folivo {

void skipUnreachableSessionBus()
{
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"))
        return;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus")))
        return;
    // The library runs it from where it was installed, which is on the path as well.
    if (QFileInfo(QStringLiteral("/usr/bin/dbus-launch")).isExecutable() ||
        !QStandardPaths::findExecutable(QStringLiteral("dbus-launch")).isEmpty())
        return;
    // An address of no known kind: every attempt to connect fails at once.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

} // namespace folivo
