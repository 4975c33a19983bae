// Pages read ahead of their turn: the reader sees exactly what they would see without it,
// page for page, also when files are replaced, cut short or removed between turns, when the
// window is resized and when the magnification is fixed. Each script runs twice on its own
// copy of the same book, once with the pages prepared ahead and once without, and every
// step must look the same.
#include "app/main_window.h"
#include "app/main_window_testing.h"
#include "fakes/list_combo_box.h"
#include "fakes/recording_ui.h"
#include "settings/ini_file.h"
#include "support/file_tree.h"
#include "support/temp_home.h"
#include "view/image_control.h"
#include "view/image_control_testing.h"
#include "view/page_prefetch_testing.h"
#include "view/page_state.h"
#include "view/page_window.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMdiSubWindow>
#include <QPainter>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace folivo {
namespace {

using test::RecordingUi;
using test::TempHome;

/// A picture with detail in it, so that a page drawn from the wrong file or at the wrong
/// size cannot pass for the right one.
bool writePage(const QString& path, int w, int h, int seed)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb((x * 255 / w + seed * 40) % 256, (y * 255 / h) % 256, seed * 50 % 256);
    }
    QPainter painter(&image);
    painter.setPen(QPen(Qt::black, 3));
    for (int y = 20; y < h; y += 37)
        painter.drawLine(10, y, w - 10, y + seed);
    painter.end();
    const QString suffix = path.section(QLatin1Char('.'), -1).toLower();
    const char* format = suffix == QLatin1String("bmp") ? "BMP" : "JPG";
    return image.save(path, format, 90);
}

/// What the reader sees after a step.
struct Seen {
    QString file;
    bool shown = false;
    QSize page;
    double bairitu = 0;
    double baseBairitu = 0;
    std::vector<QString> messages;
    QImage image;

    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& seen)
{
    out << seen.file.toStdString() << (seen.shown ? " shown " : " hidden ") << seen.page.width()
        << "x" << seen.page.height() << " factors " << seen.bairitu << "/" << seen.baseBairitu
        << " image " << seen.image.width() << "x" << seen.image.height() << " messages";
    for (const QString& message : seen.messages)
        out << " [" << message.toStdString() << "]";
    return out;
}

/// One run of the program over its own copy of the book.
class Reader {
public:
    explicit Reader(bool prefetch)
    {
        folder = home.filePath(QStringLiteral("book"));
        QDir().mkpath(folder);
        const char* names[] = {"p01.jpg", "p02.jpg", "p03.bmp", "p04.jpg", "p05.jpg",
                               "p06.jpg", "p07.jpg", "p08.jpg", "p09.jpg"};
        int seed = 0;
        for (const char* name : names) {
            ++seed;
            writePage(page(QLatin1String(name)), 300 + seed * 90, 400 + seed * 110, seed);
        }
        // Not a picture from the start: it must be reported when reached, not before.
        writeBytes(QStringLiteral("p04.jpg"), "not a picture at all");
        test::ListComboBox scratch;
        Mod_Varnox::Ini_Folder_Add(folder, scratch);
        window.resize(1400, 1000);
        window.show();
        window.Open_Target(folder);
        window.pageWindow().prefetch().setEnabled(prefetch);
        settle();
    }

    QString page(const QString& name) const { return folder + QLatin1Char('/') + name; }
    void writeBytes(const QString& name, const QByteArray& bytes)
    {
        QFile file(page(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // The work a reader leaves time for between turns.
    void settle() { waitUntilIdle(window.pageWindow().prefetch()); }

    Seen seen() const
    {
        const Form_Main* form = pageWindowIfCreated(window);
        Seen result;
        result.file = window.Combo_File->currentText();
        result.shown = form->subWindow()->isVisible();
        result.page = form->subWindow()->size();
        result.bairitu = Mod_Varnox::Cur_bairitu;
        result.baseBairitu = Mod_Varnox::Cur_base_bairitu;
        for (const test::RecordedMessage& message : ui.messages)
            result.messages.push_back(message.prompt + QString::number(message.style));
        result.image = shownImage(*form->Image_Main());
        return result;
    }
    int preparedDrawn() const
    {
        return folivo::preparedDrawn(*pageWindowIfCreated(window)->Image_Main());
    }

    TempHome home;
    RecordingUi ui;
    QString folder;
    MDIForm_Main window;
};

using Step = std::function<void(Reader&)>;

void next(Reader& r)
{
    r.window.Command_Preview_PostView_Click(1);
}
void previous(Reader& r)
{
    r.window.Command_Preview_PostView_Click(0);
}

/// Runs the steps with and without pages prepared ahead; returns how many pages the run
/// with them drew from a prepared image.
int expectSameWithAndWithoutPrefetch(const std::vector<Step>& steps)
{
    std::vector<Seen> without;
    {
        Reader reader(false);
        for (const Step& step : steps) {
            step(reader);
            reader.settle();
            without.push_back(reader.seen());
        }
        EXPECT_EQ(reader.preparedDrawn(), 0);
    }
    Reader reader(true);
    for (size_t i = 0; i < steps.size(); ++i) {
        steps[i](reader);
        reader.settle();
        EXPECT_EQ(reader.seen(), without[i]) << "after step " << i + 1;
        EXPECT_LE(heldBytes(reader.window.pageWindow().prefetch()), PagePrefetch::kByteBudget);
    }
    return reader.preparedDrawn();
}

TEST(PagePrefetchWidget, TurningThroughTheBookLooksTheSameAndDrawsPreparedPages)
{
    // Forward, a failure reached and passed, backward from it, and forward again.
    const int drawn = expectSameWithAndWithoutPrefetch(
        {next, next, next, next, previous, previous, previous, next, next, next, next, next});
    // Whether the steps count as reading or flicking depends on the machine's speed: fewer
    // pages are drawn as prepared where a turn back meets a page prepared for flicking.
    EXPECT_GE(drawn, 6);
}

TEST(PagePrefetchWidget, FilesChangedBetweenTurnsAreShownAsTheyAreNow)
{
    const int drawn = expectSameWithAndWithoutPrefetch({
        next,
        next,
        next,
        next, // p05, with p06 prepared (and p07 when the steps count as flicking)
        [](Reader& r) {
            // Replaced by a picture of another size.
            ASSERT_TRUE(writePage(r.page(QStringLiteral("p06.jpg")), 2000, 900, 11));
            next(r);
        },
        [](Reader& r) {
            // Replaced by one of the same size and length, dated later.
            const QString path = r.page(QStringLiteral("p07.jpg"));
            const qint64 length = QFileInfo(path).size();
            QImage other(QImage(path).size(), QImage::Format_RGB32);
            other.fill(Qt::darkMagenta);
            QByteArray bytes;
            {
                QBuffer buffer(&bytes);
                buffer.open(QIODevice::WriteOnly);
                other.save(&buffer, "JPG");
            }
            bytes = bytes.leftJustified(length, '\0', true);
            r.writeBytes(QStringLiteral("p07.jpg"), bytes);
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(5),
                                         QFileDevice::FileModificationTime));
            next(r);
        },
        [](Reader& r) {
            // Cut short after it was prepared: reported when reached.
            r.writeBytes(QStringLiteral("p08.jpg"), QByteArray("\xff\xd8\xff\xe0", 4));
            next(r);
        },
        previous,
        [](Reader& r) {
            // Removed: stepping goes past it to the page after.
            ASSERT_TRUE(QFile::remove(r.page(QStringLiteral("p08.jpg"))));
            next(r);
        },
        [](Reader& r) {
            // Removed with nothing after it: the last page stays.
            ASSERT_TRUE(QFile::remove(r.page(QStringLiteral("p09.jpg"))));
            previous(r);
            r.settle();
            ASSERT_TRUE(QFile::remove(r.page(QStringLiteral("p07.jpg"))));
            next(r);
        },
    });
    EXPECT_GE(drawn, 2);
}

TEST(PagePrefetchWidget, AResizedWindowOrAFixedZoomGivesTheSameSizesAsWithout)
{
    const int drawn = expectSameWithAndWithoutPrefetch({
        [](Reader& r) {
            // Pages prepared for the old view area are drawn again for the new one.
            const std::int32_t before = Mod_Varnox::View_Height;
            r.window.resize(1100, 760);
            ASSERT_NE(Mod_Varnox::View_Height, before);
            next(r);
        },
        [](Reader& r) {
            r.window.Check->setChecked(true);
            r.window.Command_Small_Big_Click(1);
        },
        next, // kept zoom 1.2
        next, // the broken page: the factors stay as they were
        next,
        [](Reader& r) {
            r.window.Command_Small_Big_Click(0);
            r.window.Command_Small_Big_Click(0);
            next(r);
        },
        [](Reader& r) {
            r.window.Check->setChecked(false);
            next(r);
        },
        [](Reader& r) {
            r.window.resize(1500, 1040);
            previous(r);
        },
        next,
    });
    // Pages prepared for the kept zoom and for the new view area are drawn as prepared.
    EXPECT_GE(drawn, 2);
}

} // namespace
} // namespace folivo
