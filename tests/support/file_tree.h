#pragma once

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <algorithm>

namespace folivo::test {

/// Everything below a folder, as sorted relative paths; folders end in "/", links in "@".
inline QStringList fileTree(const QString& root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        QString relative = base.relativeFilePath(path);
        if (info.isSymLink())
            relative += QLatin1Char('@');
        else if (info.isDir())
            relative += QLatin1Char('/');
        entries.append(relative);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

/// Data that deflate shrinks but that still spans many blocks.
inline QByteArray sampleData(qsizetype size, int seed)
{
    QByteArray data(size, '\0');
    quint32 state = static_cast<quint32>(seed) * 2654435761u + 1;
    for (qsizetype i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        data[i] = static_cast<char>((i % 7 == 0) ? (state >> 24) : ('a' + (i % 13)));
    }
    return data;
}

} // namespace folivo::test
