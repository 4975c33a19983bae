#pragma once

#include <QByteArray>

namespace folivo::test {

/// Little-endian fields, as ZIP and LZH headers store them.
inline void put16(QByteArray& out, quint32 value)
{
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>((value >> 8) & 0xFF));
}

inline void put32(QByteArray& out, quint32 value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

} // namespace folivo::test
