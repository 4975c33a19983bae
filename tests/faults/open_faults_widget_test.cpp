// Opening archives when the disk works against the program: a temporary folder it may not
// write, a disk that fills up halfway through the pages. The open procedure runs on a real
// main window in a forked child (as another user, or with a file-size limit), which reports
// what it saw through its exit code.
#include "app/main_window.h"
#include "fakes/recording_ui.h"
#include "platform/install_folder.h"
#include "platform/ui_services.h"
#include "settings/ini_file.h"
#include "support/file_tree.h"
#include "support/pictures.h"
#include "support/temp_home.h"
#include "support/unprivileged_child.h"
#include "support/zip_writer.h"

#include <QComboBox>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

#include <sys/resource.h>
#include <sys/stat.h>

namespace folivo {
namespace {

using test::RecordingUi;
using test::TempHome;
using test::ZipWriter;

const QString kZipFailed = QStringLiteral(
    "ファイル名　[book.zip]\r\r解凍に失敗しました。\r\r\rファイルが破損している可能性があります。");
const QString kNoValidData = QStringLiteral("自動解凍処理をしましたが、有効なデータが有りません。");

// What a child checks, one bit per broken expectation; 0 when all held. Details go to stderr.
class Outcome {
public:
    void expect(bool held, const char* what)
    {
        if (!held) {
            std::fprintf(stderr, "child: %s\n", what);
            m_code |= 1 << m_checks;
        }
        ++m_checks;
    }
    int code() const { return m_code & 0x7f; }

private:
    int m_code = 0;
    int m_checks = 0;
};

class OpenFaults : public ::testing::Test {
protected:
    void SetUp() override { window.show(); }

    QString archive(const ZipWriter& zip)
    {
        const QString path = home.filePath(QStringLiteral("book.zip"));
        EXPECT_TRUE(zip.write(path));
        return path;
    }
    QString tmp() const { return tmpFolderPath(); }
    QString current() const
    {
        QString value;
        Mod_Varnox::Ini_Read(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent,
                             settingsFilePath(), value);
        return value;
    }

    TempHome home;
    RecordingUi ui;
    MDIForm_Main window;
};

enum class Obstacle { TemporaryFolderOfAnotherUser, ReadOnlyInstallFolder };

struct ObstacleCase {
    const char* name;
    Obstacle obstacle;
};

class UnwritableTemporaryFolder : public OpenFaults,
                                  public ::testing::WithParamInterface<ObstacleCase> {};

// Nothing can be unpacked: the user hears that extraction failed and that there is nothing
// to read, nothing is recorded, and a start-up on this path would end.
TEST_P(UnwritableTemporaryFolder, IsReportedAndOpensNothing)
{
    ZipWriter zip;
    zip.addFile("p1.jpg", test::jpegBytes());
    const QString path = archive(zip);
    const QByteArray home8 = QFile::encodeName(home.path());
    switch (GetParam().obstacle) {
    case Obstacle::TemporaryFolderOfAnotherUser:
        ASSERT_TRUE(QDir().mkpath(tmp()));
        ASSERT_EQ(::chmod(home8.constData(), 0755), 0);
        break;
    case Obstacle::ReadOnlyInstallFolder:
        ASSERT_EQ(::chmod(home8.constData(), 0555), 0);
        break;
    }

    const int code = test::runUnprivileged([&] {
        Outcome outcome;
        const std::int32_t kind = window.Open_Target(path);
        outcome.expect(kind == OpenKind::Failed, "the open procedure did not fail");
        outcome.expect(ui.messages.size() == 2, "not exactly two messages");
        if (ui.messages.size() == 2) {
            outcome.expect(ui.messages[0].prompt == kZipFailed &&
                               ui.messages[0].style == MessageStyle::Stop,
                           "the first message is not the extraction failure");
            outcome.expect(ui.messages[1].prompt == kNoValidData &&
                               ui.messages[1].title == QStringLiteral("Failed"),
                           "the second message is not the one about no valid data");
        }
        outcome.expect(window.Combo_File->currentText().isEmpty(), "a page was shown");
        return outcome.code();
    });
    ::chmod(home8.constData(), 0700);

    EXPECT_EQ(code, 0);
    EXPECT_EQ(current(), QString());
    EXPECT_EQ(test::fileTree(tmp()), QStringList());
}

INSTANTIATE_TEST_SUITE_P(
    Obstacles, UnwritableTemporaryFolder,
    ::testing::Values(ObstacleCase{"TemporaryFolderOfAnotherUser",
                                   Obstacle::TemporaryFolderOfAnotherUser},
                      ObstacleCase{"ReadOnlyInstallFolder", Obstacle::ReadOnlyInstallFolder}),
    [](const ::testing::TestParamInfo<ObstacleCase>& param) { return param.param.name; });

// The disk fills up in the middle of the archive: the user is told extraction failed, and
// the whole pages that did come out are opened all the same.
TEST_F(OpenFaults, ADiskThatFillsDuringExtractionStillOpensThePagesThatCameOut)
{
    ZipWriter zip;
    zip.addFile("p1.jpg", test::jpegBytes(120, 160, Qt::red), ZipWriter::Method::Deflated);
    zip.addFile("p2.jpg", test::sampleData(300000, 3), ZipWriter::Method::Deflated);
    zip.addFile("p3.jpg", test::jpegBytes(120, 160, Qt::blue));
    const QString path = archive(zip);

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // No file may grow past 64 KiB, and the signal that would end the process is
        // ignored, so the write itself fails as it does on a full disk.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        Outcome outcome;
        const std::int32_t kind = window.Open_Target(path);
        outcome.expect(kind == OpenKind::Zip, "the archive was not opened as a ZIP");
        outcome.expect(ui.messages.size() == 1, "not exactly one message");
        if (!ui.messages.empty())
            outcome.expect(ui.messages[0].prompt == kZipFailed, "no extraction failure message");
        outcome.expect(window.Combo_Path->currentText() == tmpFolderPath(),
                       "the temporary folder is not the current folder");
        outcome.expect(window.Combo_File->currentText() == QStringLiteral("p1.jpg"),
                       "the first page is not shown");
        std::fflush(stderr);
        ::_exit(outcome.code());
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(test::fileTree(tmp()), QStringList({".folivo-tmp", "p1.jpg", "p3.jpg"}));
    EXPECT_EQ(current(), tmp());
}

} // namespace
} // namespace folivo
