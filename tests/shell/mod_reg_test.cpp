#include "shell/mod_reg.h"

#include "platform/ui_services.h"
#include "shell/desktop_entry.h"
#include "shell/shell_fixture.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <ostream>

#include <sys/stat.h>

namespace folivo::test {
namespace {

using namespace Qt::StringLiterals;
using Mod_Reg::HKEY_CLASSES_ROOT;

const QString kVerbCommand = u"\\shell\\フォリボ起動\\command"_s;
const QString kVerb = u"\\shell\\フォリボ起動"_s;
const QString kOpenCommand = u"\\shell\\open\\command"_s;
const QString kAdministratorDenied =
    u"管理者権限の有るユーザーでログインし直し実行してください。\r\r\rAccess is denied."_s;

class RegTest : public ShellTest {
protected:
    void expectOnlyWarnings(const QStringList& prompts)
    {
        ASSERT_EQ(recorder.messages.size(), size_t(prompts.size()));
        for (size_t i = 0; i < recorder.messages.size(); ++i) {
            EXPECT_EQ(recorder.messages[i].prompt, prompts[qsizetype(i)]);
            EXPECT_EQ(recorder.messages[i].style, MessageStyle::Warning);
            EXPECT_EQ(recorder.messages[i].title, u"Folivo"_s);
        }
    }
    void makeStoreReadOnly()
    {
        seed(u"placeholder"_s, QString());
        ASSERT_EQ(::chmod(QFile::encodeName(keyStorePath()).constData(), 0444), 0);
    }
};

// ---- reading and writing single values ----

TEST_F(RegTest, ReadingAMissingKeyGivesMinusOneAndNothingSilently)
{
    QString value = u"stale"_s;
    EXPECT_EQ(Mod_Reg::Reg_Value_Get(HKEY_CLASSES_ROOT, u".zip"_s, QString(), value), -1);
    EXPECT_TRUE(value.isEmpty());
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(RegTest, ReadingAnEmptyDefaultValueSucceeds)
{
    seed(u".zip"_s, QString());
    QString value = u"stale"_s;
    EXPECT_EQ(Mod_Reg::Reg_Value_Get(HKEY_CLASSES_ROOT, u".zip"_s, QString(), value), 0);
    EXPECT_TRUE(value.isEmpty());
}

struct LengthCase {
    const char* name;
    QString text;
    int result;
};

void PrintTo(const LengthCase& c, std::ostream* out)
{
    *out << c.name;
}

class RegValueLength : public RegTest, public ::testing::WithParamInterface<LengthCase> {};

// The read buffer is 250 bytes with the terminating NUL: the limit counts UTF-8 bytes.
TEST_P(RegValueLength, OnlyTextOfUpTo249BytesIsRead)
{
    const LengthCase& c = GetParam();
    ASSERT_EQ(Mod_Reg::Reg_Value_Set(HKEY_CLASSES_ROOT, u"long"_s, QString(), c.text), 0);
    QString value;
    EXPECT_EQ(Mod_Reg::Reg_Value_Get(HKEY_CLASSES_ROOT, u"long"_s, QString(), value), c.result);
    EXPECT_EQ(value, c.result == 0 ? c.text : QString());
    EXPECT_TRUE(recorder.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Lengths, RegValueLength,
                         ::testing::Values(LengthCase{"Ascii249", QString(249, u'a'), 0},
                                           LengthCase{"Ascii250", QString(250, u'a'), -1},
                                           LengthCase{"Kana249Bytes", QString(83, u'あ'), 0},
                                           LengthCase{"Kana84Chars252Bytes", QString(84, u'あ'),
                                                      -1}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST_F(RegTest, WritingBelowAMissingKeyCreatesTheChain)
{
    EXPECT_EQ(Mod_Reg::Reg_Value_Set(HKEY_CLASSES_ROOT, u"A\\B\\C"_s, QString(), u"v"_s), 0);
    EXPECT_TRUE(exists(u"A\\B"_s));
    EXPECT_EQ(defaultValue(u"a\\b\\c"_s), u"v"_s);
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(RegTest, WritingToAReadOnlyStoreAsksForAnAdministrator)
{
    makeStoreReadOnly();
    EXPECT_EQ(Mod_Reg::Reg_Value_Set(HKEY_CLASSES_ROOT, u"A\\B"_s, QString(), u"v"_s), -1);
    EXPECT_EQ(Mod_Reg::Reg_Value_Set(HKEY_CLASSES_ROOT, u"placeholder"_s, QString(), u"v"_s), -1);
    expectOnlyWarnings({kAdministratorDenied, kAdministratorDenied});
}

TEST_F(RegTest, DeletingAMissingKeyIsSilent)
{
    Mod_Reg::Reg_Key_Delete(HKEY_CLASSES_ROOT, u"Folder\\shell\\nothing"_s);
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(RegTest, DeletingAKeyWithSubkeysFailsAndSaysWhy)
{
    seed(u"Folder"_s + kVerbCommand, kCommand);
    Mod_Reg::Reg_Key_Delete(HKEY_CLASSES_ROOT, u"Folder"_s + kVerb);
    EXPECT_TRUE(exists(u"Folder"_s + kVerb));
    expectOnlyWarnings({u"The directory is not empty."_s});
}

// ---- the verb ----

TEST_F(RegTest, SetWithoutExtensionKeysMakesTheProgramTheirOpenAction)
{
    Mod_Reg::Menu_Set();
    for (const QString& extension : {u".zip"_s, u".lzh"_s}) {
        EXPECT_EQ(defaultValue(extension + kOpenCommand), kCommand) << extension.toStdString();
        EXPECT_EQ(defaultValue(extension + kVerbCommand), kCommand) << extension.toStdString();
        EXPECT_FALSE(exists(u""_s + extension + u"\\shell\\フォリボ起動\\command\\x"_s));
    }
    EXPECT_EQ(defaultValue(u"Folder"_s + kVerbCommand), kCommand);
    // Verb keys get no value of their own.
    EXPECT_TRUE(exists(u"Folder"_s + kVerb));
    EXPECT_TRUE(defaultValue(u"Folder"_s + kVerb).isNull());
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(RegTest, SetWithAClassWritesOnlyBelowTheClass)
{
    seed(u".zip"_s, u"CompressedFolder"_s);
    seed(u"compressedfolder\\shell\\open\\command"_s, u"explorer.exe %1"_s);
    seed(u".zip\\shell\\open\\command"_s, u"unzip-tool %1"_s);

    Mod_Reg::Menu_Set();

    EXPECT_EQ(defaultValue(u"CompressedFolder"_s + kVerbCommand), kCommand);
    EXPECT_EQ(defaultValue(u"CompressedFolder\\shell\\open\\command"_s), u"explorer.exe %1"_s);
    EXPECT_EQ(defaultValue(u".zip\\shell\\open\\command"_s), u"unzip-tool %1"_s);
    EXPECT_FALSE(exists(u".zip"_s + kVerb));
}

TEST_F(RegTest, SetAgainRewritesOnlyTheExtensionsWithoutClass)
{
    seed(u".zip"_s, u"CompressedFolder"_s);
    Mod_Reg::Menu_Set();
    // Read-only, the store refuses every value written again, out loud: .lzh has no class, so
    // its open and verb commands are written again; the rest already holds the command.
    const QByteArray path = QFile::encodeName(keyStorePath());
    ASSERT_EQ(::chmod(path.constData(), 0444), 0);
    {
        const HeldKeyFile held;
        Mod_Reg::Menu_Set();
        expectOnlyWarnings({kAdministratorDenied, kAdministratorDenied});
        EXPECT_TRUE(held.untouched());
    }
    ASSERT_EQ(::chmod(path.constData(), 0644), 0);
    recorder.messages.clear();

    seed(u".lzh"_s, u"LhaFile"_s);
    Mod_Reg::Menu_Set(); // writes the new class's verb
    EXPECT_EQ(defaultValue(u"LhaFile"_s + kVerbCommand), kCommand);
    const HeldKeyFile settled;
    Mod_Reg::Menu_Set();
    EXPECT_TRUE(settled.untouched());
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(RegTest, SetCorrectsAVerbCommandThatPointsElsewhere)
{
    seed(u"Folder"_s + kVerbCommand, u"\"/old/folivo\" \"%1\""_s);
    Mod_Reg::Menu_Set();
    EXPECT_EQ(defaultValue(u"FOLDER\\Shell\\フォリボ起動\\Command"_s), kCommand);
}

TEST_F(RegTest, AnEmptyClassNameCountsAsNoClass)
{
    seed(u".zip"_s, QString());
    Mod_Reg::Menu_Set();
    EXPECT_EQ(defaultValue(u".zip"_s + kVerbCommand), kCommand);
    Mod_Reg::Menu_Remove();
    EXPECT_FALSE(exists(u".zip"_s + kVerb));
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(RegTest, RemoveWithNothingRegisteredShowsNothingAndWritesNothing)
{
    seed(u".zip"_s, u"CompressedFolder"_s);
    const HeldKeyFile held;
    Mod_Reg::Menu_Remove();
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_TRUE(held.untouched());
}

TEST_F(RegTest, RemoveTakesTheVerbsAndLeavesTheOpenCommands)
{
    seed(u".lzh"_s, u"LhaFile"_s);
    Mod_Reg::Menu_Set();
    Mod_Reg::Menu_Remove();

    EXPECT_FALSE(exists(u"Folder"_s + kVerb));
    EXPECT_TRUE(exists(u"Folder\\shell"_s));
    EXPECT_FALSE(exists(u".zip"_s + kVerb));
    EXPECT_FALSE(exists(u"LhaFile"_s + kVerb));
    EXPECT_EQ(defaultValue(u".zip"_s + kOpenCommand), kCommand);
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(RegTest, EveryWriteToAReadOnlyStoreIsReportedAndTheRestGoesOn)
{
    makeStoreReadOnly();
    Mod_Reg::Menu_Set();
    // .zip open and verb, .lzh open and verb, the folder verb.
    expectOnlyWarnings(QStringList(5, kAdministratorDenied));
    EXPECT_FALSE(exists(u"Folder"_s + kVerb));
    // The desktop entry is the user's own and still goes in.
    EXPECT_TRUE(QFile::exists(desktopEntryPath()));
}

// ---- the desktop entry ----

TEST_F(RegTest, SetInstallsTheDesktopEntryAndRemoveTakesItAway)
{
    Mod_Reg::Menu_Set();
    const QString path = dataPath() + u"/applications/folivo-open.desktop"_s;
    ASSERT_EQ(desktopEntryPath(), path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains(u"\nName=フォリボ起動\n"_s));
    EXPECT_TRUE(text.contains(u"\nExec=\"/opt/folivo/bin/folivo\" %f\n"_s));
    EXPECT_TRUE(text.contains(
        u"\nMimeType=inode/directory;application/zip;application/x-lzh-compressed;\n"_s));
    file.close();

    Mod_Reg::Menu_Remove();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(recorder.messages.empty());
}

class DesktopEntryValidation : public ShellTest, public ::testing::WithParamInterface<QString> {};

TEST_P(DesktopEntryValidation, PassesTheValidator)
{
    const QString validator = QStandardPaths::findExecutable(u"desktop-file-validate"_s);
    if (validator.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed";
    ASSERT_EQ(installDesktopEntry(u"フォリボ起動"_s, GetParam()), 0);
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(validator, {desktopEntryPath()});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAll().toStdString();
    EXPECT_TRUE(process.readAll().trimmed().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(ProgramPaths, DesktopEntryValidation,
                         ::testing::Values(u"/opt/folivo/bin/folivo"_s,
                                           u"/home/a b/100% \"q\" $x `y` \\z/フォリボ"_s));

} // namespace
} // namespace folivo::test
