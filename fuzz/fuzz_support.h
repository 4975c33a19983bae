#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace folivo::fuzz {

/// A folder of this fuzzing process's own under the temporary folder (TMPDIR), removed when
/// the process ends normally; fuzz/run_fuzzers.sh points TMPDIR at a folder in memory that it
/// removes afterwards, since a crashing run leaves its folder behind.
inline const QString& scratchFolder()
{
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/folivo-fuzz-XXXXXX"));
    static const QString path = [] {
        if (!folder.isValid()) {
            std::fprintf(stderr, "cannot create a scratch folder\n");
            std::abort();
        }
        return folder.path();
    }();
    return path;
}

inline QString scratchPath(const QString& name)
{
    return scratchFolder() + QLatin1Char('/') + name;
}

inline void writeBytes(const QString& path, const std::uint8_t* data, std::size_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) !=
            static_cast<qint64>(size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::abort();
    }
}

/// Stops the run as a finding: the fuzzer saves the input that led here.
[[noreturn]] inline void fail(const char* what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

} // namespace folivo::fuzz
