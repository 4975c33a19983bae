#include "store/atomic_file.h"

#include "store/atomic_file_testing.h"
#include "support/unprivileged_child.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <cerrno>

#include <sys/stat.h>

namespace folivo {
namespace {

const QByteArray kOld = "old content\n";
const QByteArray kNew = "new content, longer than the old\n";

class AtomicFileTest : public ::testing::Test {
protected:
    QByteArray target() const { return QFile::encodeName(m_dir.filePath(QStringLiteral("f"))); }
    QByteArray folder() const { return QFile::encodeName(m_dir.path()); }
    void write(const QByteArray& bytes) const
    {
        QFile out(QFile::decodeName(target()));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }
    /// The target's content; "missing" when there is no file.
    QByteArray content() const
    {
        QFile in(QFile::decodeName(target()));
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("missing");
    }
    QStringList entries() const
    {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    mode_t mode() const
    {
        struct stat st {};
        return ::stat(target().constData(), &st) == 0 ? st.st_mode & 07777 : 0;
    }

private:
    QTemporaryDir m_dir;
};

struct StopCase {
    const char* name;
    AtomicFileStep step;
    bool oldFile;
    QByteArray seen; // the target's content while the routine stands at the step
};

class AtomicFileStopTest : public AtomicFileTest, public ::testing::WithParamInterface<StopCase> {};

// A crash at any point finds the target whole, old or new, and a failure reported at that
// point cleans up after itself.
TEST_P(AtomicFileStopTest, TargetIsWholeAtEveryStepAndAFailureLeavesNoTemporaryFile)
{
    const StopCase& c = GetParam();
    if (c.oldFile)
        write(kOld);
    bool stopped = false;
    const int result = replaceFileAtomically(target(), kNew, [&](AtomicFileStep step) {
        if (step != c.step)
            return 0;
        stopped = true;
        EXPECT_EQ(content(), c.seen);
        // The temporary file lies beside the target until the rename.
        const bool renamed = step == AtomicFileStep::Renamed;
        EXPECT_EQ(entries().size(), (c.seen == "missing" ? 0 : 1) + (renamed ? 0 : 1));
        return EIO;
    });
    EXPECT_TRUE(stopped);
    EXPECT_EQ(result, EIO);
    EXPECT_EQ(content(), c.seen);
    const QStringList left = entries();
    EXPECT_EQ(left, c.seen == "missing" ? QStringList() : QStringList{QStringLiteral("f")});
}

INSTANTIATE_TEST_SUITE_P(
    Steps, AtomicFileStopTest,
    ::testing::Values(StopCase{"AfterWrite", AtomicFileStep::Written, true, kOld},
                      StopCase{"AfterSync", AtomicFileStep::Synced, true, kOld},
                      StopCase{"BeforeRename", AtomicFileStep::Closed, true, kOld},
                      StopCase{"AfterRename", AtomicFileStep::Renamed, true, kNew},
                      StopCase{"BeforeRenameOfANewFile", AtomicFileStep::Closed, false, "missing"},
                      StopCase{"AfterRenameOfANewFile", AtomicFileStep::Renamed, false, kNew}),
    [](const ::testing::TestParamInfo<StopCase>& param) { return std::string(param.param.name); });

TEST_F(AtomicFileTest, ReplacingKeepsTheOldModeAndANewFileGetsTheUmasksMode)
{
    const mode_t oldMask = ::umask(027);
    EXPECT_EQ(replaceFileAtomically(target(), kOld), 0);
    EXPECT_EQ(mode(), 0640u);
    ::umask(oldMask);

    ASSERT_EQ(::chmod(target().constData(), 0604), 0);
    EXPECT_EQ(replaceFileAtomically(target(), kNew), 0);
    EXPECT_EQ(content(), kNew);
    EXPECT_EQ(mode(), 0604u);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("f")});
}

TEST_F(AtomicFileTest, ReadOnlyFolderRefusesAndKeepsTheFile)
{
    write(kOld);
    ASSERT_EQ(::chmod(target().constData(), 0666), 0);
    ASSERT_EQ(::chmod(folder().constData(), 0555), 0);
    const int result =
        test::runUnprivileged([this] { return replaceFileAtomically(target(), kNew); });
    ::chmod(folder().constData(), 0700);
    EXPECT_EQ(result, EACCES);
    EXPECT_EQ(content(), kOld);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("f")});
}

TEST_F(AtomicFileTest, FailedRenameRemovesTheTemporaryFile)
{
    // A folder in the target's place that is not empty cannot be renamed over.
    ASSERT_TRUE(QDir().mkpath(QFile::decodeName(target() + "/inside")));
    EXPECT_NE(replaceFileAtomically(target(), kNew), 0);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("f")});
}

} // namespace
} // namespace folivo
