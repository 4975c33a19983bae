// Writes the sample book that the viewer opens when it is started without a path: six pages of
// different sizes and picture formats, all drawn here, so the book carries nobody else's rights.
// The build runs it (target folivo_sample_book); by hand: folivo_make_sample_book FOLDER
//
//   page01.jpg  title page, portrait 1240 × 1754
//   page02.jpg  text page, portrait 1240 × 1754
//   page03.jpg  two text pages side by side, landscape 2480 × 1754
//   page04.gif  shapes, 800 × 1131, 256 colours
//   page05.bmp  afterword, 620 × 877, 24 bits
//   page06.wmf  back cover, placeable metafile of 8391 × 11906 twips
#include "tools/gif_writer.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QList>
#include <QPainter>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QtEndian>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

namespace folivo {
namespace {

const QString BookFont = QStringLiteral("IPAPGothic");
const QColor Paper(252, 250, 242);
const QColor InkColour(34, 34, 34);
const QColor LineGrey(190, 190, 190);

QFont bookFont(double pixels, bool bold = false)
{
    QFont font(BookFont);
    font.setPixelSize(qMax(1, qRound(pixels)));
    font.setBold(bold);
    return font;
}

// Paragraphs of real text, then grey bars standing in for more lines, then the page number.
void drawTextPage(QPainter& p, const QRectF& page, const QString& heading,
                  const QStringList& paragraphs, int number)
{
    const double unit = page.width() / 100.0;
    const QRectF body = page.adjusted(12 * unit, 14 * unit, -12 * unit, -14 * unit);
    p.setPen(InkColour);
    p.setFont(bookFont(4.2 * unit, true));
    QRectF used;
    p.drawText(body, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, heading, &used);
    double y = used.bottom() + 3 * unit;
    p.setFont(bookFont(2.8 * unit));
    for (const QString& paragraph : paragraphs) {
        const QRectF area(body.left(), y, body.width(), body.bottom() - y);
        p.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, paragraph, &used);
        y = used.bottom() + 1.6 * unit;
    }
    const double pitch = 4.4 * unit;
    int line = 0;
    for (y += unit; y + pitch < body.bottom(); y += pitch, ++line) {
        // Lengths vary as a paragraph's lines do; every seventh line ends a paragraph.
        const double share = line % 7 == 6 ? 0.45 : 0.88 + 0.12 * ((line * 5) % 3) / 2.0;
        p.fillRect(QRectF(body.left(), y, body.width() * share, 1.1 * unit), LineGrey);
    }
    p.setFont(bookFont(2.6 * unit));
    p.drawText(QRectF(page.left(), page.bottom() - 9 * unit, page.width(), 4 * unit),
               Qt::AlignCenter, QStringLiteral("― %1 ―").arg(number));
}

QImage blankPage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Paper);
    return image;
}

QImage titlePage()
{
    QImage image = blankPage(1240, 1754);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor accent(40, 80, 140);
    p.setPen(QPen(accent, 8));
    p.drawRect(QRectF(80, 80, 1080, 1594));
    p.setPen(QPen(accent, 2));
    p.drawRect(QRectF(104, 104, 1032, 1546));
    p.setPen(InkColour);
    p.setFont(bookFont(150, true));
    p.drawText(QRectF(0, 330, 1240, 220), Qt::AlignCenter, QStringLiteral("見本の本"));
    p.setFont(bookFont(58));
    p.drawText(QRectF(0, 560, 1240, 90), Qt::AlignCenter, QStringLiteral("Folivo Sample Book"));
    p.setFont(bookFont(44));
    p.drawText(QRectF(0, 680, 1240, 70), Qt::AlignCenter,
               QStringLiteral("― 絵と図形でできた小さな本 ―"));
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawEllipse(QPointF(620, 1010), 120, 120);
    p.setBrush(Paper);
    p.drawEllipse(QPointF(620, 1010), 70, 70);
    p.setBrush(QColor(220, 120, 40));
    p.drawEllipse(QPointF(620, 1010), 32, 32);
    p.setPen(InkColour);
    p.setFont(bookFont(36));
    p.drawText(QRectF(0, 1420, 1240, 60), Qt::AlignCenter, QStringLiteral("フォリボ見本文庫"));
    return image;
}

QImage firstTextPage()
{
    QImage image = blankPage(1240, 1754);
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawTextPage(p, image.rect(), QStringLiteral("第一章　はじめに"),
                 {QStringLiteral("この本は、フォリボの動きを確かめるための見本です。"
                                 "ページごとに大きさと形式が違います。"),
                  QStringLiteral("一と二ページ目はJPEGの縦長のページ、三ページ目は横長の見開き、"
                                 "四ページ目はGIF、五ページ目はBMP、六ページ目はWMFです。"),
                  QStringLiteral("[次=>]ボタンでページを進め、[拡大→]や[縮小←]ボタンで"
                                 "大きさを変えてみてください。")},
                 2);
    return image;
}

QImage spreadPage()
{
    QImage image = blankPage(2480, 1754);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF left(0, 0, 1240, 1754);
    const QRectF right(1240, 0, 1240, 1754);
    drawTextPage(p, left, QStringLiteral("第二章　見開き"),
                 {QStringLiteral("このページは横長の見開きです。左右の二ページが一枚の絵に"
                                 "入っています。"),
                  QStringLiteral("横長のページも、縦長のページと同じように画面に合わせて"
                                 "縮められます。")},
                 3);
    drawTextPage(p, right, QStringLiteral("図と文"),
                 {QStringLiteral("右のページには小さな図があります。")}, 4);
    // A small chart over the right page's grey lines.
    const QRectF chart(1240 + 300, 640, 640, 420);
    p.fillRect(chart, Paper);
    p.setPen(QPen(InkColour, 3));
    p.drawRect(chart);
    const QList<double> bars = {0.35, 0.6, 0.8, 0.5, 0.95};
    const QList<QColor> colours = {QColor(200, 70, 60), QColor(230, 160, 40), QColor(70, 150, 80),
                                   QColor(60, 110, 190), QColor(130, 80, 160)};
    for (qsizetype i = 0; i < bars.size(); ++i) {
        const double h = 360 * bars.at(i);
        p.fillRect(QRectF(chart.left() + 40 + 118 * double(i), chart.bottom() - 30 - h, 80, h),
                   colours.at(i));
    }
    // The fold between the pages.
    QLinearGradient fold(1180, 0, 1300, 0);
    fold.setColorAt(0, QColor(0, 0, 0, 0));
    fold.setColorAt(0.5, QColor(0, 0, 0, 60));
    fold.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(QRectF(1180, 0, 120, 1754), fold);
    return image;
}

QImage shapesPage()
{
    QImage image = blankPage(800, 1131);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(InkColour);
    p.setFont(bookFont(36, true));
    p.drawText(QRectF(0, 70, 800, 60), Qt::AlignCenter, QStringLiteral("第三章　図形"));
    // Colours of the web-safe cube, so that each one is a palette entry of the GIF.
    p.setPen(QPen(QColor(0, 0, 0), 4));
    p.setBrush(QColor(204, 51, 51));
    p.drawEllipse(QRectF(110, 200, 240, 240));
    p.setBrush(QColor(51, 102, 204));
    p.drawRect(QRectF(450, 200, 240, 240));
    p.setBrush(QColor(255, 204, 51));
    p.drawPolygon(QPolygonF({QPointF(230, 520), QPointF(360, 760), QPointF(100, 760)}));
    p.setBrush(QColor(51, 153, 102));
    QPolygonF star;
    for (int i = 0; i < 10; ++i) {
        const double radius = i % 2 == 0 ? 130 : 55;
        const double angle = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
        star << QPointF(570 + radius * std::cos(angle), 650 + radius * std::sin(angle));
    }
    p.drawPolygon(star);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(102, 51, 153), 10));
    p.drawLine(QPointF(110, 860), QPointF(690, 860));
    p.drawArc(QRectF(250, 840, 300, 140), 0, -180 * 16);
    p.setPen(InkColour);
    p.setFont(bookFont(22));
    p.drawText(QRectF(0, 1030, 800, 40), Qt::AlignCenter, QStringLiteral("― 5 ―"));
    return image;
}

QImage afterwordPage()
{
    QImage image = blankPage(620, 877);
    QPainter p(&image);
    drawTextPage(p, image.rect(), QStringLiteral("あとがき"),
                 {QStringLiteral("小さな絵のページです。画面より小さいページは、画面に合わせて"
                                 "大きく表示されます。"),
                  QStringLiteral("次のページで終わりです。")},
                 6);
    return image;
}

/// A placeable Windows metafile built record by record.
class WmfWriter {
public:
    // Each add creates an object in the next free slot of the table and returns its index.
    quint16 addPen(QColor colour, qint16 width)
    {
        record(0x02FA, {0, quint16(width), 0, low(colour), high(colour)});
        return m_objects++;
    }
    quint16 addBrush(QColor colour)
    {
        record(0x02FC, {0, low(colour), high(colour), 0});
        return m_objects++;
    }
    void select(quint16 object) { record(0x012D, {object}); }
    // No map mode record: the placeable header already fixes the scale, and a player given
    // MM_ANISOTROPIC without a viewport extent draws the page at its own idea of the size.
    // Background mode opaque, since players draw solid fills half-transparent otherwise.
    void setup(qint16 width, qint16 height)
    {
        record(0x0102, {2});
        record(0x020B, {0, 0});                            // window origin
        record(0x020C, {quint16(height), quint16(width)}); // window extent, y first
    }
    void rectangle(qint16 l, qint16 t, qint16 r, qint16 b)
    {
        record(0x041B, {quint16(b), quint16(r), quint16(t), quint16(l)});
    }
    void ellipse(qint16 l, qint16 t, qint16 r, qint16 b)
    {
        record(0x0418, {quint16(b), quint16(r), quint16(t), quint16(l)});
    }
    void polygon(const std::vector<QPoint>& points)
    {
        std::vector<quint16> words = {quint16(points.size())};
        for (const QPoint& pt : points) {
            words.push_back(quint16(pt.x()));
            words.push_back(quint16(pt.y()));
        }
        record(0x0324, words);
    }

    /// The whole file: placeable header (bounding box in units per inch), metafile header,
    /// the records and the end record.
    QByteArray file(qint16 width, qint16 height, quint16 unitsPerInch)
    {
        record(0x0000, {});
        std::vector<quint16> placeable = {0xCDD7,          0x9AC6,       0, 0, 0, quint16(width),
                                          quint16(height), unitsPerInch, 0, 0};
        quint16 checksum = 0;
        for (quint16 w : placeable)
            checksum ^= w;
        placeable.push_back(checksum);
        const quint32 totalWords = 9 + quint32(m_records.size() / 2);
        std::vector<quint16> header = {1,
                                       9,
                                       0x0300,
                                       quint16(totalWords & 0xffff),
                                       quint16(totalWords >> 16),
                                       m_objects,
                                       quint16(m_maxRecord & 0xffff),
                                       quint16(m_maxRecord >> 16),
                                       0};
        QByteArray out;
        for (quint16 w : placeable)
            putWord(out, w);
        for (quint16 w : header)
            putWord(out, w);
        return out + m_records;
    }

private:
    static quint16 low(QColor c) { return quint16(c.red() | (c.green() << 8)); }
    static quint16 high(QColor c) { return quint16(c.blue()); }
    static void putWord(QByteArray& out, quint16 w)
    {
        out.append(char(w & 0xff));
        out.append(char(w >> 8));
    }
    void record(quint16 function, const std::vector<quint16>& params)
    {
        const quint32 words = 3 + quint32(params.size());
        m_maxRecord = qMax(m_maxRecord, words);
        putWord(m_records, quint16(words & 0xffff));
        putWord(m_records, quint16(words >> 16));
        putWord(m_records, function);
        for (quint16 w : params)
            putWord(m_records, w);
    }

    QByteArray m_records;
    quint16 m_objects = 0;
    quint32 m_maxRecord = 0;
};

// The back cover: a house under the sun on a green field, in twips (1440 per inch).
QByteArray backCoverWmf()
{
    constexpr qint16 W = 8391;
    constexpr qint16 H = 11906;
    WmfWriter wmf;
    wmf.setup(W, H);
    const quint16 thinPen = wmf.addPen(QColor(40, 40, 40), 30);
    const quint16 sky = wmf.addBrush(QColor(200, 225, 250));
    const quint16 field = wmf.addBrush(QColor(110, 180, 90));
    const quint16 sun = wmf.addBrush(QColor(250, 200, 60));
    const quint16 wall = wmf.addBrush(QColor(240, 230, 205));
    const quint16 roof = wmf.addBrush(QColor(190, 70, 60));
    const quint16 door = wmf.addBrush(QColor(120, 80, 50));
    const quint16 window = wmf.addBrush(QColor(120, 170, 230));
    wmf.select(thinPen);
    wmf.select(sky);
    wmf.rectangle(0, 0, W, 8000);
    wmf.select(field);
    wmf.rectangle(0, 8000, W, H);
    wmf.select(sun);
    wmf.ellipse(5600, 900, 7400, 2700);
    wmf.select(wall);
    wmf.rectangle(1800, 5200, 5600, 8600);
    wmf.select(roof);
    wmf.polygon({QPoint(1400, 5200), QPoint(3700, 3200), QPoint(6000, 5200)});
    wmf.select(door);
    wmf.rectangle(3300, 6800, 4100, 8600);
    wmf.select(window);
    wmf.rectangle(2200, 5800, 3000, 6600);
    wmf.rectangle(4400, 5800, 5200, 6600);
    wmf.ellipse(3400, 4300, 4000, 4900);
    return wmf.file(W, H, 1440);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

} // namespace
} // namespace folivo

int main(int argc, char** argv)
{
    using namespace folivo;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: folivo_make_sample_book FOLDER\n");
        return 2;
    }
    const QDir folder(args.at(1));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "folivo_make_sample_book: cannot create %s\n", qPrintable(args.at(1)));
        return 1;
    }
    if (QFontInfo(bookFont(12)).family() != BookFont)
        std::fprintf(stderr,
                     "folivo_make_sample_book: %s is missing, Japanese text will not show"
                     " (install fonts-ipafont-gothic)\n",
                     qPrintable(BookFont));
    bool ok = titlePage().save(folder.filePath(QStringLiteral("page01.jpg")), "JPEG", 88) &&
              firstTextPage().save(folder.filePath(QStringLiteral("page02.jpg")), "JPEG", 88) &&
              spreadPage().save(folder.filePath(QStringLiteral("page03.jpg")), "JPEG", 88) &&
              writeFile(folder.filePath(QStringLiteral("page04.gif")), gifFile(shapesPage())) &&
              afterwordPage().save(folder.filePath(QStringLiteral("page05.bmp")), "BMP") &&
              writeFile(folder.filePath(QStringLiteral("page06.wmf")), backCoverWmf());
    if (!ok) {
        std::fprintf(stderr, "folivo_make_sample_book: cannot write the pages into %s\n",
                     qPrintable(args.at(1)));
        return 1;
    }
    return 0;
}
