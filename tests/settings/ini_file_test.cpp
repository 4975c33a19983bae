#include "settings/ini_file.h"

#include "fakes/list_combo_box.h"
#include "fakes/recording_ui.h"
#include "platform/install_folder.h"
#include "platform/ui_services.h"
#include "support/temp_home.h"
#include "support/unprivileged_child.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringList>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace folivo {
namespace {

using namespace Mod_Varnox;

template <class Case> std::string caseName(const ::testing::TestParamInfo<Case>& param)
{
    return param.param.name;
}

class IniFileTest : public ::testing::Test {
protected:
    static QString file() { return settingsFilePath(); }
    static void writeSettings(const QByteArray& content)
    {
        QFile out(file());
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content);
    }
    QStringList lines() const { return home.settingsText().split(u'\n', Qt::SkipEmptyParts); }
    static std::int32_t read(const QString& key, QString& value)
    {
        return Ini_Read(kSectionFolders, key, file(), value);
    }

    test::TempHome home;
    test::RecordingUi recorder;
};

struct SlotKeyCase {
    std::int32_t slot;
    const char* key;
};

class SlotKeyTest : public ::testing::TestWithParam<SlotKeyCase> {};

TEST_P(SlotKeyTest, HasAtLeastThreeDigits)
{
    EXPECT_EQ(slotKey(GetParam().slot), QString::fromLatin1(GetParam().key));
}

INSTANTIATE_TEST_SUITE_P(Keys, SlotKeyTest,
                         ::testing::Values(SlotKeyCase{0, "000"}, SlotKeyCase{7, "007"},
                                           SlotKeyCase{42, "042"}, SlotKeyCase{999, "999"},
                                           SlotKeyCase{1000, "1000"},
                                           SlotKeyCase{123456, "123456"}));

struct ReadCase {
    const char* name;
    const char* content; // nullptr: no settings file
    const char* key;
    std::int32_t result;
    const char* value;
};

class IniReadTest : public IniFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(IniReadTest, GivesTheStoredValueOrMinusOneAndNothing)
{
    const ReadCase& c = GetParam();
    if (c.content)
        writeSettings(c.content);
    QString value = QStringLiteral("left over");
    EXPECT_EQ(read(QString::fromLatin1(c.key), value), c.result);
    EXPECT_EQ(value, QString::fromUtf8(c.value));
}

INSTANTIATE_TEST_SUITE_P(
    Reads, IniReadTest,
    ::testing::Values(
        ReadCase{"MissingFile", nullptr, "000", -1, ""},
        ReadCase{"MissingKey", "[Folders]\n000=/a\n", "001", -1, ""},
        ReadCase{"EmptyValue", "[Folders]\n000=\n", "000", -1, ""},
        ReadCase{"ValueBadini", "[Folders]\n000=Badini\n", "000", -1, ""},
        ReadCase{"OtherSpellingOfBadini", "[Folders]\n000=badini\n", "000", 0, "badini"},
        ReadCase{"UntrimmedValue", "[Folders]\n000=  /a b  \n", "000", 0, "  /a b  "},
        ReadCase{"JapaneseValue", "[Folders]\n000=/本/第一巻\n", "000", 0, "/本/第一巻"}),
    caseName<ReadCase>);

TEST_F(IniFileTest, ReadCutsALongValueTo511Characters)
{
    writeSettings("[Folders]\n000=" + QByteArray(600, 'x') + "\n");
    QString value;
    EXPECT_EQ(read(QStringLiteral("000"), value), 0);
    EXPECT_EQ(value, QString(511, u'x'));
}

TEST_F(IniFileTest, RegisteringThenDeletingGivesTheLinesInTheirOrder)
{
    const QString vol1 = QStringLiteral("/home/u/Books/Vol1");
    const QString tmp = tmpFolderPath();
    test::ListComboBox comboPath;

    // The user registers a folder, the main window opens it and records it as current...
    Ini_Folder_Add(vol1, comboPath);
    EXPECT_EQ(comboPath.text(), vol1);
    Ini_Write(kSectionFolders, kKeyCurrent, file(), vol1);
    // ...then an archive is dropped, unpacked into the temporary folder and registered.
    Ini_Folder_Add(tmp, comboPath);
    Ini_Write(kSectionFolders, kKeyCurrent, file(), tmp);
    EXPECT_EQ(lines(), QStringList({"[Folders]", "000=" + vol1, "Current=" + tmp, "001=" + tmp}));

    test::ListComboBox list({vol1, tmp}, vol1);
    Ini_Folder_Delete(list, comboPath);
    EXPECT_EQ(lines(), QStringList({"[Folders]", "000=" + tmp, "Current=" + tmp, "001="}));
    EXPECT_EQ(comboPath.text(), tmp);
    EXPECT_EQ(list.items, QStringList({vol1, tmp}));
    EXPECT_TRUE(recorder.messages.empty());
}

ino_t inode(const QString& path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_ino;
}

TEST_F(IniFileTest, RegisteringAKnownFolderWritesNothingButSelectsIt)
{
    writeSettings("[Folders]\n000=/a\n001=/b\n");
    const ino_t before = inode(file());
    test::ListComboBox comboPath;
    Ini_Folder_Add(QStringLiteral("  /b "), comboPath);
    EXPECT_EQ(home.settingsText(), QStringLiteral("[Folders]\n000=/a\n001=/b\n"));
    // A write replaces the file by a new one: the same file means no write happened.
    EXPECT_EQ(inode(file()), before);
    EXPECT_EQ(comboPath.text(), QStringLiteral("  /b "));
}

struct AddCase {
    const char* name;
    const char* before; // nullptr: no settings file
    const char* path;
    const char* after;
};

class IniFolderAddTest : public IniFileTest, public ::testing::WithParamInterface<AddCase> {};

TEST_P(IniFolderAddTest, FillsTheFirstFreeSlot)
{
    const AddCase& c = GetParam();
    if (c.before)
        writeSettings(c.before);
    test::ListComboBox comboPath;
    Ini_Folder_Add(QString::fromUtf8(c.path), comboPath);
    EXPECT_EQ(home.settingsText(), QString::fromUtf8(c.after));
    EXPECT_EQ(comboPath.text(), QString::fromUtf8(c.path));
}

INSTANTIATE_TEST_SUITE_P(
    Registrations, IniFolderAddTest,
    ::testing::Values(
        AddCase{"FreshSystem", nullptr, "/a", "[Folders]\n000=/a\n"},
        AddCase{"StoresThePathTrimmed", nullptr, "  /a b  ", "[Folders]\n000=/a b\n"},
        AddCase{"OtherLetterCaseIsAnotherFolder", "[Folders]\n000=/d/Books\n", "/d/books",
                "[Folders]\n000=/d/Books\n001=/d/books\n"},
        AddCase{"EmptySlotIsReusedNotAppended", "[Folders]\n000=/a\n001=/b\n002=\nCurrent=/a\n",
                "/c", "[Folders]\n000=/a\n001=/b\n002=/c\nCurrent=/a\n"},
        AddCase{"GapIsFilledFirst", "[Folders]\n000=/a\n001=\n002=/c\n", "/d",
                "[Folders]\n000=/a\n001=/d\n002=/c\n"},
        AddCase{"BlankSlotIsFree", "[Folders]\n000=   \n", "/a", "[Folders]\n000=/a\n"},
        AddCase{"BadiniSlotIsFree", "[Folders]\n000=Badini\n", "/a", "[Folders]\n000=/a\n"},
        // Only blanks are trimmed: an ideographic space or a tab is part of the name.
        AddCase{"IdeographicSpaceStays", nullptr, " /x/第1巻　 ", "[Folders]\n000=/x/第1巻　\n"},
        AddCase{"NamesDifferingInOtherSpaceAreTwoFolders", "[Folders]\n000=/x/第1巻\n",
                "/x/第1巻\t", "[Folders]\n000=/x/第1巻\n001=/x/第1巻\t\n"},
        AddCase{"CarriageReturnLineEndsAreNoPartOfTheValue", "[Folders]\r\n000=/x/第1巻　\r\n",
                "/x/第1巻　", "[Folders]\r\n000=/x/第1巻　\r\n"}),
    caseName<AddCase>);

TEST_F(IniFileTest, TheThousandAndFirstFolderGoesUnderKey1000)
{
    QByteArray content = "[Folders]\n";
    for (int i = 0; i < 1000; ++i)
        content += slotKey(i).toLatin1() + "=/f" + QByteArray::number(i) + "\n";
    writeSettings(content);
    test::ListComboBox comboPath;
    Ini_Folder_Add(QStringLiteral("/new"), comboPath);
    EXPECT_EQ(lines().size(), 1002);
    EXPECT_EQ(lines().constLast(), QStringLiteral("1000=/new"));
}

struct DeleteCase {
    const char* name;
    const char* before;
    QStringList entries;
    const char* deleted;
    const char* comboText;
    const char* after;
    const char* comboAfter;
};

class IniFolderDeleteTest : public IniFileTest, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(IniFolderDeleteTest, CompactsTheSlotsAndKeepsTheFreedOnesEmpty)
{
    const DeleteCase& c = GetParam();
    writeSettings(c.before);
    test::ListComboBox list(c.entries, QString::fromUtf8(c.deleted));
    test::ListComboBox comboPath({}, QString::fromUtf8(c.comboText));
    Ini_Folder_Delete(list, comboPath);
    EXPECT_EQ(home.settingsText(), QString::fromUtf8(c.after));
    EXPECT_EQ(comboPath.text(), QString::fromUtf8(c.comboAfter));
    EXPECT_EQ(list.items, c.entries);
}

INSTANTIATE_TEST_SUITE_P(
    Deletions, IniFolderDeleteTest,
    ::testing::Values(DeleteCase{"MiddleEntry",
                                 "[Folders]\n000=/a\n001=/b\n002=/c\nCurrent=/a\n",
                                 {"/a", "/b", "/c"},
                                 "/b",
                                 "/a",
                                 "[Folders]\n000=/a\n001=/c\n002=\nCurrent=/a\n",
                                 "/a"},
                      DeleteCase{"EveryOccurrence",
                                 "[Folders]\n000=/a\n001=/b\n002=/a\n",
                                 {"/a", "/b", "/a"},
                                 "/a",
                                 "",
                                 "[Folders]\n000=/b\n001=\n002=\n",
                                 ""},
                      DeleteCase{"TheCurrentFolder",
                                 "[Folders]\n000=/a\n001=/b\nCurrent=/b\n",
                                 {"/a", "/b"},
                                 "/b",
                                 "/b",
                                 "[Folders]\n000=/a\n001=\nCurrent=\n",
                                 ""},
                      DeleteCase{"OnlyLetterCaseDiffers",
                                 "[Folders]\n000=/a\n001=/B\nCurrent=/B\n",
                                 {"/a", "/B"},
                                 "/b",
                                 "/B",
                                 "[Folders]\n000=/a\n001=/B\nCurrent=/B\n",
                                 "/B"},
                      DeleteCase{"NothingSelectedWithNoCurrentFolder",
                                 "[Folders]\n000=/a\nCurrent=/a\n",
                                 {"/a"},
                                 "",
                                 "",
                                 "[Folders]\n000=/a\nCurrent=\n",
                                 ""}),
    caseName<DeleteCase>);

// Whatever keeps the write from happening, the user is told once, after every retry, and
// the program ends with status 1; the file keeps what it held.
enum class Obstacle { MissingFolder, FileIsAFolder, ReadOnlyFolder };

struct FailureCase {
    const char* name;
    Obstacle obstacle;
};

class IniWriteFailureTest : public IniFileTest,
                            public ::testing::WithParamInterface<FailureCase> {};

TEST_P(IniWriteFailureTest, TellsTheUserAndEndsTheProgram)
{
    // Outcome as one number so that a child process can report it: status, messages, text.
    const auto attempt = [&] {
        const QString target = file();
        const QString expected =
            "(" + target +
            QStringLiteral(")ファイルに異常があります。メニュー設定内容は記録されませんでした。 ");
        try {
            Ini_Write(kSectionFolders, QStringLiteral("001"), target, QStringLiteral("/b"));
            return 0;
        } catch (const test::ProgramEnded& ended) {
            const bool right = recorder.messages.size() == 1 &&
                               recorder.messages[0].prompt == expected &&
                               recorder.messages[0].style == MessageStyle::Stop &&
                               recorder.messages[0].title == QStringLiteral("Folivo");
            return ended.status * 100 + static_cast<int>(recorder.messages.size()) * 10 +
                   (right ? 1 : 0);
        }
    };
    const QByteArray home8 = QFile::encodeName(home.path());

    switch (GetParam().obstacle) {
    case Obstacle::MissingFolder:
        qputenv("FOLIVO_HOME", home8 + "/missing");
        EXPECT_EQ(attempt(), 111);
        EXPECT_FALSE(QDir(home.filePath(QStringLiteral("missing"))).exists());
        break;
    case Obstacle::FileIsAFolder:
        ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("Folivo.ini/inner")));
        EXPECT_EQ(attempt(), 111);
        EXPECT_TRUE(QDir(file()).exists(QStringLiteral("inner")));
        break;
    case Obstacle::ReadOnlyFolder:
        writeSettings("[Folders]\n000=/a\n");
        ::chmod(QFile::encodeName(file()).constData(), 0644);
        ::chmod(home8.constData(), 0555);
        EXPECT_EQ(test::runUnprivileged(attempt), 111);
        ::chmod(home8.constData(), 0700);
        EXPECT_EQ(home.settingsText(), QStringLiteral("[Folders]\n000=/a\n"));
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Obstacles, IniWriteFailureTest,
                         ::testing::Values(FailureCase{"MissingFolder", Obstacle::MissingFolder},
                                           FailureCase{"FileIsAFolder", Obstacle::FileIsAFolder},
                                           FailureCase{"ReadOnlyFolder", Obstacle::ReadOnlyFolder}),
                         caseName<FailureCase>);

// Counts the opens of one file in a folder, as the kernel reports them. Closes are watched
// too: the kernel merges an event into an identical one still unread.
class OpenCounter {
public:
    OpenCounter(const QString& folder, const QString& name)
        : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
        , m_name(QFile::encodeName(name))
    {
        if (m_fd >= 0)
            m_watching = ::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(),
                                             IN_OPEN | IN_CLOSE) >= 0;
    }
    ~OpenCounter()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    OpenCounter(const OpenCounter&) = delete;
    OpenCounter& operator=(const OpenCounter&) = delete;

    bool watching() const { return m_watching; }

    int opens()
    {
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
            if (length <= 0)
                return m_opens;
            for (ssize_t at = 0; at < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if ((event->mask & IN_OPEN) && event->len > 0 && m_name == event->name)
                    ++m_opens;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

private:
    int m_fd;
    QByteArray m_name;
    bool m_watching = false;
    int m_opens = 0;
};

TEST_F(IniFileTest, WriteGivesUpAfterTheFirstAttemptAndTenRetries)
{
    // Every attempt opens the settings file's lock before it finds a folder in the file's
    // place, so the lock's opens count the attempts.
    ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("Folivo.ini")));
    OpenCounter lockOpens(home.path(), QStringLiteral("Folivo.ini.lock"));
    ASSERT_TRUE(lockOpens.watching());
    EXPECT_THROW(Ini_Write(kSectionFolders, QStringLiteral("000"), file(), QStringLiteral("/a")),
                 test::ProgramEnded);
    EXPECT_EQ(lockOpens.opens(), 11);
    EXPECT_EQ(recorder.messages.size(), 1U);
}

} // namespace
} // namespace folivo
