#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace folivo::test {

/// Writes ZIP archives byte by byte, so that tests control what real archivers put in them:
/// raw name bytes with or without the UTF-8 flag, stored or deflated data, folder entries
/// and Unix symlinks.
class ZipWriter {
public:
    enum class Method { Stored, Deflated };
    enum class NameFlag { None, Utf8 };

    void addFile(const QByteArray& name, const QByteArray& data, Method method = Method::Stored,
                 NameFlag flag = NameFlag::None);
    /// A member whose headers give a wrong uncompressed size, as a crafted archive may.
    void addFileDeclaringSize(const QByteArray& name, const QByteArray& data, quint32 declaredSize,
                              Method method = Method::Deflated);
    void addFolder(const QByteArray& name);
    void addSymlink(const QByteArray& name, const QByteArray& target);

    /// Written as a streaming writer writes: sizes and CRC only in a data descriptor after
    /// each member's data, and the central directory cut off after its first bytes, so
    /// nothing states a size up front.
    /// Deflated members only (stored data has no end a reader could find).
    void setStreamed() { m_streamed = true; }

    QByteArray bytes() const;
    /// Writes the archive; with keepBytes >= 0 only its first keepBytes bytes (a cut-off
    /// download).
    bool write(const QString& path, qsizetype keepBytes = -1) const;

private:
    struct Member {
        QByteArray name;
        QByteArray data;
        Method method;
        NameFlag flag;
        quint32 unixMode;
        qint64 declaredSize = -1;
    };
    QList<Member> m_members;
    bool m_streamed = false;
};

quint32 crc32(const QByteArray& data);

} // namespace folivo::test
