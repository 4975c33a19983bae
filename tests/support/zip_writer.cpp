#include "support/zip_writer.h"

#include "support/byte_writer.h"

#include <QFile>

#include <array>

namespace folivo::test {
namespace {

// Raw deflate data: qCompress gives a 4-byte size, a 2-byte zlib header, the deflate
// stream and a 4-byte Adler-32.
QByteArray rawDeflate(const QByteArray& data)
{
    const QByteArray zlib = qCompress(data);
    return zlib.mid(6, zlib.size() - 10);
}

constexpr quint32 kDosTime = (12 << 11) | (30 << 5);
constexpr quint32 kDosDate = ((2020 - 1980) << 9) | (5 << 5) | 17;

} // namespace

quint32 crc32(const QByteArray& data)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : data)
        crc = table[(crc ^ static_cast<quint8>(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void ZipWriter::addFile(const QByteArray& name, const QByteArray& data, Method method,
                        NameFlag flag)
{
    m_members.append({name, data, method, flag, 0100644});
}

void ZipWriter::addFileDeclaringSize(const QByteArray& name, const QByteArray& data,
                                     quint32 declaredSize, Method method)
{
    m_members.append({name, data, method, NameFlag::None, 0100644, declaredSize});
}

void ZipWriter::addFolder(const QByteArray& name)
{
    m_members.append({name, {}, Method::Stored, NameFlag::None, 040755});
}

void ZipWriter::addSymlink(const QByteArray& name, const QByteArray& target)
{
    m_members.append({name, target, Method::Stored, NameFlag::None, 0120777});
}

QByteArray ZipWriter::bytes() const
{
    QByteArray out;
    QByteArray directory;
    for (const Member& member : m_members) {
        const quint32 offset = static_cast<quint32>(out.size());
        const QByteArray packed =
            member.method == Method::Deflated ? rawDeflate(member.data) : member.data;
        const quint32 flags =
            (member.flag == NameFlag::Utf8 ? 0x0800 : 0) | (m_streamed ? 0x0008 : 0);
        const quint32 method = member.method == Method::Deflated ? 8 : 0;
        const quint32 crc = crc32(member.data);
        const quint32 size = static_cast<quint32>(member.declaredSize >= 0 ? member.declaredSize
                                                                           : member.data.size());

        put32(out, 0x04034b50);
        put16(out, 20);
        put16(out, flags);
        put16(out, method);
        put16(out, kDosTime);
        put16(out, kDosDate);
        put32(out, m_streamed ? 0 : crc);
        put32(out, m_streamed ? 0 : static_cast<quint32>(packed.size()));
        put32(out, m_streamed ? 0 : size);
        put16(out, static_cast<quint32>(member.name.size()));
        put16(out, 0);
        out.append(member.name);
        out.append(packed);
        if (m_streamed) {
            put32(out, 0x08074b50);
            put32(out, crc);
            put32(out, static_cast<quint32>(packed.size()));
            put32(out, size);
            continue;
        }

        put32(directory, 0x02014b50);
        put16(directory, (3 << 8) | 20); // made on Unix, so the mode below is read
        put16(directory, 20);
        put16(directory, flags);
        put16(directory, method);
        put16(directory, kDosTime);
        put16(directory, kDosDate);
        put32(directory, crc);
        put32(directory, static_cast<quint32>(packed.size()));
        put32(directory, size);
        put16(directory, static_cast<quint32>(member.name.size()));
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put32(directory, (member.unixMode << 16) | ((member.unixMode & 040000) ? 0x10 : 0));
        put32(directory, offset);
        directory.append(member.name);
    }
    if (m_streamed) {
        // Only the start of a directory entry, as a download cut short there leaves it: a
        // reader learns that the members have ended, and nothing of their sizes.
        put32(out, 0x02014b50);
        out.append(QByteArray(42, '\0'));
        return out;
    }
    const quint32 directoryOffset = static_cast<quint32>(out.size());
    out.append(directory);
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<quint32>(m_members.size()));
    put16(out, static_cast<quint32>(m_members.size()));
    put32(out, static_cast<quint32>(directory.size()));
    put32(out, directoryOffset);
    put16(out, 0);
    return out;
}

bool ZipWriter::write(const QString& path, qsizetype keepBytes) const
{
    QFile file(path);
    const QByteArray all = bytes();
    const QByteArray kept = keepBytes >= 0 ? all.left(keepBytes) : all;
    return file.open(QIODevice::WriteOnly) && file.write(kept) == kept.size();
}

} // namespace folivo::test
