#pragma once

#include <QByteArray>
#include <QString>

namespace folivo::test {

/// Writes LZH archives with level-2 headers, which libarchive can read but not write.
/// Members are stored (-lh0-) or compressed (-lh5-); the -lh5- encoder emits literals only,
/// with one fixed 8-bit code per byte, which is a valid stream for any decoder.
class LzhWriter {
public:
    enum class Method { Lh0, Lh5 };

    /// path: raw name bytes, folders separated by "/".
    void addFile(const QByteArray& path, const QByteArray& data, Method method = Method::Lh5);
    void addFolder(const QByteArray& path);

    /// The archive, ended by its zero byte.
    QByteArray bytes() const;
    bool write(const QString& path, qsizetype keepBytes = -1) const;

private:
    QByteArray m_body;
};

/// CRC-16 as LHa uses it (the ARC polynomial, reflected, starting at 0).
quint16 crc16(const QByteArray& data, quint16 crc = 0);

/// The -lh5- stream for data, literals only.
QByteArray lh5Encode(const QByteArray& data);

} // namespace folivo::test
