#pragma once

#include <QString>

#include <exception>
#include <string>

namespace folivo {

/// Error numbers that the program's failure messages report ("...Error No=53").
namespace ErrorNumber {
constexpr int Overflow = 6;
constexpr int OutOfMemory = 7;
constexpr int FileNotFound = 53;
constexpr int PathFileAccess = 75;
constexpr int PathNotFound = 76;
constexpr int InvalidPicture = 481;
} // namespace ErrorNumber

/// A failed call, carrying the number and description shown to the user.
class Error : public std::exception {
public:
    Error(int number, QString description);
    /// An error with the standard description of its number.
    explicit Error(int number);

    int number() const { return m_number; }
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_what.c_str(); }

    static QString standardDescription(int number);

private:
    int m_number;
    QString m_description;
    std::string m_what;
};

} // namespace folivo
