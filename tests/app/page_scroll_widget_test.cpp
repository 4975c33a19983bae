// The client area's scroll bars over an enlarged page: what part of the page is in view
// for the bars' values, and where a new page starts.
#include "app/main_window.h"
#include "app/main_window_testing.h"
#include "fakes/list_combo_box.h"
#include "fakes/recording_ui.h"
#include "settings/ini_file.h"
#include "support/pictures.h"
#include "support/temp_home.h"
#include "view/page_state.h"
#include "view/page_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace folivo {
namespace {

class PageScroll : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString folder = test::makeFolder(home.filePath(QStringLiteral("book")));
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
            test::writePicture(folder + QLatin1Char('/') + QLatin1String(name), 1200, 1700);
        test::ListComboBox scratch;
        Mod_Varnox::Ini_Folder_Add(folder, scratch);
        Mod_Varnox::Ini_Write(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent,
                              home.filePath(QStringLiteral("Folivo.ini")), folder);
        window.MDIForm_Load(QString());
        ASSERT_EQ(window.Combo_File->currentText(), QStringLiteral("a.jpg"));
    }

    QScrollBar* vertical() const { return window.mdiArea()->verticalScrollBar(); }
    QScrollBar* horizontal() const { return window.mdiArea()->horizontalScrollBar(); }
    QSize inView() const { return window.mdiArea()->viewport()->size(); }
    /// Where the page's top-left corner lies in the client area's view.
    QPoint pageCorner() const { return pageWindowIfCreated(window)->subWindow()->pos(); }

    /// Lets the client area lay out its bars and view as the event loop would.
    static void settle() { QCoreApplication::processEvents(); }

    void zoomToTheLimit()
    {
        for (int i = 0; i < 10; ++i)
            window.Command_Small_Big_Click(1);
        settle();
    }

    void scrollToTheEnd()
    {
        vertical()->setValue(vertical()->maximum());
        horizontal()->setValue(horizontal()->maximum());
        settle();
    }

    /// A click on the track near the bar's far end, beyond the handle while it is at the start.
    static void clickTrackNearTheEnd(QScrollBar* bar)
    {
        const int thickness = bar->orientation() == Qt::Vertical ? bar->width() : bar->height();
        const QPoint nearEnd = bar->orientation() == Qt::Vertical
                                   ? QPoint(bar->width() / 2, bar->height() - 2 * thickness)
                                   : QPoint(bar->width() - 2 * thickness, bar->height() / 2);
        QTest::mouseClick(bar, Qt::LeftButton, {}, nearEnd);
        settle();
    }

    /// The part of the page in view is the one the bars' values name.
    void expectViewFollowsTheBars() const
    {
        EXPECT_EQ(pageCorner().x(), -horizontal()->value());
        EXPECT_EQ(pageCorner().y(), -vertical()->value());
        EXPECT_EQ(horizontal()->minimum(), 0);
        EXPECT_EQ(vertical()->minimum(), 0);
    }

    void expectTopLeftInView() const
    {
        EXPECT_EQ(vertical()->value(), 0);
        EXPECT_EQ(horizontal()->value(), 0);
        EXPECT_EQ(pageCorner().x(), 0);
        EXPECT_EQ(pageCorner().y(), 0);
    }

    test::TempHome home;
    test::RecordingUi ui;
    MDIForm_Main window;
};

// A track longer than the handle reads as the handle: the handle must be as long as the part
// of the page in view, and a click on the track beside it must move by that much, not to the
// page's far end.
TEST_F(PageScroll, AClickOnTheTrackMovesTheViewByWhatItShows)
{
    zoomToTheLimit();
    ASSERT_GT(pageWindowIfCreated(window)->subWindow()->height(), 2 * inView().height());
    ASSERT_TRUE(vertical()->isVisible());
    expectTopLeftInView();

    clickTrackNearTheEnd(vertical());
    EXPECT_EQ(vertical()->value(), inView().height());
    expectViewFollowsTheBars();

    // After the window is made smaller, both bars go by the smaller view.
    vertical()->setValue(0);
    window.resize(1000, 700);
    settle();
    ASSERT_TRUE(horizontal()->isVisible());
    clickTrackNearTheEnd(horizontal());
    EXPECT_EQ(horizontal()->value(), inView().width());
    clickTrackNearTheEnd(vertical());
    EXPECT_EQ(vertical()->value(), inView().height());
    expectViewFollowsTheBars();

    // Dragged to either end, the bars show that end of the page.
    scrollToTheEnd();
    expectViewFollowsTheBars();
    const QSize page = pageWindowIfCreated(window)->subWindow()->size();
    EXPECT_EQ(pageCorner().x() + page.width(), inView().width());
    EXPECT_EQ(pageCorner().y() + page.height(), inView().height());
}

TEST_F(PageScroll, EveryNewPageStartsAtItsTopLeft)
{
    zoomToTheLimit();
    scrollToTheEnd();
    ASSERT_GT(vertical()->value(), 0);

    window.Command_Small_Big_Click(0);
    settle();
    expectTopLeftInView();

    // Turned with the magnification fixed, the next page is as large and starts at its corner.
    scrollToTheEnd();
    window.Check->setChecked(true);
    window.Command_Preview_PostView_Click(1);
    settle();
    ASSERT_EQ(window.Combo_File->currentText(), QStringLiteral("b.jpg"));
    ASSERT_GT(vertical()->maximum(), 0);
    expectTopLeftInView();

    // A step past the last page leaves the page, and the part of it in view, as they are.
    window.Command_Preview_PostView_Click(1);
    ASSERT_EQ(window.Combo_File->currentText(), QStringLiteral("c.jpg"));
    scrollToTheEnd();
    const int bottom = vertical()->value();
    window.Command_Preview_PostView_Click(1);
    settle();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(vertical()->value(), bottom);
    expectViewFollowsTheBars();
}

} // namespace
} // namespace folivo
