// A page on a screen at device pixel ratio 2 (this program's screen): drawn from a picture
// rendered at the page's size in device pixels, one picture pixel to one screen pixel, while
// every size and fit stays in logical pixels and twips.
#include "app/main_window.h"
#include "fakes/list_combo_box.h"
#include "fakes/recording_ui.h"
#include "settings/ini_file.h"
#include "support/temp_home.h"
#include "view/fit_search.h"
#include "view/image_control.h"
#include "view/image_control_testing.h"
#include "view/page_prefetch_testing.h"
#include "view/page_state.h"
#include "view/page_window.h"

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QMdiSubWindow>
#include <QPixmap>

#include <gtest/gtest.h>

namespace folivo {
namespace {

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

TEST(HighDensityScreen, ThePageIsDrawnOneToOneAtItsLogicalFittedSize)
{
    test::TempHome home;
    test::RecordingUi ui;
    const QString folder = home.filePath(QStringLiteral("book"));
    QDir().mkpath(folder);
    ASSERT_TRUE(writeStripes(folder + QStringLiteral("/a.bmp"), 1600, 2200));
    ASSERT_TRUE(writeStripes(folder + QStringLiteral("/b.bmp"), 1500, 2300));
    test::ListComboBox scratch;
    Mod_Varnox::Ini_Folder_Add(folder, scratch);

    MDIForm_Main window;
    window.resize(1400, 1000);
    window.show();
    window.Open_Target(folder);
    Form_Main& page = window.pageWindow();
    ASSERT_EQ(page.devicePixelRatioF(), 2.0);
    // Logical pixels: 15 twips each, as on any 96 DPI screen.
    EXPECT_EQ(Mod_Varnox::View_Width, 1400 * 15 - 127);

    for (const char* name : {"a.bmp", "b.bmp"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(window.Combo_File->currentText(), QLatin1String(name));
        const QImage source(folder + QLatin1Char('/') + QLatin1String(name));
        const FitResult fit = fitPage(source.width() * 15.0, source.height() * 15.0, 1.0, 1.0,
                                      Mod_Varnox::View_Width, Mod_Varnox::View_Height, 1, 0);
        const QSize logical(qRound(fit.width / 15.0), qRound(fit.height / 15.0));
        EXPECT_EQ(page.subWindow()->size(), logical);

        const QImage shown = shownImage(*page.Image_Main());
        EXPECT_EQ(shown.size(), logical * 2);
        EXPECT_EQ(shown.devicePixelRatio(), 2.0);
        // What reaches the screen is that picture, pixel for pixel.
        const QPixmap grabbed = page.Image_Main()->grab();
        EXPECT_EQ(grabbed.toImage().convertToFormat(QImage::Format_RGB32),
                  shown.convertToFormat(QImage::Format_RGB32));

        waitUntilIdle(page.prefetch());
        window.Command_Preview_PostView_Click(1);
    }
    EXPECT_TRUE(ui.messages.size() == 1u); // the last page says so
    // The second page came from the pages prepared ahead, prepared at the device size.
    EXPECT_EQ(preparedDrawn(*page.Image_Main()), 1);
}

} // namespace
} // namespace folivo
