#pragma once

#include <QString>

namespace folivo::ReadingOptions {

/// What Folivo does beyond reading the classic formats one page at a time. Each option is off
/// until the reader turns it on, and with every option off Folivo reads as it always has.
enum class Option {
    /// PNG, WebP, TIFF, AVIF and JPEG XL pages; CBZ, RAR, 7z and tar books.
    MoreFormats,
    /// Two pages side by side.
    Spread,
    /// The later page of a pair on the left, as a book bound on the right.
    RightToLeft,
    /// In spreads, the first page alone, then pairs (2, 3), (4, 5), ...
    CoverAlone,
    /// A book opened again shows the page it was left on.
    Resume,
};

/// How many options there are.
inline constexpr int kOptionCount = 5;

/// The options file, <install folder>/Options.ini: section "Reading", one key per option with
/// the value 0 or 1. A missing file or key is 0. The settings file is never touched by it.
QString optionsFilePath();

/// The option's key in the options file.
QString key(Option option);

/// Whether the option is on. Safe on any thread; off until load() has read it on.
bool isOn(Option option);

/// Reads every option from the options file. A file that is there but cannot be read shows
/// a message box once and leaves every option off; the program goes on.
void load();

/// Turns the option on or off for this run and writes it to the options file at once,
/// atomically. Returns false, after a message box, when the file cannot be written: the
/// option then holds for this run only.
bool set(Option option, bool on);

} // namespace folivo::ReadingOptions
