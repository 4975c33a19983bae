#pragma once

#include <QString>
#include <QStringList>

namespace folivo {

/// What the program's arguments ask for.
struct CommandLineRequest {
    enum class Kind {
        Open,    ///< open `path` (empty: the current folder, or ask for one)
        Help,    ///< print the usage and end
        Version, ///< print the version and end
    };
    Kind kind = Kind::Open;
    /// The path as the arguments name it: every argument joined by a blank, as a path given
    /// unquoted with blanks arrives in several.
    QString path;
};

/// Reads the arguments after the program's name. --help (-h) and --version (-V) are options
/// only as the first argument; "--" ends the options, so that a book whose name begins with
/// "-" still opens. Every other argument is (part of) the path.
CommandLineRequest readCommandLine(const QStringList& arguments);

/// The text --help prints, ending in a newline.
QString usageText();

/// The text --version prints, ending in a newline.
QString versionText();

} // namespace folivo
