// Skipping an unreachable session bus must never hide one that can be reached: screen readers
// and input methods talk to the program through it.
#include "platform/session_bus.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace folivo {
namespace {

/// Sets an environment variable (or unsets it, for nullopt) until the end of the scope.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::optional<QByteArray>& value)
        : m_name(name)
        , m_old(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt)
    {
        set(value);
    }
    ~ScopedVariable() { set(m_old); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    void set(const std::optional<QByteArray>& value)
    {
        if (value)
            qputenv(m_name, *value);
        else
            qunsetenv(m_name);
    }
    const char* m_name;
    std::optional<QByteArray> m_old;
};

TEST(SessionBus, IsSkippedOnlyWhenNothingCouldReachOne)
{
    QTemporaryDir runtime;
    QTemporaryDir emptyPath;
    const ScopedVariable path("PATH", QFile::encodeName(emptyPath.path()));
    const ScopedVariable runtimeDir("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));

    {
        const ScopedVariable address("DBUS_SESSION_BUS_ADDRESS", QByteArray("unix:path=/x/bus"));
        skipUnreachableSessionBus();
        EXPECT_EQ(qgetenv("DBUS_SESSION_BUS_ADDRESS"), "unix:path=/x/bus");
    }
    QFile socket(runtime.filePath(QStringLiteral("bus")));
    ASSERT_TRUE(socket.open(QIODevice::WriteOnly));
    socket.close();
    {
        const ScopedVariable address("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
        skipUnreachableSessionBus();
        EXPECT_FALSE(qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"));
    }
    ASSERT_TRUE(socket.remove());
    if (QFileInfo(QStringLiteral("/usr/bin/dbus-launch")).isExecutable())
        GTEST_SKIP() << "dbus-launch is installed: a bus can always be started";
    {
        const ScopedVariable address("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
        skipUnreachableSessionBus();
        EXPECT_EQ(qgetenv("DBUS_SESSION_BUS_ADDRESS"), "disabled:");
    }
}

} // namespace
} // namespace folivo
