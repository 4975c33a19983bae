// Two-page spreads on a screen at device pixel ratio 2: each page of a pair is drawn from a
// picture rendered at its own size in device pixels, and the next pair is read ahead at
// those sizes.
#include "app/main_window.h"
#include "fakes/list_combo_box.h"
#include "fakes/recording_ui.h"
#include "settings/ini_file.h"
#include "settings/reading_options_testing.h"
#include "support/temp_home.h"
#include "view/image_control.h"
#include "view/image_control_testing.h"
#include "view/page_prefetch_testing.h"
#include "view/page_window.h"

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QMdiSubWindow>
#include <QPixmap>

#include <gtest/gtest.h>

namespace folivo {
namespace {

using ReadingOptions::Option;

// One-pixel stripes: any enlargement by the toolkit smears them over two screen pixels.
bool writeStripes(const QString& path, int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = (x + y / 3) % 2 ? qRgb(250, 250, 240) : qRgb(20, 30, 90);
    }
    return image.save(path, "BMP");
}

TEST(HighDensitySpreads, BothPagesAreDrawnOneToOneAndTheNextPairIsReadAhead)
{
    test::TempHome home;
    test::RecordingUi ui;
    const ReadingOptions::ScopedOption spread(Option::Spread, true);
    const QString folder = home.filePath(QStringLiteral("book"));
    QDir().mkpath(folder);
    // Nearly square: side by side they are wider than the view area's shape, and so each is
    // drawn smaller than alone.
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp"})
        ASSERT_TRUE(writeStripes(folder + QLatin1Char('/') + QLatin1String(name), 1700, 1800));
    test::ListComboBox scratch;
    Mod_Varnox::Ini_Folder_Add(folder, scratch);

    MDIForm_Main window;
    window.resize(1400, 1000);
    window.show();
    window.Open_Target(folder);
    Form_Main& page = window.pageWindow();
    ASSERT_EQ(page.devicePixelRatioF(), 2.0);
    QList<ImageControl*> controls = page.findChildren<ImageControl*>();
    ASSERT_EQ(controls.size(), 2);

    for (const char* first : {"a.bmp", "c.bmp"}) {
        SCOPED_TRACE(first);
        ASSERT_EQ(window.Combo_File->currentText(), QLatin1String(first));
        int width = 0;
        for (ImageControl* control : controls) {
            ASSERT_TRUE(control->isVisible());
            const QImage shown = shownImage(*control);
            EXPECT_EQ(shown.size(), control->size() * 2);
            EXPECT_EQ(shown.devicePixelRatio(), 2.0);
            EXPECT_EQ(control->grab().toImage().convertToFormat(QImage::Format_RGB32),
                      shown.convertToFormat(QImage::Format_RGB32));
            width += control->width();
        }
        EXPECT_EQ(page.subWindow()->width(), width);
        waitUntilIdle(page.prefetch());
        window.Command_Preview_PostView_Click(1);
    }
    EXPECT_EQ(ui.messages.size(), 1u); // the last pair says so
    for (ImageControl* control : controls)
        EXPECT_EQ(preparedDrawn(*control), 1);
}

} // namespace
} // namespace folivo
