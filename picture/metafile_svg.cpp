#include "picture/metafile_svg.h"

#include "platform/error.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QString>
#include <QStringDecoder>
#include <QtEndian>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

namespace folivo {
namespace {

constexpr quint32 kPlaceableKey = 0x9AC6CDD7;
constexpr int kPlaceableHeaderSize = 22;
constexpr int kMetaHeaderSize = 18;

constexpr quint32 kEmrHeader = 1;
constexpr quint32 kEmfSignature = 0x464D4520; // " EMF"
constexpr int kEmfHeaderMinSize = 88;
constexpr quint32 kEmrEof = 14;

constexpr double kTwipsPerInch = 1440.0;
constexpr double kPointsPerInch = 72.0;
constexpr double kHundredthMmPerInch = 2540.0;

template <typename T> T readLe(const QByteArray& bytes, qsizetype offset)
{
    T value;
    std::memcpy(&value, bytes.constData() + offset, sizeof(T));
    return qFromLittleEndian(value);
}

[[noreturn]] void invalidPicture()
{
    throw Error(ErrorNumber::InvalidPicture);
}

int toTwips(double length, double unitsPerInch)
{
    const double twips = std::nearbyint(length * kTwipsPerInch / unitsPerInch);
    if (!(twips >= 1 && twips <= std::numeric_limits<int>::max()))
        invalidPicture();
    return static_cast<int>(twips);
}

// The 13 standard PostScript fonts that libwmf maps every WMF font to, and their files.
struct StandardFont {
    const char* postScriptName;
    const char* fileName;
    FT_Encoding encoding;
};

constexpr std::array<StandardFont, 13> kStandardFonts{{
    {"Courier", "NimbusMonoPS-Regular.t1", FT_ENCODING_ADOBE_STANDARD},
    {"Courier-Oblique", "NimbusMonoPS-Italic.t1", FT_ENCODING_ADOBE_STANDARD},
    {"Courier-Bold", "NimbusMonoPS-Bold.t1", FT_ENCODING_ADOBE_STANDARD},
    {"Courier-BoldOblique", "NimbusMonoPS-BoldItalic.t1", FT_ENCODING_ADOBE_STANDARD},
    {"Helvetica", "NimbusSans-Regular.t1", FT_ENCODING_ADOBE_STANDARD},
    {"Helvetica-Oblique", "NimbusSans-Italic.t1", FT_ENCODING_ADOBE_STANDARD},
    {"Helvetica-Bold", "NimbusSans-Bold.t1", FT_ENCODING_ADOBE_STANDARD},
    {"Helvetica-BoldOblique", "NimbusSans-BoldItalic.t1", FT_ENCODING_ADOBE_STANDARD},
    {"Times-Roman", "NimbusRoman-Regular.t1", FT_ENCODING_ADOBE_STANDARD},
    {"Times-Italic", "NimbusRoman-Italic.t1", FT_ENCODING_ADOBE_STANDARD},
    {"Times-Bold", "NimbusRoman-Bold.t1", FT_ENCODING_ADOBE_STANDARD},
    {"Times-BoldItalic", "NimbusRoman-BoldItalic.t1", FT_ENCODING_ADOBE_STANDARD},
    {"Symbol", "StandardSymbolsPS.t1", FT_ENCODING_ADOBE_CUSTOM},
}};

/// The font options handed to libwmf, with the strings they point into.
class WmfFontMap {
public:
    // libwmf searches its own font folders after the caller's and puts a folder in front of
    // every file name, even an absolute one, so a folder given alone would not keep it from
    // the installed fonts. The files are named from the root instead: the empty folder
    // plus "/" plus the path without its leading "/" is the path itself, and no other
    // folder in its list leads to an existing file.
    explicit WmfFontMap(const QString& folder)
    {
        const QByteArray base = QFile::encodeName(QFileInfo(folder).absoluteFilePath());
        for (const StandardFont& font : kStandardFonts) {
            m_names.emplace_back(font.postScriptName);
            m_files.push_back((base + '/' + font.fileName).mid(1));
        }
        for (size_t i = 0; i < kStandardFonts.size(); ++i)
            m_mappings.push_back(
                {m_names[i].data(), m_files[i].data(), kStandardFonts[i].encoding});
        m_mappings.push_back({nullptr, nullptr, FT_ENCODING_NONE});
        m_fontDirs = {m_empty.data(), nullptr};
    }
    WmfFontMap(const WmfFontMap&) = delete;
    WmfFontMap& operator=(const WmfFontMap&) = delete;

    void apply(wmfAPI_Options& options)
    {
        options.fontdirs = m_fontDirs.data();
        options.font.ps = m_mappings.data();
        // Ghostscript's font map would add fonts from elsewhere: a page looks the same on
        // every machine.
        options.gs_fontmap_file = m_noMap.data();
    }

    static constexpr unsigned long kFlags = WMF_OPT_FONTDIRS | WMF_OPT_FONTMAP | WMF_OPT_GS_FONTMAP;

private:
    std::vector<QByteArray> m_names;
    std::vector<QByteArray> m_files;
    std::vector<wmfMapping> m_mappings;
    QByteArray m_empty = "";
    QByteArray m_noMap = "/dev/null";
    std::vector<char*> m_fontDirs;
};

bool hasEveryStandardFont(const QString& folder)
{
    for (const StandardFont& font : kStandardFonts) {
        if (!QFileInfo(folder + QLatin1Char('/') + QLatin1String(font.fileName)).isFile())
            return false;
    }
    return true;
}

// When libwmf cannot load a font it fails the whole picture. The picture is not at fault
// then, so the message names what the system lacks; the number stays that of a picture that
// cannot be shown, which every caller already reports and recovers from.
[[noreturn]] void wmfFailed(const QString& fontFolder)
{
    if (hasEveryStandardFont(fontFolder))
        invalidPicture();
    throw Error(ErrorNumber::InvalidPicture,
                QStringLiteral("WMF fonts missing: install fonts-urw-base35 (%1)").arg(fontFolder));
}

struct WmfApiDeleter {
    void operator()(wmfAPI* api) const { wmf_api_destroy(api); }
};

// libwmf copies text bytes as they stand in the file, which on Japanese Windows is CP932;
// Qt's SVG parser wants UTF-8.
QString decodeWmfSvg(const QByteArray& svg)
{
    QStringDecoder cp932("CP932");
    if (!cp932.isValid())
        return QString::fromLatin1(svg);
    return cp932.decode(svg);
}

} // namespace

QString wmfFontFolder()
{
    return QStringLiteral("/usr/share/fonts/type1/urw-base35");
}

bool isPlaceableWmf(const QByteArray& file)
{
    return file.size() >= kPlaceableHeaderSize && readLe<quint32>(file, 0) == kPlaceableKey;
}

bool isEmf(const QByteArray& file)
{
    return file.size() >= kEmfHeaderMinSize && readLe<quint32>(file, 0) == kEmrHeader &&
           readLe<quint32>(file, 40) == kEmfSignature;
}

MetafileSvg wmfToSvg(const QByteArray& file, const QString& fontFolder)
{
    if (!isPlaceableWmf(file) || file.size() < kPlaceableHeaderSize + kMetaHeaderSize)
        invalidPicture();
    const int left = readLe<qint16>(file, 6);
    const int top = readLe<qint16>(file, 8);
    const int right = readLe<qint16>(file, 10);
    const int bottom = readLe<qint16>(file, 12);
    const int unitsPerInch = readLe<quint16>(file, 14);
    const int widthUnits = std::abs(right - left);
    const int heightUnits = std::abs(bottom - top);
    if (unitsPerInch == 0 || widthUnits == 0 || heightUnits == 0)
        invalidPicture();
    // libwmf allocates the largest record the header announces before reading any: a
    // record cannot be larger than the file it is in.
    const qint64 maxRecordBytes = qint64{readLe<quint32>(file, kPlaceableHeaderSize + 12)} * 2;
    if (maxRecordBytes > file.size())
        invalidPicture();

    MetafileSvg result;
    result.naturalSizeTwips =
        QSize(toTwips(widthUnits, unitsPerInch), toTwips(heightUnits, unitsPerInch));

    wmfAPI_Options options{};
    options.function = wmf_svg_function;
    WmfFontMap fonts(fontFolder);
    fonts.apply(options);
    wmfAPI* rawApi = nullptr;
    const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR |
                                WMF_OPT_NO_DEBUG | WmfFontMap::kFlags;
    if (wmf_api_create(&rawApi, flags, &options) != wmf_E_None) {
        if (rawApi)
            wmf_api_destroy(rawApi);
        invalidPicture();
    }
    const std::unique_ptr<wmfAPI, WmfApiDeleter> api(rawApi);

    QByteArray input = file; // libwmf wants a mutable buffer
    if (wmf_mem_open(api.get(), reinterpret_cast<unsigned char*>(input.data()),
                     static_cast<long>(input.size())) != wmf_E_None)
        invalidPicture();
    wmfD_Rect bbox{};
    if (wmf_scan(api.get(), 0, &bbox) != wmf_E_None)
        wmfFailed(fontFolder);

    // The scan's box is cropped to the ink; the page is what the header says, in points.
    bbox.TL.x = 0;
    bbox.TL.y = 0;
    bbox.BR.x = static_cast<float>(widthUnits * kPointsPerInch / unitsPerInch);
    bbox.BR.y = static_cast<float>(heightUnits * kPointsPerInch / unitsPerInch);

    wmf_svg_t* device = WMF_SVG_GetData(api.get());
    device->out = wmf_stream_create(api.get(), nullptr);
    device->Description = nullptr;
    device->bbox = bbox;
    wmf_display_size(api.get(), &device->width, &device->height, kPointsPerInch, kPointsPerInch);
    const wmf_error_t played = wmf_play(api.get(), 0, &bbox);

    char* buffer = nullptr;
    unsigned long length = 0;
    wmf_stream_destroy(api.get(), device->out, &buffer, &length);
    const QByteArray raw(buffer, buffer ? static_cast<qsizetype>(length) : 0);
    if (buffer)
        wmf_free(api.get(), buffer);
    if (played != wmf_E_None || raw.isEmpty())
        wmfFailed(fontFolder);

    QString svg = decodeWmfSvg(raw);
    // With a transparent background mode libwmf fades every fill to half; metafiles have
    // no transparency, so every fill is drawn solid.
    static const QRegularExpression halfFill(QStringLiteral("fill-opacity:[0-9.]+;?"));
    svg.remove(halfFill);
    result.svg = svg.toUtf8();
    return result;
}

MetafileSvg emfToSvg(const QByteArray& file)
{
    if (!isEmf(file))
        invalidPicture();
    const quint32 headerSize = readLe<quint32>(file, 4);
    const quint32 totalSize = readLe<quint32>(file, 48);
    if (headerSize < kEmfHeaderMinSize || headerSize > totalSize ||
        totalSize > static_cast<quint64>(file.size()))
        invalidPicture();
    // libemf2svg trusts every record's size: walk them first, each inside the file, up to
    // the closing record.
    bool closed = false;
    for (quint64 at = 0; at + 8 <= totalSize && !closed;) {
        const quint32 type = readLe<quint32>(file, static_cast<qsizetype>(at));
        const quint32 size = readLe<quint32>(file, static_cast<qsizetype>(at + 4));
        if (size < 8 || size % 4 != 0 || at + size > totalSize)
            invalidPicture();
        closed = type == kEmrEof;
        at += size;
    }
    if (!closed)
        invalidPicture();
    const qint64 frameLeft = readLe<qint32>(file, 24);
    const qint64 frameTop = readLe<qint32>(file, 28);
    const qint64 frameRight = readLe<qint32>(file, 32);
    const qint64 frameBottom = readLe<qint32>(file, 36);
    const qint64 widthHmm = frameRight - frameLeft;
    const qint64 heightHmm = frameBottom - frameTop;
    if (widthHmm <= 0 || heightHmm <= 0)
        invalidPicture();

    MetafileSvg result;
    result.naturalSizeTwips = QSize(toTwips(static_cast<double>(widthHmm), kHundredthMmPerInch),
                                    toTwips(static_cast<double>(heightHmm), kHundredthMmPerInch));

    QByteArray input = file.left(totalSize); // emf2svg wants a mutable buffer
    // libemf2svg reads the description string wherever the header points, even when it is
    // empty. It is only a caption: one that does not lie inside the header is dropped.
    const quint64 descriptionChars = readLe<quint32>(input, 60);
    const quint64 descriptionOffset = readLe<quint32>(input, 64);
    if (descriptionChars == 0 || descriptionOffset < kEmfHeaderMinSize ||
        descriptionOffset + descriptionChars * 2 > headerSize) {
        qToLittleEndian<quint32>(0, input.data() + 60);
        qToLittleEndian<quint32>(0, input.data() + 64);
    }
    char emptyNamespace[] = "";
    generatorOptions options{};
    options.nameSpace = emptyNamespace;
    options.svgDelimiter = true;
    char* out = nullptr;
    size_t outLength = 0;
    // emf2svg answers 1 on success.
    const int converted =
        emf2svg(input.data(), static_cast<size_t>(input.size()), &out, &outLength, &options);
    const QByteArray svg(out, out ? static_cast<qsizetype>(outLength) : 0);
    std::free(out);
    if (converted != 1 || svg.isEmpty())
        invalidPicture();
    result.svg = svg;
    return result;
}

} // namespace folivo
