#include "app/command_line.h"

namespace folivo {

CommandLineRequest readCommandLine(const QStringList& arguments)
{
    CommandLineRequest request;
    QStringList path = arguments;
    if (!path.isEmpty()) {
        const QString& first = path.first();
        if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
            request.kind = CommandLineRequest::Kind::Help;
            return request;
        }
        if (first == QLatin1String("--version") || first == QLatin1String("-V")) {
            request.kind = CommandLineRequest::Kind::Version;
            return request;
        }
        if (first == QLatin1String("--"))
            path.removeFirst();
    }
    request.path = path.join(QLatin1Char(' '));
    return request;
}

QString usageText()
{
    return QStringLiteral(
        "Usage: folivo [PATH]\n"
        "       folivo -- PATH\n"
        "       folivo --help | --version\n"
        "\n"
        "Reads scanned books and folders of pictures page by page.\n"
        "PATH is a folder of pictures, one picture (JPEG, GIF, BMP, WMF, EMF) or a ZIP or\n"
        "LZH archive; with the reading option MoreFormats also PNG, WebP, TIFF, AVIF and\n"
        "JPEG XL pictures and CBZ, RAR/CBR, 7z/CB7 and tar/CBT books. Without PATH, the folder\n"
        "read last is opened, or the folder window asks for one.\n"
        "\n"
        "  -h, --help     print this text and end\n"
        "  -V, --version  print the version and end\n"
        "  --             end of options: what follows is the path, even if it begins with -\n"
        "\n"
        "Files: the install folder is $FOLIVO_HOME when set, else $XDG_DATA_HOME/folivo\n"
        "(~/.local/share/folivo). It holds Folivo.ini (registered folders), Options.ini\n"
        "(reading options) and tmp/ (the pages of the last archive opened).\n"
        "Exit status: 0, or 1 when the path cannot be opened or the settings cannot be written.\n"
        "See folivo(1).\n");
}

QString versionText()
{
    return QStringLiteral("Folivo %1\n").arg(QLatin1String(FOLIVO_VERSION));
}

} // namespace folivo
