#include "store/key_store.h"

#include "shell/shell_fixture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace folivo::test {
using namespace Qt::StringLiterals;
namespace {

using KeyStoreTest = ShellTest;

QByteArray storeText()
{
    QFile file(keyStorePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeStoreText(const QByteArray& text)
{
    QFile file(keyStorePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

TEST_F(KeyStoreTest, CreateMakesEveryMissingKeyAboveIt)
{
    seed(u"Folder\\shell\\フォリボ起動\\command"_s, kCommand);
    EXPECT_TRUE(exists(u"Folder"_s));
    EXPECT_TRUE(exists(u"Folder\\shell\\フォリボ起動"_s));
    EXPECT_EQ(defaultValue(u"Folder\\shell\\フォリボ起動\\command"_s), kCommand);
    // Keys created on the way hold no value.
    KeyHandle handle;
    ASSERT_EQ(keyOpen(kClassesRoot, u"Folder\\shell"_s, handle), KeyResult::Success);
    char buffer[16];
    quint32 size = sizeof buffer;
    EXPECT_EQ(keyQueryValue(handle, QString(), buffer, size), KeyResult::FileNotFound);
}

TEST_F(KeyStoreTest, KeyAndValueNamesIgnoreCaseAndKeepTheirFirstSpelling)
{
    KeyHandle handle;
    ASSERT_EQ(keyCreate(kClassesRoot, u"CompressedFolder\\Shell"_s, handle), KeyResult::Success);
    ASSERT_EQ(keySetValue(handle, u"FriendlyName"_s, "first"), KeyResult::Success);
    ASSERT_EQ(keySetValue(handle, u"FRIENDLYNAME"_s, "second"), KeyResult::Success);

    KeyHandle other;
    ASSERT_EQ(keyOpen(kClassesRoot, u"compressedfolder\\SHELL"_s, other), KeyResult::Success);
    char buffer[32];
    quint32 size = sizeof buffer;
    ASSERT_EQ(keyQueryValue(other, u"friendlyname"_s, buffer, size), KeyResult::Success);
    EXPECT_STREQ(buffer, "second");
    EXPECT_TRUE(storeText().contains("[CompressedFolder\\Shell]\n\"FriendlyName\"=\"second\"\n"));
}

TEST_F(KeyStoreTest, ValuesSurviveTheFileWithQuotesBackslashesAndLineBreaks)
{
    const QByteArray tricky = "\"C:\\a b\\x.exe\" \"%1\"\nline\ttab ]\x01 日本";
    KeyHandle handle;
    ASSERT_EQ(keyCreate(kClassesRoot, u"a]b\\[c"_s, handle), KeyResult::Success);
    ASSERT_EQ(keySetValue(handle, u"na\"me"_s, tricky), KeyResult::Success);

    KeyHandle reopened;
    ASSERT_EQ(keyOpen(kClassesRoot, u"A]B\\[C"_s, reopened), KeyResult::Success);
    char buffer[128];
    quint32 size = sizeof buffer;
    ASSERT_EQ(keyQueryValue(reopened, u"NA\"ME"_s, buffer, size), KeyResult::Success);
    EXPECT_EQ(QByteArray(buffer, size - 1), tricky);
    EXPECT_TRUE(storeText().startsWith("Folivo key store 1\n"));
}

TEST_F(KeyStoreTest, QueryReportsTheSizeNeededWhenTheBufferIsTooSmall)
{
    seed(u"k"_s, u"abcd"_s);
    KeyHandle handle;
    ASSERT_EQ(keyOpen(kClassesRoot, u"k"_s, handle), KeyResult::Success);
    char buffer[5];
    quint32 size = 4;
    EXPECT_EQ(keyQueryValue(handle, QString(), buffer, size), KeyResult::MoreData);
    EXPECT_EQ(size, 5u);
    size = 5;
    EXPECT_EQ(keyQueryValue(handle, QString(), buffer, size), KeyResult::Success);
    EXPECT_STREQ(buffer, "abcd");
}

TEST_F(KeyStoreTest, CallsOnTheZeroHandleFail)
{
    KeyHandle handle;
    EXPECT_EQ(keyOpen(kClassesRoot, u"missing"_s, handle), KeyResult::FileNotFound);
    EXPECT_FALSE(handle.open);
    char buffer[8];
    quint32 size = sizeof buffer;
    EXPECT_EQ(keyQueryValue(handle, QString(), buffer, size), KeyResult::InvalidHandle);
    EXPECT_EQ(keySetValue(handle, QString(), "x"), KeyResult::InvalidHandle);
    EXPECT_EQ(keyClose(handle), KeyResult::InvalidHandle);
}

TEST_F(KeyStoreTest, PathsWithEmptyLevelsAndOtherRootsAreRefused)
{
    KeyHandle handle;
    EXPECT_EQ(keyCreate(kClassesRoot, u"\\shell\\x"_s, handle), KeyResult::BadPathname);
    EXPECT_EQ(keyCreate(kClassesRoot, u"a\\\\b"_s, handle), KeyResult::BadPathname);
    EXPECT_EQ(keyCreate(kClassesRoot, u"a\nb"_s, handle), KeyResult::BadPathname);
    EXPECT_EQ(keyCreate(0x80000001u, u"a"_s, handle), KeyResult::InvalidHandle);
    EXPECT_FALSE(QFile::exists(keyStorePath()));
}

TEST_F(KeyStoreTest, DeleteRemovesOnlyAKeyWithoutSubkeys)
{
    seed(u"Folder\\shell\\verb\\command"_s, kCommand);
    EXPECT_EQ(keyDelete(kClassesRoot, u"Folder\\shell\\verb"_s), KeyResult::DirectoryNotEmpty);
    EXPECT_TRUE(exists(u"Folder\\shell\\verb\\command"_s));

    EXPECT_EQ(keyDelete(kClassesRoot, u"FOLDER\\Shell\\Verb\\Command"_s), KeyResult::Success);
    EXPECT_FALSE(exists(u"Folder\\shell\\verb\\command"_s));
    EXPECT_EQ(keyDelete(kClassesRoot, u"Folder\\shell\\verb"_s), KeyResult::Success);
    EXPECT_TRUE(exists(u"Folder\\shell"_s));
    EXPECT_EQ(keyDelete(kClassesRoot, u"Folder\\shell\\verb"_s), KeyResult::FileNotFound);
    EXPECT_EQ(keyDelete(kClassesRoot, u"Nowhere\\at\\all"_s), KeyResult::FileNotFound);
}

TEST_F(KeyStoreTest, ReadOnlyStoreRefusesEveryChangeButStillReads)
{
    seed(u"Folder\\shell\\verb\\command"_s, kCommand);
    const QByteArray before = storeText();
    ASSERT_EQ(::chmod(QFile::encodeName(keyStorePath()).constData(), 0444), 0);

    KeyHandle handle;
    EXPECT_EQ(keyCreate(kClassesRoot, u"Folder\\shell\\verb\\command"_s, handle),
              KeyResult::AccessDenied);
    EXPECT_EQ(keyCreate(kClassesRoot, u"New"_s, handle), KeyResult::AccessDenied);
    EXPECT_EQ(keyDelete(kClassesRoot, u"Folder\\shell\\verb\\command"_s), KeyResult::AccessDenied);
    // A missing key is reported as missing, whatever the rights.
    EXPECT_EQ(keyDelete(kClassesRoot, u"New"_s), KeyResult::FileNotFound);
    EXPECT_EQ(defaultValue(u"Folder\\shell\\verb\\command"_s), kCommand);
    EXPECT_EQ(storeText(), before);
}

TEST_F(KeyStoreTest, ReadOnlyFolderRefusesChanges)
{
    const QByteArray folder = QFile::encodeName(home.path());
    ASSERT_EQ(::chmod(folder.constData(), 0555), 0);
    KeyHandle handle;
    EXPECT_EQ(keyCreate(kClassesRoot, u"a"_s, handle), KeyResult::AccessDenied);
    ::chmod(folder.constData(), 0755);
    EXPECT_FALSE(QFile::exists(keyStorePath()));
}

TEST_F(KeyStoreTest, MissingInstallFolderReadsEmptyAndRefusesWrites)
{
    qputenv("FOLIVO_HOME", QFile::encodeName(home.filePath(u"absent"_s)));
    EXPECT_FALSE(exists(u"a"_s));
    KeyHandle handle;
    EXPECT_EQ(keyCreate(kClassesRoot, u"a"_s, handle), KeyResult::PathNotFound);
}

TEST_F(KeyStoreTest, ACorruptStoreIsNeitherReadNorOverwritten)
{
    const QByteArray garbage = "Folivo key store 1\n[a]\n@=\"unterminated\n";
    writeStoreText(garbage);
    KeyHandle handle;
    EXPECT_EQ(keyOpen(kClassesRoot, u"a"_s, handle), KeyResult::BadDatabase);
    EXPECT_EQ(keyCreate(kClassesRoot, u"b"_s, handle), KeyResult::BadDatabase);
    EXPECT_EQ(storeText(), garbage);
}

TEST_F(KeyStoreTest, WritesGoThroughATemporaryFileAndOnlyWhenSomethingChanges)
{
    seed(u"a\\b"_s, u"v"_s);
    const HeldKeyFile held;
    EXPECT_TRUE(held.textWhenTaken().contains("[a\\b]\n@=\"v\"\n"));
    // Opening a key that exists, for writing, leaves the file as it is.
    KeyHandle handle;
    ASSERT_EQ(keyCreate(kClassesRoot, u"A\\B"_s, handle), KeyResult::Success);
    EXPECT_TRUE(held.untouched());

    // A change is a whole new file put in place: a reader of the old one still reads it whole.
    ASSERT_EQ(keySetValue(handle, QString(), "w"), KeyResult::Success);
    EXPECT_FALSE(held.untouched());
    EXPECT_EQ(held.text(), held.textWhenTaken());
    EXPECT_EQ(defaultValue(u"a\\b"_s), u"w"_s);
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files), QStringList{u"classes.reg"_s});
}

TEST(KeyResultText, GivesTheSystemTextsAndRefusesASmallBuffer)
{
    EXPECT_EQ(keyResultText(0), u"The operation completed successfully."_s);
    EXPECT_EQ(keyResultText(2), u"The system cannot find the file specified."_s);
    EXPECT_EQ(keyResultText(5), u"Access is denied."_s);
    EXPECT_EQ(keyResultText(234), u"More data is available."_s);
    EXPECT_FALSE(keyResultText(4242).isEmpty());

    char buffer[18] = "untouched";
    EXPECT_EQ(keyFormatMessage(5, buffer, sizeof buffer), 17u);
    EXPECT_STREQ(buffer, "Access is denied.");
    char small[17] = "untouched";
    EXPECT_EQ(keyFormatMessage(5, small, sizeof small), 0u);
    EXPECT_STREQ(small, "untouched");
}

} // namespace
} // namespace folivo::test
