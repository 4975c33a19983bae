#include "support/lzh_writer.h"

#include "support/byte_writer.h"

#include <QFile>

#include <algorithm>

namespace folivo::test {
namespace {

void putExtended(QByteArray& out, quint8 type, const QByteArray& data)
{
    put16(out, static_cast<quint32>(3 + data.size()));
    out.append(static_cast<char>(type));
    out.append(data);
}

class BitWriter {
public:
    void put(int count, quint32 value)
    {
        for (int bit = count - 1; bit >= 0; --bit) {
            m_current = static_cast<quint8>((m_current << 1) | ((value >> bit) & 1));
            if (++m_filled == 8) {
                m_out.append(static_cast<char>(m_current));
                m_current = 0;
                m_filled = 0;
            }
        }
    }
    QByteArray finish()
    {
        if (m_filled > 0)
            put(8 - m_filled, 0);
        return m_out;
    }

private:
    QByteArray m_out;
    quint8 m_current = 0;
    int m_filled = 0;
};

// One header: the fixed part, the extended headers (header CRC, name, folder), then the data.
QByteArray member(const char* method, const QByteArray& path, const QByteArray& original,
                  const QByteArray& packed)
{
    const qsizetype cut = path.lastIndexOf('/');
    const QByteArray name = cut < 0 ? path : path.mid(cut + 1);
    QByteArray folder = cut < 0 ? QByteArray() : path.left(cut + 1);
    folder.replace('/', '\xFF');

    QByteArray header;
    put16(header, 0); // total size, set below
    header.append(method, 5);
    put32(header, static_cast<quint32>(packed.size()));
    put32(header, static_cast<quint32>(original.size()));
    put32(header, 1589718600); // modification time
    header.append('\x20');
    header.append('\x02'); // header level
    put16(header, crc16(original));
    header.append('U');
    const qsizetype crcAt = header.size() + 3;
    putExtended(header, 0x00, QByteArray(2, '\0'));
    if (!name.isEmpty())
        putExtended(header, 0x01, name);
    if (!folder.isEmpty())
        putExtended(header, 0x02, folder);
    put16(header, 0); // end of the extended headers
    header[0] = static_cast<char>(header.size() & 0xFF);
    header[1] = static_cast<char>(header.size() >> 8);
    const quint16 crc = crc16(header);
    header[crcAt] = static_cast<char>(crc & 0xFF);
    header[crcAt + 1] = static_cast<char>(crc >> 8);
    return header + packed;
}

} // namespace

quint16 crc16(const QByteArray& data, quint16 crc)
{
    for (const char byte : data) {
        crc ^= static_cast<quint8>(byte);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001)
                            : static_cast<quint16>(crc >> 1);
    }
    return crc;
}

QByteArray lh5Encode(const QByteArray& data)
{
    BitWriter bits;
    constexpr qsizetype kMaxBlock = 0xFFFF;
    for (qsizetype at = 0; at < data.size(); at += kMaxBlock) {
        const qsizetype count = std::min(kMaxBlock, data.size() - at);
        bits.put(16, static_cast<quint32>(count));
        // Code-length table: one symbol only (10, meaning "length 8"), sent without bits.
        bits.put(5, 0);
        bits.put(5, 10);
        // Literal table: the 256 byte values, each 8 bits long, so byte b has code b.
        bits.put(9, 256);
        // Position table: one symbol only; never used, as there are no matches.
        bits.put(4, 0);
        bits.put(4, 0);
        for (qsizetype i = at; i < at + count; ++i)
            bits.put(8, static_cast<quint8>(data[i]));
    }
    return bits.finish();
}

void LzhWriter::addFile(const QByteArray& path, const QByteArray& data, Method method)
{
    if (method == Method::Lh5 && !data.isEmpty())
        m_body.append(member("-lh5-", path, data, lh5Encode(data)));
    else
        m_body.append(member("-lh0-", path, data, data));
}

void LzhWriter::addFolder(const QByteArray& path)
{
    QByteArray folder = path;
    if (!folder.endsWith('/'))
        folder.append('/');
    m_body.append(member("-lhd-", folder, {}, {}));
}

QByteArray LzhWriter::bytes() const
{
    return m_body + QByteArray(1, '\0');
}

bool LzhWriter::write(const QString& path, qsizetype keepBytes) const
{
    QFile file(path);
    const QByteArray all = bytes();
    const QByteArray kept = keepBytes >= 0 ? all.left(keepBytes) : all;
    return file.open(QIODevice::WriteOnly) && file.write(kept) == kept.size();
}

} // namespace folivo::test
