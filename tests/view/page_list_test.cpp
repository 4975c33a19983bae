#include "settings/reading_options_testing.h"
#include "view/page_list.h"

#include "fakes/list_combo_box.h"
#include "fakes/recording_ui.h"
#include "platform/ui_services.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace folivo {
namespace {

using Mod_Varnox::File_List_Load;
using Mod_Varnox::File_Next;
using Mod_Varnox::File_Previous;
using Mod_Varnox::File_Step;
using Mod_Varnox::Picture_Check;
using test::ListComboBox;
using test::RecordingUi;

const QString kLast = QStringLiteral("最終データです。");
const QString kFirst = QStringLiteral("先頭データです。");

void touch(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

/// A folder listing a.jpg, b.txt, C.GIF, d.jpeg, e.png, and the two combo boxes over it.
class PageListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        for (const char* name : {"a.jpg", "b.txt", "C.GIF", "d.jpeg", "e.png"})
            touch(m_dir.filePath(QString::fromLatin1(name)));
        path.setText(m_dir.path());
        path.addItem(m_dir.path());
    }

    QString filePath(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    RecordingUi ui;
    ListComboBox path;
    ListComboBox file;
};

TEST_F(PageListTest, ListHoldsThePicturesInListingOrder)
{
    file.setText(QStringLiteral("x"));
    file.addItem(QStringLiteral("old.jpg"));
    File_List_Load(path, file);
    EXPECT_EQ(file.items, (QStringList{"a.jpg", "C.GIF", "d.jpeg"}));
    EXPECT_EQ(file.text(), QStringLiteral("x"));
}

TEST_F(PageListTest, EmptyTextStepsToTheFirstPageWhateverTheStep)
{
    for (const QString& text : {QString(), QStringLiteral("   ")}) {
        file.setText(text);
        for (const int step : {-1, 0, 1})
            EXPECT_EQ(File_Step(path, file, step), QStringLiteral("a.jpg"));
    }
    EXPECT_TRUE(ui.messages.empty());
}

struct StepCase {
    const char* from;
    int step;
    const char* expected;
    const char* message; // nullptr: no message
};

void PrintTo(const StepCase& c, std::ostream* os)
{
    *os << '"' << c.from << "\" step " << c.step;
}

class PageStepTable : public PageListTest, public ::testing::WithParamInterface<StepCase> {};

TEST_P(PageStepTable, StepsWithinTheFolderAndStopsAtItsEnds)
{
    const StepCase& c = GetParam();
    file.setText(QString::fromUtf8(c.from));
    EXPECT_EQ(File_Step(path, file, c.step), QString::fromUtf8(c.expected));
    if (c.message) {
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].prompt, QString::fromUtf8(c.message));
        EXPECT_EQ(ui.messages[0].style, MessageStyle::Information);
        EXPECT_EQ(ui.messages[0].title, QStringLiteral("Folivo"));
    } else {
        EXPECT_TRUE(ui.messages.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, PageStepTable,
    ::testing::Values(StepCase{"a.jpg", 1, "C.GIF", nullptr},
                      StepCase{"C.GIF", 1, "d.jpeg", nullptr},
                      StepCase{"d.jpeg", 1, "d.jpeg", "最終データです。"},
                      StepCase{"d.jpeg", -1, "C.GIF", nullptr},
                      StepCase{"a.jpg", -1, "a.jpg", "先頭データです。"},
                      // Names compare with regard to case: another case is not a page here.
                      StepCase{"c.gif", 1, "c.gif", "最終データです。"},
                      StepCase{"c.gif", -1, "c.gif", "先頭データです。"},
                      StepCase{"b.txt", 1, "b.txt", "最終データです。"},
                      StepCase{"gone.jpg", -1, "gone.jpg", "先頭データです。"},
                      StepCase{"C.GIF", 0, "C.GIF", nullptr},
                      // Previous looks up the trimmed text; the unchanged text keeps blanks.
                      StepCase{" C.GIF ", -1, "a.jpg", nullptr},
                      StepCase{" a.jpg ", -1, " a.jpg ", "先頭データです。"},
                      StepCase{"a.jpg", 2, "C.GIF", nullptr},
                      StepCase{"d.jpeg", -5, "C.GIF", nullptr}));

TEST_F(PageListTest, HiddenPictureIsNeitherListedNorReached)
{
    touch(filePath(QStringLiteral(".b.jpg")));
    File_List_Load(path, file);
    EXPECT_EQ(file.items, (QStringList{"a.jpg", "C.GIF", "d.jpeg"}));
    file.setText(QStringLiteral("a.jpg"));
    EXPECT_EQ(File_Step(path, file, 1), QStringLiteral("C.GIF"));
    file.setText(QStringLiteral("C.GIF"));
    EXPECT_EQ(File_Step(path, file, -1), QStringLiteral("a.jpg"));
}

TEST_F(PageListTest, PictureAddedLaterIsReachedButNotListed)
{
    File_List_Load(path, file);
    touch(filePath(QStringLiteral("b.jpg")));
    file.setText(QStringLiteral("a.jpg"));
    EXPECT_EQ(File_Step(path, file, 1), QStringLiteral("b.jpg"));
    file.setText(QStringLiteral("C.GIF"));
    EXPECT_EQ(File_Step(path, file, -1), QStringLiteral("b.jpg"));
    EXPECT_EQ(file.items, (QStringList{"a.jpg", "C.GIF", "d.jpeg"}));
}

TEST_F(PageListTest, BlankNamedFileDoesNotHideThePages)
{
    touch(filePath(QStringLiteral(" ")));
    File_List_Load(path, file);
    EXPECT_EQ(file.items, (QStringList{"a.jpg", "C.GIF", "d.jpeg"}));
    file.setText(QString());
    EXPECT_EQ(File_Step(path, file, 1), QStringLiteral("a.jpg"));
    file.setText(QStringLiteral("d.jpeg"));
    EXPECT_EQ(File_Step(path, file, -1), QStringLiteral("C.GIF"));
}

// A blank at either end is part of a listed name: the name must open the file.
TEST_F(PageListTest, NamesWithBlanksAreListedAndReachedWhole)
{
    touch(filePath(QStringLiteral(" e5.jpg")));
    touch(filePath(QStringLiteral(" b5.jpg")));
    File_List_Load(path, file);
    const QStringList pages = file.items;
    ASSERT_EQ(pages.size(), 5);
    EXPECT_TRUE(pages.contains(QStringLiteral(" e5.jpg")));
    EXPECT_TRUE(pages.contains(QStringLiteral(" b5.jpg")));
    file.setText(QString());
    EXPECT_EQ(File_Step(path, file, 1), pages.first());
    for (qsizetype i = 0; i + 1 < pages.size(); ++i) {
        file.setText(pages.at(i));
        EXPECT_EQ(File_Step(path, file, 1), pages.at(i + 1)) << i;
        file.setText(pages.at(i + 1));
        EXPECT_EQ(File_Step(path, file, -1), pages.at(i)) << i;
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST(PageListMissingFolder, BehavesAsAnEmptyFolder)
{
    RecordingUi ui;
    ListComboBox path({}, QStringLiteral("/nonexistent/folivo/folder"));
    ListComboBox file;
    File_List_Load(path, file);
    EXPECT_TRUE(file.items.isEmpty());
    EXPECT_EQ(File_Step(path, file, 1), QString());
    EXPECT_TRUE(ui.messages.empty());
    file.setText(QStringLiteral("a.jpg"));
    EXPECT_EQ(File_Step(path, file, 1), QStringLiteral("a.jpg"));
    EXPECT_EQ(File_Step(path, file, -1), QStringLiteral("a.jpg"));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].prompt, kLast);
    EXPECT_EQ(ui.messages[1].prompt, kFirst);
}

TEST(PageListLargeFolder, StepTakesTimeInProportionToTheFolder)
{
    RecordingUi ui;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (int i = 0; i < 10000; ++i)
        touch(dir.filePath(QStringLiteral("page%1.jpg").arg(i)));
    ListComboBox path({dir.path()}, dir.path());
    ListComboBox file({}, QStringLiteral("page5000.jpg"));

    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(File_Step(path, file, 1), QStringLiteral("page5001.jpg"));
    EXPECT_EQ(File_Step(path, file, -1), QStringLiteral("page4999.jpg"));
    // Two linear passes over 10,000 names take about 20 ms in an optimised build; quadratic
    // work would take seconds. The bound leaves room for unoptimised and instrumented builds.
    EXPECT_LT(timer.elapsed(), 1000);
}

struct CheckCase {
    const char* name;
    bool picture;
};

void PrintTo(const CheckCase& c, std::ostream* os)
{
    *os << '"' << c.name << '"';
}

class PictureCheckTable : public ::testing::TestWithParam<CheckCase> {};

TEST_P(PictureCheckTable, LooksOnlyAtTheEndInAnyCase)
{
    EXPECT_EQ(Picture_Check(QString::fromUtf8(GetParam().name)), GetParam().picture)
        << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, PictureCheckTable,
    ::testing::Values(CheckCase{"a.jpg", true}, CheckCase{"X.JPEG", true}, CheckCase{"y.Bmp", true},
                      CheckCase{"z.gif", true}, CheckCase{"w.WMF", true}, CheckCase{"e.emf", true},
                      CheckCase{"/home/u/本/pic.jpg", true}, CheckCase{".gif", true},
                      CheckCase{"z.jpe", false}, CheckCase{"z.png", false}, CheckCase{"jpg", false},
                      CheckCase{"a.jpg ", false}, CheckCase{"a.jpg.txt", false},
                      CheckCase{"", false}, CheckCase{"gif", false}, CheckCase{"ajpeg", false}));

// The formats beyond the classic ones count only while the reader has asked for them.
TEST(PictureCheckMoreFormats, CountOnlyWithTheOptionOn)
{
    const QStringList more = {"a.png", "b.WEBP", "c.tif", "d.TIFF", "e.avif", "f.Jxl"};
    const QStringList never = {"a.pngx", "b.tif.txt", "c.jxr", "d.heic", "e.jpg2"};
    for (const bool on : {false, true}) {
        ReadingOptions::ScopedOption option(ReadingOptions::Option::MoreFormats, on);
        for (const QString& name : more)
            EXPECT_EQ(Picture_Check(name), on) << name.toStdString() << " on=" << on;
        for (const QString& name : never)
            EXPECT_FALSE(Picture_Check(name)) << name.toStdString();
        EXPECT_TRUE(Picture_Check(QStringLiteral("classic.JPG")));
    }
}

TEST(PictureCheckMoreFormats, ListAndStepInTheSameOrder)
{
    RecordingUi ui;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"p10.png", "p2.jpg", "p1.webp", "p3.AVIF", "notes.txt"})
        touch(dir.filePath(QString::fromUtf8(name)));
    ListComboBox path({dir.path()}, dir.path());
    ListComboBox file({}, QString());
    File_List_Load(path, file);
    EXPECT_EQ(file.items, QStringList({"p2.jpg"}));

    ReadingOptions::ScopedOption option(ReadingOptions::Option::MoreFormats, true);
    File_List_Load(path, file);
    EXPECT_EQ(file.items, QStringList({"p1.webp", "p2.jpg", "p3.AVIF", "p10.png"}));
    file.setText(QStringLiteral("p3.AVIF"));
    EXPECT_EQ(File_Step(path, file, 1), QStringLiteral("p10.png"));
    EXPECT_EQ(File_Step(path, file, -1), QStringLiteral("p2.jpg"));
}

} // namespace
} // namespace folivo
