#pragma once

#include "fakes/recording_ui.h"
#include "shell/mod_reg.h"
#include "shell/mod_reg_testing.h"
#include "store/key_store.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace folivo::test {

/// The key store file as it stands when taken, held open: what a program that read it then
/// still reads. Held, its inode cannot go to a file written later in its place.
class HeldKeyFile {
public:
    HeldKeyFile()
        : m_fd(::open(QFile::encodeName(keyStorePath()).constData(), O_RDONLY | O_CLOEXEC))
    {
        EXPECT_GE(m_fd, 0) << "no key store file to hold";
        if (m_fd >= 0)
            ::fstat(m_fd, &m_stat);
        m_text = text();
    }
    ~HeldKeyFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    HeldKeyFile(const HeldKeyFile&) = delete;
    HeldKeyFile& operator=(const HeldKeyFile&) = delete;

    /// Whether the store is still this file, neither replaced nor written since it was taken.
    bool untouched() const
    {
        struct stat now {};
        if (::stat(QFile::encodeName(keyStorePath()).constData(), &now) != 0)
            return false;
        return now.st_dev == m_stat.st_dev && now.st_ino == m_stat.st_ino &&
               now.st_size == m_stat.st_size && now.st_mtim.tv_sec == m_stat.st_mtim.tv_sec &&
               now.st_mtim.tv_nsec == m_stat.st_mtim.tv_nsec && text() == m_text;
    }
    /// The held file's bytes now.
    QByteArray text() const
    {
        QByteArray bytes;
        char chunk[4096];
        off_t offset = 0;
        ssize_t got = 0;
        while (m_fd >= 0 && (got = ::pread(m_fd, chunk, sizeof chunk, offset)) > 0) {
            bytes.append(chunk, got);
            offset += got;
        }
        return bytes;
    }
    /// Its bytes when it was taken.
    const QByteArray& textWhenTaken() const { return m_text; }

private:
    int m_fd;
    struct stat m_stat {};
    QByteArray m_text;
};

/// A fresh key store (in a temporary install folder), a temporary XDG_DATA_HOME for the
/// desktop entry, recorded message boxes and a fixed program path.
class ShellTest : public ::testing::Test {
protected:
    static inline const QString kProgram = QStringLiteral("/opt/folivo/bin/folivo");
    static inline const QString kCommand = QStringLiteral("\"/opt/folivo/bin/folivo\" \"%1\"");

    ShellTest()
        : m_oldData(qgetenv("XDG_DATA_HOME"))
        , m_hadData(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
        Mod_Reg::setProgramPath(kProgram);
    }
    ~ShellTest() override
    {
        Mod_Reg::setProgramPath(QString());
        if (m_hadData)
            qputenv("XDG_DATA_HOME", m_oldData);
        else
            qunsetenv("XDG_DATA_HOME");
    }

    /// Writes a default value straight into the store, creating the key.
    static void seed(const QString& keyPath, const QString& value)
    {
        KeyHandle handle;
        ASSERT_EQ(keyCreate(kClassesRoot, keyPath, handle), KeyResult::Success)
            << keyPath.toStdString();
        ASSERT_EQ(keySetValue(handle, QString(), value.toUtf8()), KeyResult::Success);
        keyClose(handle);
    }
    static bool exists(const QString& keyPath)
    {
        KeyHandle handle;
        return keyOpen(kClassesRoot, keyPath, handle) == KeyResult::Success;
    }
    /// The key's default value, or a null string when the key or value is missing.
    static QString defaultValue(const QString& keyPath)
    {
        KeyHandle handle;
        if (keyOpen(kClassesRoot, keyPath, handle) != KeyResult::Success)
            return QString();
        std::vector<char> buffer(4096);
        quint32 size = quint32(buffer.size());
        if (keyQueryValue(handle, QString(), buffer.data(), size) != KeyResult::Success)
            return QString();
        return QString::fromUtf8(buffer.data(), size - 1);
    }
    QString dataPath() const { return m_data.path(); }

    TempHome home;
    RecordingUi recorder;

private:
    QTemporaryDir m_data;
    QByteArray m_oldData;
    bool m_hadData;
};

} // namespace folivo::test
