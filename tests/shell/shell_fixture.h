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

namespace folivo::test {

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
