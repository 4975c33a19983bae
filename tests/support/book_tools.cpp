#include "support/book_tools.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace folivo::test {
namespace {

// Each character carries six bits, offset by 32 (a "`" stands for 0).
int uuValue(char c)
{
    return (c - 32) & 0x3F;
}

QByteArray uudecode(const QByteArray& text)
{
    QByteArray bytes;
    bool inside = false;
    for (const QByteArray& line : text.split('\n')) {
        if (!inside) {
            inside = line.startsWith("begin ");
            continue;
        }
        if (line.startsWith("end") || line.isEmpty())
            break;
        const int count = uuValue(line[0]);
        QByteArray decoded;
        for (qsizetype i = 1; decoded.size() < count; i += 4) {
            const auto at = [&](qsizetype k) { return k < line.size() ? uuValue(line[k]) : 0; };
            const int a = at(i);
            const int b = at(i + 1);
            const int c = at(i + 2);
            const int d = at(i + 3);
            decoded.append(static_cast<char>((a << 2) | (b >> 4)));
            decoded.append(static_cast<char>(((b & 0xF) << 4) | (c >> 2)));
            decoded.append(static_cast<char>(((c & 0x3) << 6) | d));
        }
        bytes.append(decoded.left(count));
    }
    return bytes;
}

} // namespace

QByteArray libarchiveSample(const char* name)
{
    const QString data =
        QStringLiteral(FOLIVO_TEST_ARCHIVES "/") + QString::fromUtf8(name) + QStringLiteral(".uu");
    QFile file(data);
    return file.open(QIODevice::ReadOnly) ? uudecode(file.readAll()) : QByteArray();
}

bool writeLibarchiveSample(const char* name, const QString& path)
{
    const QByteArray bytes = libarchiveSample(name);
    QFile file(path);
    return !bytes.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool runTool(const QString& program, const QStringList& arguments, const QString& folder)
{
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return false;
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(path, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace folivo::test
