#pragma once

#include <mutex>

namespace folivo {

/// A shared library opened the first time one of its functions is asked for, not when the
/// program starts. Loading a library and what it needs costs every start, and most starts
/// open a folder, never an archive, and libarchive with the libraries it pulls in is a part
/// of every start that a reader notices.
class LazyLibrary {
public:
    /// soname: the name the library is installed under, with its ABI version.
    explicit LazyLibrary(const char* soname)
        : m_soname(soname)
    {
    }
    LazyLibrary(const LazyLibrary&) = delete;
    LazyLibrary& operator=(const LazyLibrary&) = delete;

    /// The function's address, or null when the library, or the function in it, cannot be
    /// had. Safe from any thread.
    void* function(const char* name);

private:
    const char* m_soname;
    std::once_flag m_opened;
    void* m_handle = nullptr;
};

} // namespace folivo

// Defines a library's function, `Result name Parameters`, to call the library's own with
// `Arguments` once it is loaded, or to answer `Fallback` when it cannot be. The definition must
// match the library's header, which the file includes first: one that differs does not compile.
// The program is not linked with the library, so this is the only definition it sees, and the
// library's own calls among its functions stay inside it.
// NOLINTBEGIN(bugprone-macro-parentheses): the arguments are a type, a name and lists
#define FOLIVO_LAZY_FORWARD(library, Result, name, Parameters, Arguments, Fallback)                \
    Result name Parameters                                                                         \
    {                                                                                              \
        static const auto real = reinterpret_cast<decltype(&name)>((library).function(#name));     \
        if (!real)                                                                                 \
            return Fallback;                                                                       \
        return real Arguments;                                                                     \
    }
// NOLINTEND(bugprone-macro-parentheses)
