#pragma once

#include <QString>

namespace folivo {

/// The text without the blanks (U+0020) at its two ends. Other white space belongs to the
/// text: the ideographic space common at the end of Japanese names, tabs and line breaks
/// are characters of a file name, and QString::trimmed() would turn a folder named
/// "第1巻　" into "第1巻", which does not exist.
inline QString trimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return begin == 0 && end == text.size() ? text : text.mid(begin, end - begin);
}

} // namespace folivo
