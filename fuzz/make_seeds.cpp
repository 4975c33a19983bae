// Writes the seed corpora of the fuzz targets with the same writers the tests use, so that
// the fuzzers start from archives, settings files and pictures the program really meets.
//   folivo_fuzz_seeds <folder>   makes <folder>/{zip,lzh,other,profile,picture}/
#include "support/book_tools.h"
#include "support/lzh_writer.h"
#include "support/zip_writer.h"
#include "tools/gif_writer.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio>

namespace {

using folivo::test::LzhWriter;
using folivo::test::ZipWriter;

bool save(const QString& folder, const QString& name, const QByteArray& bytes)
{
    QDir().mkpath(folder);
    QFile file(folder + QLatin1Char('/') + name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QImage page(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.fillRect(2, 2, w / 2, h / 3, Qt::darkBlue);
    painter.fillRect(w / 3, h / 2, w / 2, h / 3, Qt::red);
    return image;
}

QByteArray encoded(const QImage& image, const char* format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

class Bytes {
public:
    Bytes& u16(quint16 v)
    {
        char b[2];
        qToLittleEndian(v, b);
        m_data.append(b, 2);
        return *this;
    }
    Bytes& u32(quint32 v)
    {
        char b[4];
        qToLittleEndian(v, b);
        m_data.append(b, 4);
        return *this;
    }
    const QByteArray& data() const { return m_data; }

private:
    QByteArray m_data;
};

// A placeable WMF: a green rectangle on a 1000 × 500 page at 1440 units an inch.
QByteArray placeableWmf()
{
    Bytes records;
    records.u32(7).u16(0x02FC).u16(0).u32(0x0000FF00).u16(0);       // CreateBrushIndirect
    records.u32(4).u16(0x012D).u16(0);                              // SelectObject
    records.u32(7).u16(0x041B).u16(400).u16(900).u16(100).u16(100); // Rectangle
    records.u32(3).u16(0);                                          // end of file
    const quint32 words = 9 + static_cast<quint32>(records.data().size() / 2);
    Bytes header;
    header.u32(0x9AC6CDD7).u16(0).u16(0).u16(0).u16(1000).u16(500).u16(1440).u32(0);
    quint16 checksum = 0;
    for (int i = 0; i < 10; ++i)
        checksum ^= qFromLittleEndian<quint16>(header.data().constData() + 2 * i);
    header.u16(checksum);
    header.u16(1).u16(9).u16(0x0300).u32(words).u16(1).u32(7).u16(0);
    return header.data() + records.data();
}

// An EMF: a green rectangle on a 50.8 × 25.4 mm frame.
QByteArray minimalEmf()
{
    Bytes records;
    records.u32(39).u32(24).u32(1).u32(0).u32(0x0000FF00).u32(0); // CreateBrushIndirect
    records.u32(37).u32(12).u32(1);                               // SelectObject
    records.u32(43).u32(24).u32(25).u32(12).u32(75).u32(37);      // Rectangle
    records.u32(14).u32(20).u32(0).u32(16).u32(20);               // end of file
    const quint32 headerSize = 88;
    Bytes emf;
    emf.u32(1).u32(headerSize);
    emf.u32(0).u32(0).u32(99).u32(49);
    emf.u32(0).u32(0).u32(5080).u32(2540);
    emf.u32(0x464D4520).u32(0x10000).u32(headerSize + records.data().size()).u32(5);
    emf.u16(2).u16(0).u32(0).u32(0).u32(0);
    emf.u32(100).u32(50).u32(26).u32(13);
    return emf.data() + records.data();
}

bool zipSeeds(const QString& folder)
{
    const QByteArray jpeg = encoded(page(40, 60), "JPG", 50);
    ZipWriter plain;
    plain.addFile("p1.jpg", jpeg);
    plain.addFile("p2.jpg", jpeg, ZipWriter::Method::Deflated);
    ZipWriter nested;
    nested.addFolder("vol1/");
    nested.addFile("vol1/a.jpg", jpeg, ZipWriter::Method::Deflated);
    nested.addFile("\x83\x79\x81\x5B\x83\x57.jpg", "cp932 name"); // ページ in CP932
    nested.addFile("本/1.bmp", "utf-8 name", ZipWriter::Method::Stored, ZipWriter::NameFlag::Utf8);
    ZipWriter hostile;
    hostile.addFile("../escape.jpg", "out");
    hostile.addFile("/abs.jpg", "abs");
    hostile.addSymlink("link", "/tmp");
    hostile.addFile("link/through.jpg", "through");
    const QByteArray whole = plain.bytes();
    return save(folder, QStringLiteral("plain.zip"), whole) &&
           save(folder, QStringLiteral("nested.zip"), nested.bytes()) &&
           save(folder, QStringLiteral("hostile.zip"), hostile.bytes()) &&
           save(folder, QStringLiteral("cut.zip"), whole.left(whole.size() * 2 / 3));
}

bool lzhSeeds(const QString& folder)
{
    const QByteArray jpeg = encoded(page(40, 60), "JPG", 50);
    LzhWriter plain;
    plain.addFile("p1.jpg", jpeg, LzhWriter::Method::Lh0);
    plain.addFile("p2.jpg", jpeg, LzhWriter::Method::Lh5);
    LzhWriter nested;
    nested.addFolder("vol1");
    nested.addFile("vol1/a.jpg", "small page");
    nested.addFile("\x83\x79\x81\x5B\x83\x57.jpg", "cp932 name", LzhWriter::Method::Lh0);
    LzhWriter hostile;
    hostile.addFile("../escape.jpg", "out");
    hostile.addFile("/abs.jpg", "abs", LzhWriter::Method::Lh0);
    const QByteArray whole = plain.bytes();
    return save(folder, QStringLiteral("plain.lzh"), whole) &&
           save(folder, QStringLiteral("nested.lzh"), nested.bytes()) &&
           save(folder, QStringLiteral("hostile.lzh"), hostile.bytes()) &&
           save(folder, QStringLiteral("cut.lzh"), whole.left(whole.size() / 2));
}

// RAR seeds from libarchive's test suite; 7z and tar ones made by the tools the tests use,
// when they are there (without them the target starts from the RAR seeds alone).
bool otherSeeds(const QString& folder)
{
    QDir().mkpath(folder);
    for (const char* name :
         {"test_read_format_rar5_stored.rar", "test_read_format_rar5_multiple_files_solid.rar",
          "test_read_format_rar5_symlink.rar", "test_read_format_rar5_solid_encrypted.rar",
          "test_read_format_rar_unicode.rar"}) {
        if (!folivo::test::writeLibarchiveSample(name, folder + QLatin1Char('/') +
                                                           QString::fromUtf8(name)))
            return false;
    }
    QTemporaryDir pages;
    const QByteArray jpeg = encoded(page(40, 60), "JPG", 50);
    if (!save(pages.path(), QStringLiteral("p1.jpg"), jpeg) ||
        !save(pages.path() + QStringLiteral("/vol1"), QStringLiteral("p2.jpg"), jpeg) ||
        !save(pages.path(), QStringLiteral("esc.jpg"), "escape") ||
        !QFile::link(QStringLiteral("/tmp"), pages.path() + QStringLiteral("/link")))
        return false;
    const auto make = [&](const char* program, const char* name, QStringList arguments) {
        arguments.replaceInStrings(QStringLiteral("@"),
                                   folder + QLatin1Char('/') + QString::fromUtf8(name));
        folivo::test::runTool(QString::fromUtf8(program), arguments, pages.path());
    };
    make("7z", "solid.7z", {"a", "-bd", "-ms=on", "@", "p1.jpg", "vol1"});
    make("7z", "plain.7z", {"a", "-bd", "-ms=off", "@", "p1.jpg", "vol1"});
    make("bsdtar", "plain.tar", {"-cf", "@", "p1.jpg", "vol1"});
    make("bsdtar", "book.tar.gz", {"-czf", "@", "p1.jpg", "vol1"});
    make("bsdtar", "book.tar.xz", {"-cJf", "@", "p1.jpg"});
    make("bsdtar", "hostile.tar",
         {"-P", "-cf", "@", "-s", ",^esc,../escape,", "p1.jpg", "esc.jpg", "link"});
    return true;
}

bool profileSeeds(const QString& folder)
{
    return save(folder, QStringLiteral("slots.ini"),
                "[Folders]\n000=/home/a/book\n001=/home/a/tmp\nCurrent=/home/a/book\n") &&
           save(folder, QStringLiteral("crlf.ini"),
                "\xEF\xBB\xBF; comment\r\n[Other]\r\nx=1\r\n\r\n[folders]\r\n 000 = /b \r\n") &&
           save(folder, QStringLiteral("gaps.ini"),
                "[Folders]\n000=/a\n001=\n002=/c\n[Folders]\n003=/d\nCurrent\n=/e\n[x") &&
           save(folder, QStringLiteral("raw.ini"),
                QByteArrayLiteral("[Folders]\nCurrent=/\xFF\xFE\x00/z\n"));
}

// The tests' pictures of the further formats, made by their own encoders (AVIF and JPEG XL
// have no writer in Qt): 16-bit, grey, transparent, with a profile, animated, multi-page.
bool testPictureSeeds(const QString& folder)
{
    const QDir pictures(QStringLiteral(FOLIVO_TEST_PICTURES));
    const QStringList names = pictures.entryList(
        {QStringLiteral("*.png"), QStringLiteral("*.webp"), QStringLiteral("*.tiff"),
         QStringLiteral("*.avif"), QStringLiteral("*.jxl")},
        QDir::Files);
    for (const QString& name : names) {
        QFile file(pictures.filePath(name));
        if (!file.open(QIODevice::ReadOnly) || !save(folder, name, file.readAll()))
            return false;
    }
    return !names.isEmpty();
}

bool pictureSeeds(const QString& folder)
{
    const QImage image = page(48, 64);
    return save(folder, QStringLiteral("page.jpg"), encoded(image, "JPG", 60)) &&
           save(folder, QStringLiteral("page.bmp"), encoded(image, "BMP")) &&
           save(folder, QStringLiteral("page.gif"), folivo::gifFile(image)) &&
           save(folder, QStringLiteral("page.wmf"), placeableWmf()) &&
           save(folder, QStringLiteral("page.emf"), minimalEmf()) &&
           save(folder, QStringLiteral("page.png"), encoded(image, "PNG")) &&
           save(folder, QStringLiteral("page.webp"), encoded(image, "WEBP", 60)) &&
           save(folder, QStringLiteral("page.tiff"), encoded(image, "TIFF")) &&
           testPictureSeeds(folder);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const QString root = QFile::decodeName(argv[1]);
    const bool ok = zipSeeds(root + QStringLiteral("/zip")) &&
                    lzhSeeds(root + QStringLiteral("/lzh")) &&
                    otherSeeds(root + QStringLiteral("/other")) &&
                    profileSeeds(root + QStringLiteral("/profile")) &&
                    pictureSeeds(root + QStringLiteral("/picture"));
    if (!ok)
        std::fprintf(stderr, "could not write the seeds under %s\n", argv[1]);
    return ok ? 0 : 1;
}
