#include "store/profile_file.h"

#include "support/temp_home.h"
#include "support/unprivileged_child.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <atomic>
#include <ios>
#include <thread>

#include <sys/stat.h>

namespace folivo {
namespace {

const QString kDefault = QStringLiteral("DEF");
const QString kFolders = QStringLiteral("Folders");

template <class Case> std::string caseName(const ::testing::TestParamInfo<Case>& param)
{
    return param.param.name;
}

class ProfileFileTest : public ::testing::Test {
protected:
    QString file() const { return home.filePath(QStringLiteral("Folivo.ini")); }
    QByteArray path(const QString& name = QStringLiteral("Folivo.ini")) const
    {
        return QFile::encodeName(home.filePath(name));
    }
    void writeRaw(const QByteArray& bytes) const
    {
        QFile out(file());
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }
    QByteArray raw() const
    {
        QFile in(file());
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
    QStringList folderEntries() const
    {
        return QDir(home.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    QString read(const QString& key, int* count = nullptr) const
    {
        QString text;
        const int copied = Profile::getString(kFolders, key, kDefault, text, 512, file());
        if (count)
            *count = copied;
        return text;
    }

    test::TempHome home;
};

struct LookupCase {
    const char* name;
    const char* content; // nullptr: no file
    const char* key;
    QString expected;
};

class ProfileLookupTest : public ProfileFileTest,
                          public ::testing::WithParamInterface<LookupCase> {};

TEST_P(ProfileLookupTest, ReturnsTheValueOrTheDefaultWithItsLength)
{
    const LookupCase& c = GetParam();
    if (c.content)
        writeRaw(c.content);
    int count = -1;
    EXPECT_EQ(read(QString::fromUtf8(c.key), &count), c.expected);
    EXPECT_EQ(count, c.expected.size());
}

INSTANTIATE_TEST_SUITE_P(
    Lookups, ProfileLookupTest,
    ::testing::Values(
        LookupCase{"MissingFile", nullptr, "000", kDefault},
        LookupCase{"MissingSection", "[Other]\n000=/a\n", "000", kDefault},
        LookupCase{"KeyOfAnotherSection", "[Other]\n001=/x\n[Folders]\n000=/a\n", "001", kDefault},
        LookupCase{"NamesWithoutRegardToCase", "[fOLDERS]\ncurrent=/x\n", "CURRENT", "/x"},
        LookupCase{"EqualsInsideValue", "[Folders]\n000=/a=b\n", "000", "/a=b"},
        LookupCase{"CarriageReturnLineEnds", "[Folders]\r\n000=/a\r\nCurrent=/b\r\n", "Current",
                   "/b"},
        LookupCase{"CarriageReturnLineEndsLeaveOtherSpace", "[Folders]\r\n000=/第1巻　\t\r\n",
                   "000", "/第1巻　\t"},
        LookupCase{"FirstOfTwoEqualKeys", "[Folders]\n000=/a\n000=/b\n", "000", "/a"},
        LookupCase{"ByteOrderMark", "\xEF\xBB\xBF[Folders]\n000=/a\n", "000", "/a"}),
    caseName<LookupCase>);

TEST_F(ProfileFileTest, CopiesAtMostOneCharacterLessThanTheBuffer)
{
    const QString longValue(600, u'x');
    QString text;
    EXPECT_EQ(Profile::getString(kFolders, QStringLiteral("none"), longValue, text, 512, file()),
              511);
    EXPECT_EQ(text.size(), 511);
    EXPECT_EQ(Profile::getString(kFolders, QStringLiteral("000"), kDefault, text, 1, file()), 0);
    EXPECT_EQ(text, QString());

    // A character outside the basic plane is two UTF-16 units; it is never cut in half.
    writeRaw("[Folders]\n000=" + QString(510, u'x').toUtf8() + "\xF0\x9F\x93\x96\n");
    int count = 0;
    EXPECT_EQ(read(QStringLiteral("000"), &count), QString(510, u'x'));
    EXPECT_EQ(count, 510);
}

struct WriteCase {
    const char* name;
    const char* before; // nullptr: no file
    const char* section;
    const char* key;
    const char* value;
    const char* after;
};

class ProfileWriteTest : public ProfileFileTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(ProfileWriteTest, ChangesOnlyTheOneLine)
{
    const WriteCase& c = GetParam();
    if (c.before)
        writeRaw(c.before);
    EXPECT_GT(Profile::writeString(QString::fromUtf8(c.section), QString::fromUtf8(c.key),
                                   QString::fromUtf8(c.value), file()),
              0);
    EXPECT_EQ(raw(), QByteArray(c.after));
    EXPECT_EQ(folderEntries(), QStringList({"Folivo.ini", "Folivo.ini.lock"}));
}

INSTANTIATE_TEST_SUITE_P(
    Writes, ProfileWriteTest,
    ::testing::Values(
        WriteCase{"CreatesTheFile", nullptr, "Folders", "000", "/a", "[Folders]\n000=/a\n"},
        WriteCase{"RewritesAKeyInPlace", "[Folders]\n000=/a\nCurrent=/x\n001=/b\n", "Folders",
                  "Current", "/y", "[Folders]\n000=/a\nCurrent=/y\n001=/b\n"},
        WriteCase{"MatchesNamesWithoutRegardToCase", "[folders]\ncurrent=/x\n", "FOLDERS",
                  "Current", "/y", "[folders]\nCurrent=/y\n"},
        WriteCase{"AppendsANewKeyAtTheEndOfItsSection", "[Folders]\n000=/a\n\n[Other]\nk=v\n",
                  "Folders", "001", "/b", "[Folders]\n000=/a\n001=/b\n\n[Other]\nk=v\n"},
        WriteCase{"AppendsANewSectionAtTheEnd", "[Other]\nk=v\n", "Folders", "000", "/a",
                  "[Other]\nk=v\n[Folders]\n000=/a\n"},
        WriteCase{"KeepsAKeyWithAnEmptyValue", "[Folders]\n000=/a\n001=/b\n", "Folders", "000", "",
                  "[Folders]\n000=\n001=/b\n"},
        WriteCase{"WritesPlainLineEnds", "[Folders]\r\n000=/a\r\n", "Folders", "001", "/b",
                  "[Folders]\n000=/a\n001=/b\n"},
        WriteCase{"CompletesALastLineWithoutLineEnd", "[Folders]\n000=/a", "Folders", "001", "/b",
                  "[Folders]\n000=/a\n001=/b\n"},
        WriteCase{"KeepsOtherLinesByteForByte", "; note\n[Folders]\n000=/\xFF\xFE\n", "Folders",
                  "Current", "/本", "; note\n[Folders]\n000=/\xFF\xFE\nCurrent=/本\n"}),
    caseName<WriteCase>);

struct RefusedCase {
    const char* name;
    QString section;
    QString key;
    QString value;
};

class ProfileRefusedWriteTest : public ProfileFileTest,
                                public ::testing::WithParamInterface<RefusedCase> {};

// Such a write would read back as something else, or plant another key.
TEST_P(ProfileRefusedWriteTest, FailsAndLeavesTheFileAlone)
{
    const RefusedCase& c = GetParam();
    writeRaw("[Folders]\n000=/a\n");
    EXPECT_EQ(Profile::writeString(c.section, c.key, c.value, file()), 0);
    EXPECT_EQ(raw(), QByteArray("[Folders]\n000=/a\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, ProfileRefusedWriteTest,
    ::testing::Values(RefusedCase{"LineBreakInValue", "Folders", "001", "/x\nCurrent=/etc"},
                      RefusedCase{"EqualsInKey", "Folders", "a=b", "/x"},
                      RefusedCase{"BracketInSection", "Fol]ders", "001", "/x"}),
    caseName<RefusedCase>);

TEST_F(ProfileFileTest, WriteFailsOnAReadOnlyFileInAWritableFolder)
{
    writeRaw("[Folders]\n000=/a\n");
    ASSERT_EQ(::chmod(path().constData(), 0444), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(home.path()).constData(), 0777), 0);
    const int result = test::runUnprivileged([this] {
        return Profile::writeString(kFolders, QStringLiteral("001"), QStringLiteral("/b"), file());
    });
    ::chmod(QFile::encodeName(home.path()).constData(), 0700);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(raw(), QByteArray("[Folders]\n000=/a\n"));
}

TEST_F(ProfileFileTest, AValueTheReadOnlyFileAlreadyHoldsNeedsNoWrite)
{
    writeRaw("[Folders]\n000=/a\nCurrent=/a\n");
    ASSERT_EQ(::chmod(path().constData(), 0444), 0);
    const QByteArray folder = QFile::encodeName(home.path());
    // The read-only folder first, while it holds no lock file to take.
    for (const mode_t folderMode : {0555, 0777}) {
        ASSERT_EQ(::chmod(folder.constData(), folderMode), 0);
        const int result = test::runUnprivileged([this] {
            return Profile::writeString(kFolders, QStringLiteral("Current"), QStringLiteral("/a"),
                                        file());
        });
        ::chmod(folder.constData(), 0700);
        EXPECT_GT(result, 0) << "folder mode " << std::oct << folderMode;
    }
    EXPECT_EQ(raw(), QByteArray("[Folders]\n000=/a\nCurrent=/a\n"));
}

TEST_F(ProfileFileTest, ReplacingTheFileKeepsItsModeAndItsLink)
{
    QFile::link(home.filePath(QStringLiteral("real.ini")), file());
    ASSERT_GT(Profile::writeString(kFolders, QStringLiteral("000"), QStringLiteral("/a"), file()),
              0);
    ASSERT_EQ(::chmod(path(QStringLiteral("real.ini")).constData(), 0600), 0);
    ASSERT_GT(Profile::writeString(kFolders, QStringLiteral("001"), QStringLiteral("/b"), file()),
              0);
    EXPECT_TRUE(QFileInfo(file()).isSymLink());
    EXPECT_EQ(raw(), QByteArray("[Folders]\n000=/a\n001=/b\n"));
    struct stat st {};
    ASSERT_EQ(::stat(path(QStringLiteral("real.ini")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(ProfileFileTest, AWriteThatChangesNothingLeavesTheFileAsItIs)
{
    const auto inode = [this] {
        struct stat st {};
        return ::stat(path().constData(), &st) == 0 ? st.st_ino : 0;
    };
    writeRaw("[Folders]\n000=/a\n001=/b\n");
    const ino_t before = inode();
    EXPECT_GT(Profile::writeString(kFolders, QStringLiteral("001"), QStringLiteral("/b"), file()),
              0);
    EXPECT_EQ(inode(), before);
    // The same value in another spelling of the file is still written out as the writer
    // spells it.
    writeRaw("[Folders]\n000 = /a\n");
    EXPECT_GT(Profile::writeString(kFolders, QStringLiteral("000"), QStringLiteral("/a"), file()),
              0);
    EXPECT_EQ(raw(), QByteArray("[Folders]\n000=/a\n"));
    EXPECT_GT(Profile::writeString(kFolders, QStringLiteral("001"), QString(), file()), 0);
    EXPECT_EQ(raw(), QByteArray("[Folders]\n000=/a\n001=\n"));
}

// Each writer opens the lock file for itself, so threads contend exactly as two processes.
TEST_F(ProfileFileTest, ConcurrentWritersLoseNoKeyAndReadersNeverSeeAPartialFile)
{
    constexpr int kWrites = 60;
    ASSERT_GT(
        Profile::writeString(kFolders, QStringLiteral("Sentinel"), QStringLiteral("/s"), file()),
        0);
    std::atomic<bool> writing{true};
    std::atomic<int> partialReads{0};
    const auto writer = [this](const QString& prefix) {
        for (int i = 0; i < kWrites; ++i)
            Profile::writeString(kFolders, prefix + QString::number(i),
                                 QStringLiteral("/%1/%2").arg(prefix).arg(i), file());
    };
    std::thread reader([&] {
        while (writing) {
            if (read(QStringLiteral("Sentinel")) != QStringLiteral("/s"))
                ++partialReads;
        }
    });
    std::thread first(writer, QStringLiteral("A"));
    std::thread second(writer, QStringLiteral("B"));
    first.join();
    second.join();
    writing = false;
    reader.join();

    EXPECT_EQ(partialReads, 0);
    for (const QString& prefix : {QStringLiteral("A"), QStringLiteral("B")}) {
        for (int i = 0; i < kWrites; ++i)
            EXPECT_EQ(read(prefix + QString::number(i)),
                      QStringLiteral("/%1/%2").arg(prefix).arg(i));
    }
    EXPECT_EQ(raw().count('\n'), 2 + 2 * kWrites);
}

// Each read is served from what was parsed before only while the file is the one parsed. The
// changes here come within the same tick of the file clock, in place and of the same size, as
// often as not, so the stamp alone cannot tell them apart.
TEST_F(ProfileFileTest, EveryReadSeesWhatAnotherWriterLeftInTheFile)
{
    for (int round = 0; round < 50; ++round) {
        const QString before = QStringLiteral("/a%1").arg(round % 10);
        const QString after = QStringLiteral("/b%1").arg(round % 10);
        {
            QFile out(file());
            ASSERT_TRUE(out.open(QIODevice::ReadWrite));
            out.write("[Folders]\n000=" + before.toUtf8() + "\n");
        }
        ASSERT_EQ(read(QStringLiteral("000")), before);
        {
            QFile out(file());
            ASSERT_TRUE(out.open(QIODevice::ReadWrite));
            out.write("[Folders]\n000=" + after.toUtf8() + "\n");
        }
        ASSERT_EQ(read(QStringLiteral("000")), after) << "round " << round;
    }
    // Replaced whole by another program, and then gone.
    ASSERT_GT(Profile::writeString(kFolders, QStringLiteral("000"), QStringLiteral("/c"), file()),
              0);
    EXPECT_EQ(read(QStringLiteral("000")), QStringLiteral("/c"));
    const QString moved = home.filePath(QStringLiteral("other.ini"));
    QFile::copy(file(), moved);
    writeRaw("[Folders]\n000=/d\n");
    EXPECT_EQ(read(QStringLiteral("000")), QStringLiteral("/d"));
    ASSERT_TRUE(QFile::remove(file()));
    EXPECT_EQ(read(QStringLiteral("000")), kDefault);
    ASSERT_TRUE(QFile::rename(moved, file()));
    EXPECT_EQ(read(QStringLiteral("000")), QStringLiteral("/c"));
}

TEST_F(ProfileFileTest, LeftoversOfAKilledWriterAreSweptAndNothingElse)
{
    writeRaw("[Folders]\n000=/a\n");
    QDir folder(home.path());
    QStringList kept{QStringLiteral("Folivo.ini"),         QStringLiteral("Folivo.ini.abc-12"),
                     QStringLiteral("Folivo.ini.abcdefg"), QStringLiteral("Folivo.ini.Dir123"),
                     QStringLiteral("Folivo.ini.Lnk123"),  QStringLiteral("Folivo.ini.lock"),
                     QStringLiteral("Folivo.iniAb3dE9"),   QStringLiteral("Options.ini.Ab3dE9")};
    kept.sort();
    for (const QString& name :
         {QStringLiteral("Folivo.ini.abc-12"), QStringLiteral("Folivo.ini.abcdefg"),
          QStringLiteral("Folivo.iniAb3dE9"), QStringLiteral("Options.ini.Ab3dE9"),
          QStringLiteral("Folivo.ini.Ab3dE9"), QStringLiteral("Folivo.ini.zZ0000")}) {
        QFile out(folder.filePath(name));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(folder.mkdir(QStringLiteral("Folivo.ini.Dir123")));
    ASSERT_TRUE(QFile::link(file(), folder.filePath(QStringLiteral("Folivo.ini.Lnk123"))));

    // Another writer at work: its temporary file may be the one being written.
    {
        const Profile::ExclusiveAccess writer(file());
        std::thread([this] { Profile::removeLeftovers(file()); }).join();
    }
    EXPECT_TRUE(folder.exists(QStringLiteral("Folivo.ini.Ab3dE9")));

    Profile::removeLeftovers(file());
    QStringList entries = folderEntries();
    entries.sort();
    EXPECT_EQ(entries, kept);
    EXPECT_EQ(raw(), QByteArray("[Folders]\n000=/a\n"));
}

} // namespace
} // namespace folivo

namespace folivo {
namespace {

// A whole section replaced: what lies around it stays byte for byte, and it reads back in the
// order written.
TEST_F(ProfileFileTest, ASectionIsReplacedWholeAndNothingAroundIt)
{
    writeRaw("; kept\n[Folders]\n000=/a\n\n[Resume]\nold=1\n; note\nOLD=2\n\n[Resume]\nx=9\n"
             "[Tail]\nk=v\n");
    EXPECT_EQ(Profile::sectionEntries(QStringLiteral("resume"), file()),
              Profile::Entries({{"old", "1"}}));
    ASSERT_GT(Profile::writeSection(QStringLiteral("Resume"), {{"b2", "20|p.jpg"}, {"b1", "10|q"}},
                                    file()),
              0);
    EXPECT_EQ(raw(), QByteArray("; kept\n[Folders]\n000=/a\n\n[Resume]\nb2=20|p.jpg\nb1=10|q\n\n"
                                "[Resume]\nx=9\n[Tail]\nk=v\n"));
    EXPECT_EQ(Profile::sectionEntries(QStringLiteral("Resume"), file()),
              Profile::Entries({{"b2", "20|p.jpg"}, {"b1", "10|q"}}));

    ASSERT_GT(Profile::writeSection(QStringLiteral("New"), {{"k", "v"}}, file()), 0);
    EXPECT_TRUE(raw().endsWith("[Tail]\nk=v\n[New]\nk=v\n"));
    // A value that would plant a line is refused, and nothing is written.
    const QByteArray before = raw();
    EXPECT_EQ(Profile::writeSection(QStringLiteral("Resume"), {{"k", "a\n[Folders]"}}, file()), 0);
    EXPECT_EQ(raw(), before);
    EXPECT_TRUE(Profile::sectionEntries(QStringLiteral("Missing"), file()).isEmpty());
}

} // namespace
} // namespace folivo
