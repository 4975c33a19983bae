// Draws the help window's picture of usage instructions and writes it as a 320 × 480, 24-bit,
// uncompressed, bottom-up Windows bitmap. The picture is committed as help/help_page.bmp and
// compiled into the program; it is not made at build time, because the glyphs depend on the
// installed font and FreeType, and the shipped picture must not change with the build machine.
// After changing the text or the layout, make it again by hand from the repository root:
//
//   cmake --build build/dev --target folivo_make_help_picture
//   build/dev/tools/folivo_make_help_picture help/help_page.bmp
//
// and look at the result (convert help/help_page.bmp /tmp/help.png) before committing it.
#include <QColor>
#include <QFile>
#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>
#include <QtEndian>

#include <cstdio>
#include <vector>

namespace folivo {
namespace {

constexpr int PictureWidth = 320;
constexpr int PictureHeight = 480;
constexpr int FontPixels = 12;
constexpr int LinePitch = 14;
constexpr int TopMargin = 5;
constexpr int LeftMargin = 4;
constexpr int RightMargin = 4;
constexpr int ItemIndent = 12;
// The bullets of file kinds belong to the note above them, so they sit one character deeper.
constexpr int BulletIndent = ItemIndent + FontPixels;
const QColor Background(0, 0, 0);
const QColor Ink(255, 255, 128);

enum class Gap { None, Before };

struct HelpLine {
    int indent;
    Gap gap;
    QString text;
    // Where a wrapped line reads best when it breaks: a row may start with one of these.
    QStringList rowStarts = {};
};

// The wording is fixed character for character. A blank line separates the three steps from
// each other and the groups from each other.
const std::vector<HelpLine>& helpLines()
{
    static const std::vector<HelpLine> lines = {
        {0, Gap::None, QStringLiteral("使用方法")},
        {ItemIndent,
         Gap::None,
         QStringLiteral("STEP１：[フォルダ]ボタンから表示したいファイルの有るフォルダを指定して"
                        "ください。"),
         {QStringLiteral("ファイルの"), QStringLiteral("フォルダを")}},
        {ItemIndent,
         Gap::Before,
         QStringLiteral("STEP２：[次=>]ボタンでどんどんページを進めて行ってください。"),
         {QStringLiteral("ページを")}},
        {ItemIndent,
         Gap::Before,
         QStringLiteral(
             "STEP３：細かい所を見たいときは[拡大→]ボタンや[縮小←]ボタンを使って下さい。"),
         {QStringLiteral("[縮小←]")}},
        {0, Gap::Before, QStringLiteral("テンキーの操作説明")},
        {ItemIndent, Gap::None, QStringLiteral("[＋] ：拡大")},
        {ItemIndent, Gap::None, QStringLiteral("[－] ：縮小")},
        {ItemIndent, Gap::None, QStringLiteral("[．] ：倍率固定のオン・オフ")},
        {0, Gap::Before, QStringLiteral("他のキーの操作説明")},
        {ItemIndent,
         Gap::None,
         QStringLiteral("[←]矢印キー ：ボタンなどのフォーカス位置を左に移動"),
         {QStringLiteral("フォーカス")}},
        {ItemIndent,
         Gap::None,
         QStringLiteral("[→]矢印キー ：ボタンなどのフォーカス位置を右に移動"),
         {QStringLiteral("フォーカス")}},
        {0, Gap::Before, QStringLiteral("その他")},
        {ItemIndent, Gap::None, QStringLiteral("■ドラッグ＆ドロップ対応")},
        {ItemIndent, Gap::None,
         QStringLiteral("■フォルダやファイルの右クリックメニュー対応 ※[設定]ボタンより設定変更を"
                        "要する")},
        {BulletIndent, Gap::None,
         QStringLiteral("・lzhファイル ・zipファイル ・ファイルの有るフォルダ")},
        {0,
         Gap::Before,
         QStringLiteral("★ 一度は画面左上の[設定]ボタンを押してみて下さいね。"),
         {QStringLiteral("押して")}},
    };
    return lines;
}

struct Row {
    int x;
    QString text;
};

// Characters that Japanese typesetting never puts at the start of a row.
bool mayNotStartRow(QChar c)
{
    return QStringLiteral("。、，．）」］]ー・ァィゥェォッャュョ").contains(c);
}

// Where continuation rows start: under the text after the colon, or after a leading mark.
int hangingIndent(const QString& text, const QFontMetrics& metrics)
{
    const qsizetype colon = text.indexOf(QChar(u'：'));
    if (colon >= 0)
        return metrics.horizontalAdvance(text.left(colon + 1));
    if (text.startsWith(QStringLiteral("★ ")))
        return metrics.horizontalAdvance(text.left(2));
    if (text.startsWith(QChar(u'■')))
        return metrics.horizontalAdvance(text.left(1));
    return 0;
}

// A note (※) and each bullet (・) after a blank start a row of their own; the blank goes.
QStringList forcedPieces(const QString& text)
{
    QStringList pieces;
    qsizetype start = 0;
    for (qsizetype i = 1; i + 1 < text.size(); ++i) {
        const QChar next = text.at(i + 1);
        if (text.at(i) == QChar(u' ') && (next == QChar(u'※') || next == QChar(u'・'))) {
            pieces << text.mid(start, i - start);
            start = i + 1;
        }
    }
    pieces << text.mid(start);
    return pieces;
}

// The longest head of `text` that fits in `width` and ends where a row may break: at a
// preferred row start if there is one, else anywhere outside a bracketed button name and
// before a character that may start a row.
qsizetype rowLength(const QString& text, int width, const QStringList& rowStarts,
                    const QFontMetrics& metrics)
{
    qsizetype fit = text.size();
    while (fit > 1 && metrics.horizontalAdvance(text.left(fit)) > width)
        --fit;
    if (fit == text.size())
        return fit;
    qsizetype fallback = 0;
    for (qsizetype k = fit; k > 0; --k) {
        const QString head = text.left(k);
        if (head.count(QChar(u'[')) != head.count(QChar(u']')) || mayNotStartRow(text.at(k)))
            continue;
        const QString tail = text.mid(k);
        for (const QString& start : rowStarts) {
            if (tail.startsWith(start))
                return k;
        }
        if (fallback == 0)
            fallback = k;
    }
    return fallback > 0 ? fallback : fit;
}

std::vector<Row> layOut(const HelpLine& line, const QFontMetrics& metrics)
{
    const int x0 = LeftMargin + line.indent;
    const int hanging = x0 + hangingIndent(line.text, metrics);
    const int right = PictureWidth - RightMargin;
    std::vector<Row> rows;
    const QStringList pieces = forcedPieces(line.text);
    for (qsizetype p = 0; p < pieces.size(); ++p) {
        QString rest = pieces.at(p);
        int x = p == 0 ? x0 : hanging;
        while (!rest.isEmpty()) {
            const qsizetype length = rowLength(rest, right - x, line.rowStarts, metrics);
            rows.push_back({x, rest.left(length)});
            rest = rest.mid(length);
            x = hanging;
        }
    }
    return rows;
}

QFont helpFont()
{
    QFont font(QStringLiteral("IPAGothic"));
    font.setPixelSize(FontPixels);
    // Two colours only: the glyphs are drawn without grey edges.
    font.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoFontMerging));
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

bool isInk(QRgb pixel)
{
    return qGreen(pixel) >= 128;
}

QImage drawPicture(QString& failure)
{
    QImage image(PictureWidth, PictureHeight, QImage::Format_RGB32);
    image.fill(Background);
    const QFont font = helpFont();
    if (QFontInfo(font).family() != font.family()) {
        failure = QStringLiteral("the font %1 is not installed (fonts-ipafont-gothic)")
                      .arg(font.family());
        return {};
    }
    const QFontMetrics metrics(font);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Ink);
    int top = TopMargin;
    for (const HelpLine& line : helpLines()) {
        if (line.gap == Gap::Before)
            top += LinePitch;
        for (const Row& row : layOut(line, metrics)) {
            if (row.x + metrics.horizontalAdvance(row.text) > PictureWidth) {
                failure = QStringLiteral("too wide: ") + row.text;
                return {};
            }
            painter.drawText(row.x, top + metrics.ascent(), row.text);
            top += LinePitch;
        }
    }
    painter.end();
    if (top > PictureHeight) {
        failure = QStringLiteral("the text needs %1 pixels of height").arg(top);
        return {};
    }
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = isInk(line[x]) ? Ink.rgb() : Background.rgb();
    }
    return image;
}

template <typename T> void put(QByteArray& out, T value)
{
    const T little = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&little), sizeof little);
}

// BITMAPFILEHEADER and BITMAPINFOHEADER, then rows of blue, green, red from the bottom up.
QByteArray bitmapFile(const QImage& image)
{
    const int rowBytes = (image.width() * 3 + 3) / 4 * 4;
    const quint32 pixelBytes = quint32(rowBytes) * quint32(image.height());
    const quint32 headerBytes = 14 + 40;
    constexpr qint32 PixelsPerMetre = 3780; // 96 DPI
    QByteArray out;
    out.reserve(int(headerBytes + pixelBytes));
    out.append("BM", 2);
    put<quint32>(out, headerBytes + pixelBytes);
    put<quint32>(out, 0);
    put<quint32>(out, headerBytes);
    put<quint32>(out, 40);
    put<qint32>(out, image.width());
    put<qint32>(out, image.height()); // positive height: bottom-up
    put<quint16>(out, 1);
    put<quint16>(out, 24);
    put<quint32>(out, 0); // BI_RGB
    put<quint32>(out, pixelBytes);
    put<qint32>(out, PixelsPerMetre);
    put<qint32>(out, PixelsPerMetre);
    put<quint32>(out, 0);
    put<quint32>(out, 0);
    for (int y = image.height() - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            out.append(char(qBlue(line[x])));
            out.append(char(qGreen(line[x])));
            out.append(char(qRed(line[x])));
        }
        out.append(QByteArray(rowBytes - image.width() * 3, '\0'));
    }
    return out;
}

} // namespace
} // namespace folivo

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: folivo_make_help_picture OUTPUT.bmp\n");
        return 2;
    }
    QString failure;
    const QImage image = folivo::drawPicture(failure);
    if (image.isNull()) {
        std::fprintf(stderr, "folivo_make_help_picture: %s\n", qPrintable(failure));
        return 1;
    }
    QFile file(args.at(1));
    const QByteArray bytes = folivo::bitmapFile(image);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) {
        std::fprintf(stderr, "folivo_make_help_picture: cannot write %s: %s\n",
                     qPrintable(args.at(1)), qPrintable(file.errorString()));
        return 1;
    }
    return 0;
}
