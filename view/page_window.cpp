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
#include "view/page_shape.h"
#include "view/page_state.h"
#include "view/spread_pairs.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>

#include <new>
#include <optional>

namespace folivo {
namespace {

const QString kWrongFolderMessage = QStringLiteral("正しい対象フォルダを指定してください。");
const QString kLastPageMessage = QStringLiteral("最終データです。");
const QString kFirstPageMessage = QStringLiteral("先頭データです。");
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
    // Every book is opened with an empty file box: its pairing starts unshifted.
    if (trimBlanks(File_Name.text()).isEmpty())
        m_shiftedFolder.clear();
    if (ReadingOptions::isOn(ReadingOptions::Option::Spread))
        return spreadImageGet(Image, Path_Name, File_Name, Count, bairitu, base_bairitu, Mode,
                              Mode2);
    leaveSpread(Image);
    return pageImageGet(Image, Path_Name, File_Name, Count, bairitu, base_bairitu, Mode, Mode2);
}

QString Form_Main::pageImageGet(ImageControl& Image, ComboBox& Path_Name, ComboBox& File_Name,
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

// Two pages side by side: the spread that holds the file box's page, or the one after or
// before it, fitted as one picture. The file box names the spread's first page in reading
// order, and everything a single page does (the checks, the messages, the factors, reading
// ahead) holds for the spread as a whole.
QString Form_Main::spreadImageGet(ImageControl& Image, ComboBox& Path_Name, ComboBox& File_Name,
                                  std::int32_t Count, double& bairitu, double& base_bairitu,
                                  std::int16_t Mode, std::int16_t Mode2)
{
    try {
        if (!isListed(Path_Name, Path_Name.text())) {
            ui().messageBox(kWrongFolderMessage, MessageStyle::Warning, mainCaption());
            keepShownFactors(bairitu, base_bairitu);
            return QString();
        }
        const bool opening = trimBlanks(File_Name.text()).isEmpty();
        if (opening)
            Mod_Varnox::File_List_Load(Path_Name, File_Name);

        const QString folder = Path_Name.text();
        const QStringList names = Mod_Varnox::folderPictures(Path_Name);
        // The text is a listed name, whole, or what the reader typed, trimmed.
        qsizetype anchor = opening ? 0 : names.indexOf(File_Name.text());
        if (anchor < 0)
            anchor = names.indexOf(trimBlanks(File_Name.text()));
        // A folder without pages, or a name that is none of them: a single page's steps say
        // so as they always have.
        if (names.isEmpty() || anchor < 0) {
            leaveSpread(Image);
            return pageImageGet(Image, Path_Name, File_Name, Count, bairitu, base_bairitu, Mode,
                                Mode2);
        }

        if (folder != m_shapesFolder) {
            m_shapes.clear(); // only the book on screen's pages are asked about again
            m_shapesFolder = folder;
        }
        QStringList paths;
        paths.reserve(names.size());
        for (const QString& name : names)
            paths.append(joinPath(folder, name));
        const SpreadPairs pairs(
            static_cast<int>(paths.size()), [&](int page) { return isWidePage(paths.at(page)); },
            ReadingOptions::isOn(ReadingOptions::Option::CoverAlone), m_shiftedFolder == folder);

        Spread shown = pairs.holding(static_cast<int>(anchor));
        if (Count != 0 && !opening) {
            const std::optional<Spread> step =
                Count > 0 ? pairs.next(shown) : pairs.previous(shown);
            if (!step) {
                ui().messageBox(Count > 0 ? kLastPageMessage : kFirstPageMessage,
                                MessageStyle::Information, mainCaption());
                keepShownFactors(bairitu, base_bairitu);
                return File_Name.text();
            }
            shown = *step;
        }

        hidePageWindow();
        m_shownFactors.reset();
        ImageControl& partner = partnerImage();
        for (ImageControl* control : {&Image, &partner}) {
            control->update();
            control->setVisible(false);
            control->setStretch(false);
            control->dropPicture();
        }
        File_Name.setText(names.at(shown.first));
        loadSpreadPage(Image, paths.at(shown.first));
        if (!shown.alone())
            loadSpreadPage(partner, paths.at(shown.second));

        FitResult fit;
        if (shown.alone()) {
            fit = fitPage(Image.widthTwips(), Image.heightTwips(), bairitu, base_bairitu,
                          Mod_Varnox::View_Width, Mod_Varnox::View_Height, Mode, Mode2);
            Image.setSizeTwips(fit.width, fit.height);
            Image.move(0, 0);
            m_subWindow->resize(Image.size());
        } else {
            const SpreadFit spread =
                fitSpread(Image.widthTwips(), Image.heightTwips(), partner.widthTwips(),
                          partner.heightTwips(), bairitu, base_bairitu, Mod_Varnox::View_Width,
                          Mod_Varnox::View_Height, Mode, Mode2);
            fit = spread.fit;
            Image.setSizeTwips(spread.firstWidth, fit.height);
            partner.setSizeTwips(spread.secondWidth, fit.height);
            // Bound on the right, a book is read from right to left: the later page stands
            // on the left.
            const bool rightToLeft = ReadingOptions::isOn(ReadingOptions::Option::RightToLeft);
            ImageControl& left = rightToLeft ? partner : Image;
            ImageControl& right = rightToLeft ? Image : partner;
            left.move(0, 0);
            right.move(left.width(), 0);
            m_subWindow->resize(left.width() + right.width(), Image.height());
        }
        bairitu = fit.bairitu;
        base_bairitu = fit.baseBairitu;

        const QString result = File_Name.text();
        Image.setVisible(true);
        Image.setStretch(true);
        if (!shown.alone()) {
            partner.setVisible(true);
            partner.setStretch(true);
        }
        emit pagePlaced();
        showPageWindow();
        m_shownFactors = Factors{bairitu, base_bairitu};
        m_host->focusNextButton();
        prepareNextSpreads(Image, paths, pairs, shown, Count, bairitu);
        return result;
    } catch (const Error& error) {
        reportFailure(error);
    } catch (const std::bad_alloc&) {
        reportFailure(Error(ErrorNumber::OutOfMemory));
    }
    keepShownFactors(bairitu, base_bairitu);
    return File_Name.text();
}

void Form_Main::shiftPairing(const QString& folder)
{
    m_shiftedFolder = m_shiftedFolder == folder ? QString() : folder;
}

ImageControl& Form_Main::partnerImage()
{
    if (!m_partner) {
        m_partner = new ImageControl(this);
        m_partner->setVisible(false);
        connect(m_partner, &ImageControl::dropped, this, &Form_Main::Image_Main_OLEDragDrop);
    }
    return *m_partner;
}

void Form_Main::leaveSpread(ImageControl& Image)
{
    if (!m_partner || !m_partner->isVisibleTo(this))
        return;
    m_partner->setVisible(false);
    m_partner->dropPicture();
    Image.move(0, 0);
    m_subWindow->resize(Image.size());
}

// As a single page is read: from the pages read ahead when they still show this file.
void Form_Main::loadSpreadPage(ImageControl& Image, const QString& path)
{
    const std::optional<PreparedPage> ready = m_prefetch->take(path, twipsPerPixel());
    if (ready && !ready->picture.isNull()) {
        Image.setPicture(ready->picture, ready->image);
        return;
    }
    const Picture picture = loadPicture(path, pageFormats());
    if (ready && fileStamp(path) == ready->stamp)
        Image.setPicture(picture, ready->image);
    else
        Image.setPicture(picture);
}

// A page whose header cannot be read pairs as any other: its turn reports what is wrong.
bool Form_Main::isWidePage(const QString& path)
{
    const std::optional<FileStamp> stamp = fileStamp(path);
    if (!stamp)
        return false;
    const auto known = m_shapes.constFind(path);
    if (known != m_shapes.constEnd() && known->stamp == *stamp)
        return known->wide;
    const std::optional<PageShape> shape = readPageShape(path);
    const bool wide = shape && shape->wide();
    m_shapes.insert(path, KnownShape{*stamp, wide});
    return wide;
}

// The spreads the next turns would show, as for single pages: the one ahead in the direction
// of reading and the one behind, or while flicking the two ahead.
void Form_Main::prepareNextSpreads(const ImageControl& Image, const QStringList& paths,
                                   const SpreadPairs& pairs, const Spread& shown,
                                   std::int32_t Count, double bairitu)
{
    if (Count != 0)
        m_spreadDirection = Count > 0 ? 1 : -1;
    const auto step = [&](const Spread& from, int direction) {
        return direction > 0 ? pairs.next(from) : pairs.previous(from);
    };
    const Pace pace = turnPace(Count);
    const std::optional<Spread> ahead = step(shown, m_spreadDirection);
    const std::optional<Spread> second =
        pace == Pace::Flicking ? (ahead ? step(*ahead, m_spreadDirection) : std::nullopt)
                               : step(shown, -m_spreadDirection);
    QList<QStringList> spreads;
    for (const std::optional<Spread>& spread : {ahead, second}) {
        if (!spread)
            continue;
        QStringList pages{paths.at(spread->first)};
        if (!spread->alone())
            pages.append(paths.at(spread->second));
        spreads.append(pages);
    }
    m_prefetch->prepareSpreads(spreads, nextTurnSizing(Image, bairitu));
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
    m_prefetch->prepareAround(folder, name, Count, nextTurnSizing(Image, bairitu), turnPace(Count));
}

PageTurnSizing Form_Main::nextTurnSizing(const ImageControl& Image, double bairitu) const
{
    PageTurnSizing sizing;
    sizing.viewWidth = Mod_Varnox::View_Width;
    sizing.viewHeight = Mod_Varnox::View_Height;
    sizing.zoomFixed = m_host->zoomFixed();
    sizing.bairitu = sizing.zoomFixed ? bairitu : 1.0;
    sizing.twipsPerPixel = twipsPerPixel();
    sizing.devicePixelRatio = Image.devicePixelRatioF();
    return sizing;
}

// A page turned again within a quarter of a second was not read: the reader is flicking
// through, and the next page but one is wanted before the one behind.
Pace Form_Main::turnPace(std::int32_t Count)
{
    const bool flicking =
        Count != 0 && m_lastShown.isValid() && m_lastShown.elapsed() < kFlickingTurnMs;
    m_lastShown.start();
    return flicking ? Pace::Flicking : Pace::Reading;
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
