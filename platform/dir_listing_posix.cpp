#include "platform/dir_listing.h"

#include "platform/path_separator.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

namespace folivo {
namespace {

char foldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Compares UTF-8 names: runs of digits by value, everything else byte by byte with ASCII
// letters folded. Returns <0, 0 or >0; 0 only for names equal under that order.
int naturalCompare(std::string_view a, std::string_view b)
{
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            size_t iEnd = i;
            size_t jEnd = j;
            while (iEnd < a.size() && isDigit(a[iEnd]))
                ++iEnd;
            while (jEnd < b.size() && isDigit(b[jEnd]))
                ++jEnd;
            size_t iSig = i;
            size_t jSig = j;
            while (iSig + 1 < iEnd && a[iSig] == '0')
                ++iSig;
            while (jSig + 1 < jEnd && b[jSig] == '0')
                ++jSig;
            const size_t iLen = iEnd - iSig;
            const size_t jLen = jEnd - jSig;
            if (iLen != jLen)
                return iLen < jLen ? -1 : 1;
            if (const int c = a.substr(iSig, iLen).compare(b.substr(jSig, jLen)); c != 0)
                return c;
            // Equal values: fewer leading zeros first (page1 before page01).
            if (iEnd - i != jEnd - j)
                return (iEnd - i) < (jEnd - j) ? -1 : 1;
            i = iEnd;
            j = jEnd;
            continue;
        }
        const auto ca = static_cast<unsigned char>(foldAscii(a[i]));
        const auto cb = static_cast<unsigned char>(foldAscii(b[j]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

bool naturalLessBytes(const std::string& a, const std::string& b)
{
    const int c = naturalCompare(a, b);
    return c != 0 ? c < 0 : a < b;
}

// Windows-style wildcard match on UTF-8 bytes, ASCII letters compared without case.
bool wildcardMatch(std::string_view pattern, std::string_view name)
{
    size_t p = 0;
    size_t n = 0;
    size_t starP = std::string_view::npos;
    size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || foldAscii(pattern[p]) == foldAscii(name[n]))) {
            if (pattern[p] == '?') {
                // "?" stands for one character, not one byte.
                ++n;
                while (n < name.size() && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80)
                    ++n;
                ++p;
            } else {
                ++p;
                ++n;
            }
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

enum class EntryKind { File, Folder, Other };

EntryKind entryKind(const std::string& folder, const dirent* entry)
{
    switch (entry->d_type) {
    case DT_REG:
        return EntryKind::File;
    case DT_DIR:
        return EntryKind::Folder;
    case DT_LNK:
    case DT_UNKNOWN: {
        // A link counts as what it leads to, as a shortcut-free Windows listing would show it.
        struct stat st {};
        const std::string full = folder + "/" + entry->d_name;
        if (::stat(full.c_str(), &st) != 0)
            return EntryKind::Other;
        if (S_ISREG(st.st_mode))
            return EntryKind::File;
        if (S_ISDIR(st.st_mode))
            return EntryKind::Folder;
        return EntryKind::Other;
    }
    default:
        return EntryKind::Other;
    }
}

bool listable(EntryKind kind, int attributes)
{
    if (kind == EntryKind::File)
        return true;
    return kind == EntryKind::Folder && (attributes & ListAttributes::Directory);
}

bool hasWildcard(std::string_view pattern)
{
    return pattern.find_first_of("*?") != std::string_view::npos;
}

bool sameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return foldAscii(x) == foldAscii(y);
           });
}

} // namespace

QStringList listDirectory(const QString& pattern, int attributes, NameMatch match)
{
    const qsizetype cut = pattern.lastIndexOf(kPathSeparator);
    QString folder = cut < 0 ? QStringLiteral(".") : pattern.left(cut);
    if (cut == 0)
        folder = QString(kPathSeparator);
    QString namePattern = cut < 0 ? pattern : pattern.mid(cut + 1);
    // A bare folder path with its trailing separator lists the folder's content.
    if (namePattern.isEmpty()) {
        namePattern = QStringLiteral("*");
        match = NameMatch::Pattern;
    } else if (match == NameMatch::Pattern && namePattern == QLatin1String("*.*")) {
        namePattern = QStringLiteral("*");
    }
    const bool literal = match == NameMatch::Literal;

    const std::string folderBytes = QFile::encodeName(folder).toStdString();
    const std::string nameBytes = QFile::encodeName(namePattern).toStdString();

    if (literal || !hasWildcard(nameBytes)) {
        // A literal name: the entry of exactly that name wins over one differing in case.
        if (nameBytes.empty() || nameBytes[0] == '.')
            return {};
        struct stat st {};
        const std::string full = folderBytes + "/" + nameBytes;
        if (::stat(full.c_str(), &st) == 0) {
            const EntryKind kind = S_ISREG(st.st_mode)   ? EntryKind::File
                                   : S_ISDIR(st.st_mode) ? EntryKind::Folder
                                                         : EntryKind::Other;
            return listable(kind, attributes) ? QStringList{namePattern} : QStringList{};
        }
    }

    DIR* dir = ::opendir(folderBytes.c_str());
    if (!dir)
        return {};
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        if (literal ? !sameIgnoringCase(nameBytes, entry->d_name)
                    : !wildcardMatch(nameBytes, entry->d_name))
            continue;
        if (!listable(entryKind(folderBytes, entry), attributes))
            continue;
        names.emplace_back(entry->d_name);
    }
    ::closedir(dir);

    std::sort(names.begin(), names.end(), naturalLessBytes);
    QStringList result;
    result.reserve(static_cast<qsizetype>(names.size()));
    for (const std::string& name : names)
        result.append(QFile::decodeName(QByteArray::fromStdString(name)));
    return result;
}

DirListing::DirListing(const QString& pattern, int attributes)
    : m_names(listDirectory(pattern, attributes))
{
}

QString DirListing::next()
{
    if (m_position >= m_names.size())
        return QString();
    return m_names.at(m_position++);
}

bool naturalLess(const QString& a, const QString& b)
{
    return naturalLessBytes(a.toStdString(), b.toStdString());
}

} // namespace folivo
