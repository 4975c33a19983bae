#pragma once

#include "support/byte_writer.h"

#include <QByteArray>
#include <QSize>

#include <algorithm>

namespace folivo::test {

// Pictures far larger decoded than on disk, written by hand: every pixel one colour.

namespace detail {

inline void putMarker(QByteArray& out, int marker, const QByteArray& body)
{
    out.append('\xFF');
    out.append(static_cast<char>(marker));
    const auto length = static_cast<int>(body.size() + 2);
    out.append(static_cast<char>(length >> 8));
    out.append(static_cast<char>(length & 0xFF));
    out.append(body);
}

inline QByteArray size16(int value)
{
    return QByteArray(1, static_cast<char>(value >> 8)) + static_cast<char>(value & 0xFF);
}

/// Quantisation by 1, and Huffman tables of one one-bit code each: DC difference 0 and the
/// end of block, so that a block of one colour is the two bits 00.
inline QByteArray jpegTables()
{
    QByteArray out;
    putMarker(out, 0xDB, QByteArray(1, '\0') + QByteArray(64, '\1'));
    const QByteArray oneCode = QByteArray(1, '\1') + QByteArray(15, '\0') + QByteArray(1, '\0');
    putMarker(out, 0xC4, QByteArray(1, '\x00') + oneCode);
    putMarker(out, 0xC4, QByteArray(1, '\x10') + oneCode);
    return out;
}

inline QByteArray frame(QSize size, int components)
{
    QByteArray body(1, '\x08');
    body += size16(size.height()) + size16(size.width());
    body.append(static_cast<char>(components));
    for (int c = 1; c <= components; ++c)
        body += QByteArray(1, static_cast<char>(c)) + "\x11" + QByteArray(1, '\0');
    return body;
}

inline QByteArray scan(int components, int spectralEnd)
{
    QByteArray body(1, static_cast<char>(components));
    for (int c = 1; c <= components; ++c)
        body += QByteArray(1, static_cast<char>(c)) + QByteArray(1, '\0');
    body += QByteArray(1, '\0') + static_cast<char>(spectralEnd) + QByteArray(1, '\0');
    return body;
}

} // namespace detail

/// A baseline grey JPEG, mid grey (128) all over.
inline QByteArray uniformJpeg(QSize size)
{
    QByteArray out("\xFF\xD8", 2);
    out += detail::jpegTables();
    detail::putMarker(out, 0xC0, detail::frame(size, 1));
    detail::putMarker(out, 0xDA, detail::scan(1, 63));
    const qint64 blocks = qint64{(size.width() + 7) / 8} * ((size.height() + 7) / 8);
    const qint64 bits = 2 * blocks;
    out += QByteArray(static_cast<qsizetype>(bits / 8), '\0');
    if (bits % 8 != 0)
        out.append(static_cast<char>((1 << (8 - bits % 8)) - 1));
    return out + QByteArray("\xFF\xD9", 2);
}

/// The header of a progressive JPEG of three full-resolution components, up to its first
/// scan: enough to tell its size and the coefficients decoding it would hold.
inline QByteArray progressiveJpegHeader(QSize size)
{
    QByteArray out("\xFF\xD8", 2);
    out += detail::jpegTables();
    detail::putMarker(out, 0xC2, detail::frame(size, 3));
    detail::putMarker(out, 0xDA, detail::scan(3, 0));
    return out + QByteArray(64, '\0') + QByteArray("\xFF\xD9", 2);
}

/// A GIF of one colour (palette entry 0: red) compressed as LZW does it, each code a run one
/// pixel longer than the last: a 16000 × 16000 picture takes a few hundred KB.
inline QByteArray uniformGif(QSize size)
{
    QByteArray out("GIF89a");
    put16(out, static_cast<quint32>(size.width()));
    put16(out, static_cast<quint32>(size.height()));
    out.append("\xF1\x00\x00", 3);
    out.append("\xFF\x00\x00\x00\x00\xFF\x00\xFF\x00\x00\x00\x00", 12);
    out.append('\x2C');
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<quint32>(size.width()));
    put16(out, static_cast<quint32>(size.height()));
    out.append("\x00\x02", 2); // no local palette; LZW minimum code size 2
    constexpr int kClear = 4;
    constexpr int kEnd = 5;
    constexpr int kFirstFree = 6;
    constexpr int kTableSize = 4096;
    QByteArray packed;
    quint32 bits = 0;
    int bitCount = 0;
    int codeSize = 3;
    const auto put = [&](int code) {
        bits |= static_cast<quint32>(code) << bitCount;
        bitCount += codeSize;
        while (bitCount >= 8) {
            packed.append(static_cast<char>(bits & 0xFF));
            bits >>= 8;
            bitCount -= 8;
        }
    };
    // Code kFirstFree + n - 2 stands for a run of n pixels (n >= 2); code 0 for one.
    put(kClear);
    int nextCode = kFirstFree;
    qint64 left = qint64{size.width()} * size.height();
    while (left > 0) {
        const qint64 longest = nextCode - kFirstFree + 1;
        const qint64 run = std::min(longest, left);
        put(run == 1 ? 0 : static_cast<int>(kFirstFree + run - 2));
        left -= run;
        if (nextCode < kTableSize) {
            if (nextCode == (1 << codeSize) && codeSize < 12)
                ++codeSize;
            ++nextCode;
        } else {
            put(kClear);
            codeSize = 3;
            nextCode = kFirstFree;
        }
    }
    put(kEnd);
    if (bitCount > 0)
        packed.append(static_cast<char>(bits & 0xFF));
    for (qsizetype at = 0; at < packed.size(); at += 255) {
        const QByteArray block = packed.mid(at, 255);
        out.append(static_cast<char>(block.size()));
        out.append(block);
    }
    out.append("\x00\x3B", 2);
    return out;
}

} // namespace folivo::test
