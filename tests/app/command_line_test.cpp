// The arguments: which ones are options, and that every other one is the path, whole.
#include "app/command_line.h"

#include <gtest/gtest.h>

namespace folivo {
namespace {

using Kind = CommandLineRequest::Kind;

TEST(CommandLine, OptionsOnlyFirstAndDoubleDashEndsThem)
{
    struct Case {
        QStringList arguments;
        Kind kind;
        QString path;
    };
    const Case cases[] = {
        {{}, Kind::Open, ""},
        {{"--help"}, Kind::Help, ""},
        {{"-h", "book.zip"}, Kind::Help, ""},
        {{"--version"}, Kind::Version, ""},
        {{"-V"}, Kind::Version, ""},
        {{"--", "-vol1.zip"}, Kind::Open, "-vol1.zip"},
        {{"--", "--help"}, Kind::Open, "--help"},
        {{"--"}, Kind::Open, ""},
        // Anything else is the path, as before: a name with blanks given unquoted arrives in
        // pieces, and a lone "-x" is a file's name.
        {{"/books/my", "book"}, Kind::Open, "/books/my book"},
        {{"-vol1.zip"}, Kind::Open, "-vol1.zip"},
        {{"book.zip", "--help"}, Kind::Open, "book.zip --help"},
        {{"a", "--", "b"}, Kind::Open, "a -- b"},
    };
    for (const Case& c : cases) {
        const CommandLineRequest request = readCommandLine(c.arguments);
        EXPECT_EQ(request.kind, c.kind) << c.arguments.join(u'|').toStdString();
        EXPECT_EQ(request.path, c.path) << c.arguments.join(u'|').toStdString();
    }
}

} // namespace
} // namespace folivo
