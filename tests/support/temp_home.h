#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace folivo::test {

/// A fresh install folder for one test: FOLIVO_HOME points at it while the object lives.
class TempHome {
public:
    TempHome()
        : m_old(qgetenv("FOLIVO_HOME"))
        , m_hadOld(qEnvironmentVariableIsSet("FOLIVO_HOME"))
    {
        qputenv("FOLIVO_HOME", QFile::encodeName(m_dir.path()));
    }
    ~TempHome()
    {
        if (m_hadOld)
            qputenv("FOLIVO_HOME", m_old);
        else
            qunsetenv("FOLIVO_HOME");
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    /// The settings file's whole text ("" when it does not exist).
    QString settingsText() const
    {
        QFile file(filePath(QStringLiteral("Folivo.ini")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_old;
    bool m_hadOld;
};

} // namespace folivo::test
