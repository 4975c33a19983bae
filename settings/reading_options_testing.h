#pragma once

#include "settings/reading_options.h"

namespace folivo::ReadingOptions {

/// Sets an option for the life of a test without touching the options file, and puts the
/// previous value back after.
class ScopedOption {
public:
    ScopedOption(Option option, bool on);
    ~ScopedOption();
    ScopedOption(const ScopedOption&) = delete;
    ScopedOption& operator=(const ScopedOption&) = delete;

private:
    Option m_option;
    bool m_previous;
};

} // namespace folivo::ReadingOptions
