// Two programs sharing one settings file: real processes (forked children, each with its own
// descriptors and lock), writing at the same time while a third reads.
#include "fakes/list_combo_box.h"
#include "fakes/recording_ui.h"
#include "platform/install_folder.h"
#include "settings/ini_file.h"
#include "store/profile_file.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>

#include <array>
#include <functional>

#include <sys/wait.h>
#include <unistd.h>

namespace folivo {
namespace {

using namespace Mod_Varnox;

constexpr int kWritesPerProcess = 40;

/// A forked child that ends with body's result.
class Child {
public:
    explicit Child(const std::function<int()>& body)
        : m_pid(::fork())
    {
        if (m_pid == 0) {
            int result = 255;
            try {
                result = body();
            } catch (...) {
                result = 254;
            }
            ::_exit(result);
        }
    }

    bool running()
    {
        if (m_pid <= 0 || m_ended)
            return false;
        m_ended = ::waitpid(m_pid, &m_status, WNOHANG) == m_pid;
        return !m_ended;
    }
    /// Waits for the end; the exit code, or -1 when the child did not exit normally.
    int exitCode()
    {
        if (m_pid <= 0)
            return -1;
        if (!m_ended)
            m_ended = ::waitpid(m_pid, &m_status, 0) == m_pid;
        return m_ended && WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
    }

private:
    pid_t m_pid;
    bool m_ended = false;
    int m_status = 0;
};

class SettingsProcesses : public ::testing::Test {
protected:
    static QString file() { return settingsFilePath(); }
    static QString read(const QString& key)
    {
        QString value;
        Ini_Read(kSectionFolders, key, file(), value);
        return value;
    }
    // Every line of the file is a section header or key=value: a reader never meets a file
    // that another process has half written.
    static bool wellFormed()
    {
        QFile in(file());
        if (!in.open(QIODevice::ReadOnly))
            return false;
        const QList<QByteArray> lines = in.readAll().split('\n');
        for (const QByteArray& line : lines) {
            if (!line.isEmpty() && !line.startsWith('[') && !line.contains('='))
                return false;
        }
        return !lines.isEmpty() && lines.constLast().isEmpty();
    }

    test::TempHome home;
    test::RecordingUi ui;
};

TEST_F(SettingsProcesses, WritersAtTheSameTimeLoseNoKeyAndReadersAlwaysFindAWholeFile)
{
    ASSERT_EQ(Ini_Write(kSectionFolders, QStringLiteral("Sentinel"), file(), QStringLiteral("/s")),
              0);
    const auto writer = [](char name) {
        return [name] {
            for (int i = 0; i < kWritesPerProcess; ++i) {
                const QString key = QStringLiteral("%1%2").arg(QLatin1Char(name)).arg(i);
                if (Ini_Write(kSectionFolders, key, file(), QLatin1Char('/') + key) != 0)
                    return 1;
            }
            return 0;
        };
    };
    std::array<Child, 2> writers = {Child(writer('A')), Child(writer('B'))};
    int reads = 0;
    int broken = 0;
    while (writers[0].running() || writers[1].running()) {
        ++reads;
        if (read(QStringLiteral("Sentinel")) != QStringLiteral("/s") || !wellFormed())
            ++broken;
    }
    for (Child& child : writers)
        EXPECT_EQ(child.exitCode(), 0);

    EXPECT_EQ(broken, 0) << "of " << reads << " reads";
    for (const char name : {'A', 'B'}) {
        for (int i = 0; i < kWritesPerProcess; ++i) {
            const QString key = QStringLiteral("%1%2").arg(QLatin1Char(name)).arg(i);
            EXPECT_EQ(read(key), QLatin1Char('/') + key);
        }
    }
    EXPECT_TRUE(wellFormed());
}

// Two programs started at once on different folders each register theirs. Registration
// reads the slots and then writes the first free one, so the two must not both take it.
// Registration does not yet hold the settings lock across that read and write, and this
// loses about a third of the folders; enable once it does.
TEST_F(SettingsProcesses, ProgramsRegisteringFoldersAtTheSameTimeKeepEveryFolder)
{
    const auto registrar = [](char name) {
        return [name] {
            for (int i = 0; i < kWritesPerProcess / 4; ++i) {
                test::ListComboBox combo;
                Ini_Folder_Add(QStringLiteral("/%1/%2").arg(QLatin1Char(name)).arg(i), combo);
            }
            return 0;
        };
    };
    std::array<Child, 2> registrars = {Child(registrar('A')), Child(registrar('B'))};
    for (Child& child : registrars)
        EXPECT_EQ(child.exitCode(), 0);

    QStringList registered;
    for (int slot = 0;; ++slot) {
        const QString folder = read(slotKey(slot));
        if (folder.isEmpty())
            break;
        registered << folder;
    }
    registered.sort();
    QStringList expected;
    for (const char name : {'A', 'B'}) {
        for (int i = 0; i < kWritesPerProcess / 4; ++i)
            expected << QStringLiteral("/%1/%2").arg(QLatin1Char(name)).arg(i);
    }
    expected.sort();
    EXPECT_EQ(registered, expected);
}

} // namespace
} // namespace folivo
