// The reading options file: what a missing or odd file reads as, what a change writes, and
// that a file that cannot be read or written costs a message, never the program.
#include "settings/reading_options.h"
#include "settings/reading_options_testing.h"

#include "fakes/recording_ui.h"
#include "settings/ini_file.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace folivo {
namespace {

using ReadingOptions::Option;

class ReadingOptionsFile : public ::testing::Test {
protected:
    void writeOptions(const QByteArray& content) const
    {
        QFile out(ReadingOptions::optionsFilePath());
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content);
    }
    QByteArray optionsText() const
    {
        QFile in(ReadingOptions::optionsFilePath());
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }

    test::TempHome home;
    test::RecordingUi ui;
    // Whatever a test leaves behind is put back for the next one.
    ReadingOptions::ScopedOption restore{Option::MoreFormats, false};
};

TEST_F(ReadingOptionsFile, OnlyAOneInTheReadingSectionTurnsAnOptionOn)
{
    struct Case {
        const char* content;
        bool on;
    };
    const Case cases[] = {
        {"", false},
        {"[Reading]\nMoreFormats=1\n", true},
        {"[reading]\nmoreformats = 1 \n", true},
        {"[Reading]\nMoreFormats=0\n", false},
        {"[Reading]\nMoreFormats=yes\n", false},
        {"[Reading]\nMoreFormats=2\n", false},
        {"[Folders]\nMoreFormats=1\n", false},
    };
    for (const Case& c : cases) {
        ReadingOptions::ScopedOption wasOn(Option::MoreFormats, true);
        writeOptions(c.content);
        ReadingOptions::load();
        EXPECT_EQ(ReadingOptions::isOn(Option::MoreFormats), c.on) << c.content;
    }
    ASSERT_TRUE(QFile::remove(ReadingOptions::optionsFilePath()));
    ReadingOptions::ScopedOption wasOn(Option::MoreFormats, true);
    ReadingOptions::load();
    EXPECT_FALSE(ReadingOptions::isOn(Option::MoreFormats)) << "missing file";
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ReadingOptionsFile, AChangeIsWrittenAtOnceAndLeavesTheSettingsFileAlone)
{
    Mod_Varnox::Ini_Write(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent,
                          home.filePath(QStringLiteral("Folivo.ini")), QStringLiteral("/books"));
    const QString settingsBefore = home.settingsText();
    writeOptions("[Reading]\nSomethingLater=1\n");

    EXPECT_TRUE(ReadingOptions::set(Option::MoreFormats, true));
    EXPECT_TRUE(ReadingOptions::isOn(Option::MoreFormats));
    EXPECT_EQ(optionsText(), QByteArray("[Reading]\nSomethingLater=1\nMoreFormats=1\n"));
    EXPECT_TRUE(ReadingOptions::set(Option::MoreFormats, false));
    EXPECT_EQ(optionsText(), QByteArray("[Reading]\nSomethingLater=1\nMoreFormats=0\n"));

    ReadingOptions::load();
    EXPECT_FALSE(ReadingOptions::isOn(Option::MoreFormats));
    EXPECT_EQ(home.settingsText(), settingsBefore);
    EXPECT_TRUE(ui.messages.empty());
    // Nothing but the two files and their locks: no temporary file left beside them.
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({"Folivo.ini", "Folivo.ini.lock", "Options.ini", "Options.ini.lock"}));
}

TEST_F(ReadingOptionsFile, AFileThatCannotBeReadOrWrittenCostsAMessageOnly)
{
    // A folder under the file's name can be neither read nor replaced, even by root.
    ASSERT_TRUE(QDir().mkpath(ReadingOptions::optionsFilePath()));
    ReadingOptions::ScopedOption wasOn(Option::MoreFormats, true);
    ReadingOptions::load();
    EXPECT_FALSE(ReadingOptions::isOn(Option::MoreFormats));
    ASSERT_EQ(ui.messages.size(), 1U);
    EXPECT_EQ(
        ui.messages[0].prompt,
        QStringLiteral("オプションファイル　[%1]　を読み込めません。\r\rオプションはすべてオフの"
                       "まま続けます。")
            .arg(ReadingOptions::optionsFilePath()));

    EXPECT_FALSE(ReadingOptions::set(Option::MoreFormats, true));
    // Still on for this run: the reader asked for it.
    EXPECT_TRUE(ReadingOptions::isOn(Option::MoreFormats));
    ASSERT_EQ(ui.messages.size(), 2U);
    EXPECT_EQ(
        ui.messages[1].prompt,
        QStringLiteral("オプションファイル　[%1]　に書き込めません。\r\rこの変更は、Folivoを終了"
                       "すると元に戻ります。")
            .arg(ReadingOptions::optionsFilePath()));
    EXPECT_TRUE(QFileInfo(ReadingOptions::optionsFilePath()).isDir());
}

} // namespace
} // namespace folivo
