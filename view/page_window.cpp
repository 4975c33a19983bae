#include "view/page_window.h"

#include "picture/picture_loader.h"
#include "platform/blanks.h"
#include "platform/child_window_host.h"
#include "platform/combo_box.h"
#include "platform/error.h"
#include "platform/file_drop.h"
#include "platform/file_stamp.h"
#include "platform/path_separator.h"
#include "platform/screen.h"
#include "platform/ui_services.h"
#include "settings/reading_options.h"
#include "view/fit_search.h"
#include "view/image_control.h"
#include "view/page_list.h"
#include "view/page_prefetch.h"
#include "view/page_state.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>

#include <new>
#include <optional>

namespace folivo {
namespace {

const QString kWrongFolderMessage = QStringLiteral("正しい対象フォルダを指定してください。");
constexpr qint64 kFlickingTurnMs = 250;

// Read as each page is loaded: the reader turns the option on or off at any time.
PictureFormats pageFormats()
{
    return ReadingOptions::isOn(ReadingOptions::Option::MoreFormats) ? PictureFormats::More
                                                                     : PictureFormats::Classic;
}

bool isListed(const ComboBox& box, const QString& text)
{
    for (int i = 0; i < box.listCount(); ++i) {
        if (box.list(i) == text)
            return true;
    }
    return false;
}

void reportFailure(const Error& error)
{
    ui().messageBox(error.description() + QStringLiteral("Error No=") +
                        QString::number(error.number()),
                    MessageStyle::Stop, mainCaption());
}

} // namespace

Form_Main::Form_Main(ChildWindowHost* host, std::unique_ptr<PagePrefetch> readingAhead)
    : QWidget(nullptr)
    , m_host(host)
    , m_prefetch(readingAhead ? std::move(readingAhead) : std::make_unique<PagePrefetch>())
{
    acceptFileDrops(this, std::bind_front(&Form_Main::Form_OLEDragDrop, this));
    setFocusPolicy(Qt::ClickFocus);
    setAutoFillBackground(true);
    m_image = new ImageControl(this);
    m_image->move(0, 0);
    connect(m_image, &ImageControl::dropped, this, &Form_Main::Image_Main_OLEDragDrop);

    m_subWindow = host->mdiArea()->addSubWindow(this, Qt::FramelessWindowHint);
    m_subWindow->setAcceptDrops(true);
    Form_Load();
}

Form_Main::~Form_Main() = default;

void Form_Main::Form_Load()
{
    showPageWindow();
    // The area cascades new children; the page belongs at the client area's corner.
    m_subWindow->move(0, 0);
}

QString Form_Main::Image_Get(ImageControl& Image, ComboBox& Path_Name, ComboBox& File_Name,
                             std::int32_t Count, double& bairitu, double& base_bairitu,
                             std::int16_t Mode, std::int16_t Mode2)
{
    try {
        if (!isListed(Path_Name, Path_Name.text())) {
            ui().messageBox(kWrongFolderMessage, MessageStyle::Warning, mainCaption());
            keepShownFactors(bairitu, base_bairitu);
            return QString();
        }

        if (trimBlanks(File_Name.text()).isEmpty())
            Mod_Varnox::File_List_Load(Path_Name, File_Name);
        const QString previous = File_Name.text();
        File_Name.setText(Mod_Varnox::File_Step(Path_Name, File_Name, Count));

        // At either end of the list, or in a folder without pages, the page on screen simply
        // stays. Names are compared whole: " a.jpg" is another page than "a.jpg".
        const bool stayed =
            File_Name.text() == previous ||
            (trimBlanks(File_Name.text()).isEmpty() && trimBlanks(previous).isEmpty());
        if (stayed && Count != 0) {
            keepShownFactors(bairitu, base_bairitu);
            return File_Name.text();
        }

        hidePageWindow();
        m_shownFactors.reset();
        Image.update();
        Image.setVisible(false);
        Image.setStretch(false);
        // Hidden now, the page is never drawn again: its bytes and pixels go before the next
        // page is read, so that a turn never holds two pages' worth.
        Image.dropPicture();
        const QString path = joinPath(Path_Name.text(), File_Name.text());
        const std::optional<PreparedPage> ready = m_prefetch->take(path, twipsPerPixel());
        if (ready && !ready->picture.isNull()) {
            // Read whole ahead, from the file as it still is.
            Image.setPicture(ready->picture, ready->image);
        } else {
            const Picture picture = loadPicture(path, pageFormats());
            // The pixels drawn ahead are used only if the file read now is the one they show.
            if (ready && fileStamp(path) == ready->stamp)
                Image.setPicture(picture, ready->image);
            else
                Image.setPicture(picture);
        }

        const FitResult fit =
            fitPage(Image.widthTwips(), Image.heightTwips(), bairitu, base_bairitu,
                    Mod_Varnox::View_Width, Mod_Varnox::View_Height, Mode, Mode2);
        bairitu = fit.bairitu;
        base_bairitu = fit.baseBairitu;

        Image.setSizeTwips(fit.width, fit.height);
        m_subWindow->resize(Image.size());
        const QString result = File_Name.text();
        Image.setVisible(true);
        Image.setStretch(true);
        emit pagePlaced();
        showPageWindow();
        m_shownFactors = Factors{bairitu, base_bairitu};
        m_host->focusNextButton();
        prepareNextTurns(Image, Path_Name.text(), result, Count, bairitu);
        return result;
    } catch (const Error& error) {
        reportFailure(error);
    } catch (const std::bad_alloc&) {
        reportFailure(Error(ErrorNumber::OutOfMemory));
    }
    keepShownFactors(bairitu, base_bairitu);
    return File_Name.text();
}

// The callers reset the factors for the page they expect to come. When none comes, the page
// on screen stays and so must the factors that describe it, or the next zoom would scale
// from the picture's natural size instead of its fit.
void Form_Main::keepShownFactors(double& bairitu, double& base_bairitu) const
{
    if (!m_shownFactors)
        return;
    bairitu = m_shownFactors->bairitu;
    base_bairitu = m_shownFactors->baseBairitu;
}

// While the reader reads this page, the pages the next turns would show are read and drawn
// at the size those turns will give them: the factors "次=>" and "前 <=" enter with, for the
// view area and the screen as they are now. A turn checks all of it again before it uses one.
void Form_Main::prepareNextTurns(const ImageControl& Image, const QString& folder,
                                 const QString& name, std::int32_t Count, double bairitu)
{
    PageTurnSizing sizing;
    sizing.viewWidth = Mod_Varnox::View_Width;
    sizing.viewHeight = Mod_Varnox::View_Height;
    sizing.zoomFixed = m_host->zoomFixed();
    sizing.bairitu = sizing.zoomFixed ? bairitu : 1.0;
    sizing.twipsPerPixel = twipsPerPixel();
    sizing.devicePixelRatio = Image.devicePixelRatioF();
    // A page turned again within a quarter of a second was not read: the reader is flicking
    // through, and the next page but one is wanted before the one behind.
    const bool flicking =
        Count != 0 && m_lastShown.isValid() && m_lastShown.elapsed() < kFlickingTurnMs;
    m_lastShown.start();
    m_prefetch->prepareAround(folder, name, Count, sizing,
                              flicking ? Pace::Flicking : Pace::Reading);
}

void Form_Main::showPageWindow()
{
    m_subWindow->show();
    m_subWindow->raise();
}

void Form_Main::hidePageWindow()
{
    m_subWindow->hide();
}

void Form_Main::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    Form_GotFocus();
}

void Form_Main::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    Form_GotFocus();
}

void Form_Main::Form_GotFocus()
{
    // The page never keeps the focus: the toolbar's keys must keep acting on the page.
    m_host->focusNextButton();
}

void Form_Main::Form_OLEDragDrop(const QMimeData* Data, Qt::DropAction Effect,
                                 Qt::MouseButtons Button, Qt::KeyboardModifiers Shift, double X,
                                 double Y)
{
    m_host->MDIForm_OLEDragDrop(Data, Effect, Button, Shift, X, Y);
}

void Form_Main::Image_Main_OLEDragDrop(const QMimeData* Data, Qt::DropAction Effect,
                                       Qt::MouseButtons Button, Qt::KeyboardModifiers Shift,
                                       double X, double Y)
{
    m_host->MDIForm_OLEDragDrop(Data, Effect, Button, Shift, X, Y);
}

} // namespace folivo
