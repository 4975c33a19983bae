#include "app/main_window.h"

#include "app/client_area_scroll_bar.h"
#include "app/reading_menu.h"
#include "app/unpacking_pages.h"
#include "help/help_window.h"
#include "open/archive_extract.h"
#include "open/extraction_progress_strip.h"
#include "open/other_book.h"
#include "platform/blanks.h"
#include "platform/combo_box_widget.h"
#include "platform/file_drop.h"
#include "platform/install_folder.h"
#include "platform/modal.h"
#include "platform/path_separator.h"
#include "platform/screen.h"
#include "platform/ui_services.h"
#include "platform/window_store.h"
#include "settings/form_dir.h"
#include "settings/ini_file.h"
#include "settings/resume.h"
#include "shell/form_control.h"
#include "view/image_control.h"
#include "view/page_list.h"
#include "view/page_prefetch.h"
#include "view/page_state.h"
#include "view/page_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>

#include <cmath>

namespace folivo {
namespace {

const QString kCaptionSetting = QStringLiteral("設定");
const QString kCaptionPrevious = QStringLiteral("前 <=");
const QString kCaptionNext = QStringLiteral("次=>");
const QString kCaptionShrink = QStringLiteral("縮小←");
const QString kCaptionEnlarge = QStringLiteral("拡大→");
const QString kCaptionCheck = QStringLiteral("倍率固定");
const QString kCaptionFolder = QStringLiteral("フォルダ");
const QString kCannotShrink = QStringLiteral("もう小さくできません。");
const QString kCannotEnlarge = QStringLiteral("もう大きくできません。");
const QString kNoNextBook = QStringLiteral("次の本はありません。");
const QString kNoPreviousBook = QStringLiteral("前の本はありません。");

// Virtual-key codes of the numeric keypad, as the key handlers compare them.
constexpr int kVkAdd = 107;
constexpr int kVkSubtract = 109;
constexpr int kVkDecimal = 110;

// Where the Menu key's menu opens: just inside the client area's corner.
constexpr int kMenuKeyOffset = 8;

constexpr double kZoomStep = 0.2;
constexpr double kZoomMin = 0.3;
constexpr double kZoomMax = 3.0;

constexpr int kToolbarHeightTwips = 390;
constexpr int kWindowHeightMarginTwips = 400;
constexpr int kViewWidthMarginTwips = 127;
constexpr int kViewHeightMarginTwips = 817;

// The keypad's keys carry the keypad modifier; the main keyboard's plus and minus do not,
// and so reach no handler. The keypad's plus and minus are the same whatever NumLock says;
// its decimal key is the decimal point (a comma in some layouts) only with NumLock on, and
// Delete with it off, which is no decimal point.
int virtualKeyCode(const QKeyEvent* event)
{
    if (!(event->modifiers() & Qt::KeypadModifier))
        return 0;
    switch (event->key()) {
    case Qt::Key_Plus:
        return kVkAdd;
    case Qt::Key_Minus:
        return kVkSubtract;
    case Qt::Key_Period:
    case Qt::Key_Comma:
        return kVkDecimal;
    default:
        return 0;
    }
}

QPushButton* makeButton(QWidget* parent, const QString& caption, const QRect& place)
{
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(place);
    button->setAutoDefault(false);
    return button;
}

QComboBox* makeCombo(QWidget* parent, const QRect& place)
{
    auto* combo = new EditableComboBox(parent);
    combo->setGeometry(place);
    return combo;
}

// How long the file box waits for more files before it is refilled with those out so far.
constexpr int kFileListDelayMs = 200;

/// While a turn waits for a page still being unpacked, the user's input reaches nothing but
/// the unpacking's 中止: a second turn would otherwise start inside the first. Closing the
/// window goes through, to the unpacking's own handling of it.
class InputWhileWaiting final : public QObject {
public:
    InputWhileWaiting() { qApp->installEventFilter(this); }
    ~InputWhileWaiting() override { qApp->removeEventFilter(this); }
    InputWhileWaiting(const InputWhileWaiting&) = delete;
    InputWhileWaiting& operator=(const InputWhileWaiting&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::Drop:
            break;
        default:
            return false;
        }
        for (QObject* object = watched; object; object = object->parent()) {
            if (qobject_cast<ExtractionProgressStrip*>(object))
                return false;
        }
        event->ignore();
        return true;
    }
};

// The path a command line names: its quotes taken off, made absolute.
QString commandLinePath(const QString& line)
{
    QString path = line;
    if (line.size() >= 2 && line.startsWith(QLatin1Char('"')) && line.endsWith(QLatin1Char('"')))
        path = line.mid(1, line.size() - 2);
    else if (line == QLatin1String("\""))
        path.clear(); // a lone quote holds no path
    // A shell user types "folivo ." or "folivo book.zip": open it where it was typed.
    if (!path.isEmpty() && QDir::isRelativePath(path))
        path = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    return folderPathAsNamed(path);
}

// The window the start-up makes: as wide as the screen, as high less a margin.
QSize startUpWindowPixels()
{
    const QSize screen = screenSizeTwips();
    return QSize(twipsToPixels(screen.width()),
                 twipsToPixels(screen.height() - kWindowHeightMarginTwips));
}

// The view area a window of this outer size leaves for the page, in twips.
QSize viewAreaTwips(const QSize& outerPixels)
{
    const auto height = static_cast<float>(pixelsToTwips(outerPixels.height()));
    const auto width = static_cast<float>(pixelsToTwips(outerPixels.width()));
    return QSize(static_cast<std::int32_t>(std::nearbyint(width - kViewWidthMarginTwips)),
                 static_cast<std::int32_t>(std::nearbyint(height - kViewHeightMarginTwips)));
}

} // namespace

std::unique_ptr<PagePrefetch> MDIForm_Main::startReadingAhead(const QString& CommandLine)
{
    auto prefetch = std::make_unique<PagePrefetch>();
    const QString path = commandLinePath(trimBlanks(CommandLine));
    if (path.isEmpty())
        return prefetch;
    if (!QFileInfo(path).isDir()) {
        // An archive is unpacked meanwhile instead.
        Open_Target_Ahead(path);
        return prefetch;
    }
    // As the first turn into the folder will size its page: the window's view area (its
    // outer size is made to be the one asked for, frame or none), the magnification not
    // fixed, the screen the window opens on.
    const QSize view = viewAreaTwips(startUpWindowPixels());
    PageTurnSizing sizing;
    sizing.viewWidth = view.width();
    sizing.viewHeight = view.height();
    sizing.twipsPerPixel = twipsPerPixel();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        sizing.devicePixelRatio = screen->devicePixelRatio();
    prefetch->prepareFirstPage(path, sizing);
    return prefetch;
}

MDIForm_Main::MDIForm_Main(std::unique_ptr<PagePrefetch> readingAhead, QWidget* parent)
    : QMainWindow(parent)
    , m_readingAhead(std::move(readingAhead))
{
    setWindowTitle(mainCaption());
    acceptFileDrops(this, std::bind_front(&MDIForm_Main::MDIForm_OLEDragDrop, this));
    buildToolbar();

    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setFrameShape(QFrame::NoFrame);
    m_mdiArea->setFocusPolicy(Qt::NoFocus);
    // An enlarged page can be scrolled into view; the page itself never moves.
    m_mdiArea->setHorizontalScrollBar(
        new ClientAreaScrollBar(Qt::Horizontal, m_mdiArea->viewport(), m_mdiArea));
    m_mdiArea->setVerticalScrollBar(
        new ClientAreaScrollBar(Qt::Vertical, m_mdiArea->viewport(), m_mdiArea));
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setBackground(palette().color(QPalette::WindowText));
    m_mdiArea->setAcceptDrops(true);
    acceptFileDrops(m_mdiArea->viewport(),
                    std::bind_front(&MDIForm_Main::MDIForm_OLEDragDrop, this));
    setCentralWidget(m_mdiArea);
    m_mdiArea->viewport()->installEventFilter(this);

    m_fileListTimer = new QTimer(this);
    m_fileListTimer->setSingleShot(true);
    m_fileListTimer->setInterval(kFileListDelayMs);
    connect(m_fileListTimer, &QTimer::timeout, this, &MDIForm_Main::listUnpackedPages);

    // Set last: widgets created later would otherwise slip into the toolbar's order.
    const std::array<QWidget*, 10> tabOrder = {Command_Preview_PostView[1],
                                               Command_Small_Big[0],
                                               Command_Small_Big[1],
                                               Check,
                                               Command_GetFolder,
                                               Combo_Path,
                                               Combo_File,
                                               Command_Setting,
                                               Command_Preview_PostView[0],
                                               Command_Preview_PostView[1]};
    for (size_t i = 0; i + 2 < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);
}

MDIForm_Main::~MDIForm_Main() = default;

void MDIForm_Main::buildToolbar()
{
    Toolbar_Main = new QWidget(this);
    Toolbar_Main->setObjectName(QStringLiteral("Toolbar_Main"));
    Toolbar_Main->setFixedHeight(twipsToPixels(kToolbarHeightTwips));

    Command_Setting = makeButton(Toolbar_Main, kCaptionSetting, twipsRect(30, 60, 495, 255));
    Command_Setting->setFont(fixedFont(8.25));
    Command_Preview_PostView[0] =
        makeButton(Toolbar_Main, kCaptionPrevious, twipsRect(600, 30, 1095, 315));
    Command_Preview_PostView[1] =
        makeButton(Toolbar_Main, kCaptionNext, twipsRect(1710, 30, 1095, 315));
    for (QPushButton* button : Command_Preview_PostView)
        button->setFont(fixedFont(12));
    Command_Small_Big[0] = makeButton(Toolbar_Main, kCaptionShrink, twipsRect(2910, 30, 735, 315));
    Command_Small_Big[1] = makeButton(Toolbar_Main, kCaptionEnlarge, twipsRect(3660, 30, 735, 315));
    for (QPushButton* button : Command_Small_Big)
        button->setFont(fixedFont(9.75));
    Check = new QCheckBox(kCaptionCheck, Toolbar_Main);
    Check->setGeometry(twipsRect(4410, 75, 1035, 195));
    Command_GetFolder = makeButton(Toolbar_Main, kCaptionFolder, twipsRect(5730, 30, 945, 315));
    Combo_Path = makeCombo(Toolbar_Main, twipsRect(6720, 45, 5325, 300));
    Combo_File = makeCombo(Toolbar_Main, twipsRect(12135, 45, 2715, 300));
    m_comboPathBox = QtComboBox(Combo_Path);
    m_comboFileBox = QtComboBox(Combo_File);

    for (int index = 0; index < 2; ++index) {
        connect(Command_Preview_PostView[index], &QPushButton::clicked, this,
                [this, index] { Command_Preview_PostView_Click(index); });
        connect(Command_Small_Big[index], &QPushButton::clicked, this,
                [this, index] { Command_Small_Big_Click(index); });
        Command_Preview_PostView[index]->installEventFilter(this);
        Command_Small_Big[index]->installEventFilter(this);
    }
    connect(Command_Setting, &QPushButton::clicked, this, &MDIForm_Main::Command_Setting_Click);
    connect(Command_GetFolder, &QPushButton::clicked, this, &MDIForm_Main::Command_GetFolder_Click);
    connect(Combo_Path, &QComboBox::activated, this, &MDIForm_Main::pickFolder);
    connect(Combo_File, &QComboBox::activated, this, &MDIForm_Main::Combo_File_Click);

    setMenuWidget(Toolbar_Main);
}

void MDIForm_Main::MDIForm_Load(const QString& CommandLine)
{
    const QSize screen = screenSizeTwips();
    move(0, 0);
    resize(startUpWindowPixels());
    show();
    // Under a window manager the frame adds to the outer size the start-up sets.
    const QSize frameExtra = frameGeometry().size() - geometry().size();
    if (frameExtra.width() > 0 || frameExtra.height() > 0)
        resize(size() - frameExtra);
    prepareWindowStore(*this);

    m_helpWindow = new Form_Help(this);
    m_helpWindow->installEventFilter(this);
    m_helpWindow->subWindow()->move(twipsToPixels(screen.width() / 2.0), 0);
    m_helpWindow->subWindow()->show();
    // While the first page decodes on another core, the window is drawn: when the page
    // comes, only the page is left to draw. No input is taken yet. (An archive is drawn
    // over while it unpacks instead.)
    if (m_readingAhead && m_readingAhead->working())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    const QString line = trimBlanks(CommandLine);
    if (line.isEmpty() || line == QLatin1String("\"\"")) {
        QString current;
        Mod_Varnox::Ini_Read(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent,
                             settingsFilePath(), current);
        if (trimBlanks(current).isEmpty()) {
            Command_GetFolder_Click();
            return;
        }
    }

    const std::int32_t kind = Open_Target(commandLinePath(line));
    if (!line.isEmpty() && kind == OpenKind::Failed)
        ui().endProgram(1);
}

void MDIForm_Main::MDIForm_Resize()
{
    const QSize view = viewAreaTwips(frameGeometry().size());
    Mod_Varnox::View_Height = view.height();
    Mod_Varnox::View_Width = view.width();
}

void MDIForm_Main::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    MDIForm_Resize();
}

void MDIForm_Main::closeEvent(QCloseEvent* event)
{
    event->accept();
    MDIForm_QueryUnload();
}

void MDIForm_Main::MDIForm_QueryUnload()
{
    // Every setting was written when it changed: nothing to save, nothing to ask. Only the
    // page on screen may still be on its way to the options file.
    Resume::flush();
    ui().endProgram(0);
}

Form_Main& MDIForm_Main::pageWindow()
{
    if (!m_pageWindow) {
        m_pageWindow = new Form_Main(this, std::move(m_readingAhead));
        m_pageWindow->installEventFilter(this);
        connect(m_pageWindow, &Form_Main::pagePlaced, this, &MDIForm_Main::showPageCorner);
    }
    return *m_pageWindow;
}

quintptr MDIForm_Main::hWnd() const
{
    return static_cast<quintptr>(winId());
}

Archiver::MemberWatch MDIForm_Main::unpackWatch(const QString& folder)
{
    // Opening the unpacked folder shows its first page as Combo_Path_Click does: the factors
    // reset, in the view area and on the screen as they are now.
    PageTurnSizing sizing;
    sizing.viewWidth = Mod_Varnox::View_Width;
    sizing.viewHeight = Mod_Varnox::View_Height;
    sizing.twipsPerPixel = twipsPerPixel();
    sizing.devicePixelRatio = devicePixelRatioF();
    if (!m_pageWindow && !m_readingAhead)
        m_readingAhead = std::make_unique<PagePrefetch>();
    // Outlives the unpacking: the page window, made meanwhile or later, takes this one over.
    PagePrefetch* prefetch = m_pageWindow ? &m_pageWindow->prefetch() : m_readingAhead.get();
    // The window outlives every unpacking: closing it waits until the unpacking has stopped.
    auto pages = std::make_shared<UnpackingPages>(folder, [this] {
        QMetaObject::invokeMethod(this, &MDIForm_Main::unpackingChanged, Qt::QueuedConnection);
    });
    m_unpacking = pages;
    Archiver::MemberWatch watch;
    watch.planned = [prefetch, folder, sizing, pages](const QStringList& files) {
        pages->planned(files);
        prefetch->expectUnpackedFolder(folder, files, sizing);
    };
    watch.written = [prefetch, pages](const QString& file) {
        pages->written(file);
        prefetch->fileUnpacked(file);
    };
    watch.ended = [pages] { pages->ended(); };
    return watch;
}

void MDIForm_Main::unpackingChanged()
{
    if (!m_fileListTimer->isActive())
        m_fileListTimer->start();
    if (m_pageWait)
        m_pageWait->quit();
}

void MDIForm_Main::listUnpackedPages()
{
    if (!m_unpacking)
        return;
    const QString folder = trimBlanks(m_comboPathBox.text());
    const QString tmp = tmpFolderPath();
    if (folder != tmp && !folder.startsWith(tmp + kPathSeparator))
        return;
    // Pages still being written are left out: a pick would find half a picture.
    const QSet<QString> coming = m_unpacking->comingIn(folder);
    QStringList pages = Mod_Varnox::folderPictures(m_comboPathBox);
    pages.removeIf([&](const QString& page) { return coming.contains(page); });
    QStringList listed;
    for (int k = 0; k < m_comboFileBox.listCount(); ++k)
        listed << m_comboFileBox.list(k);
    if (listed == pages)
        return;
    const QString text = m_comboFileBox.text();
    m_comboFileBox.clear();
    m_comboFileBox.setText(text);
    m_comboFileBox.addItems(pages);
}

void MDIForm_Main::pickFolder()
{
    const QString folder = trimBlanks(m_comboPathBox.text());
    const QString tmp = tmpFolderPath();
    // A subfolder of the book being unpacked is the same book: its unpacking goes on.
    if (m_unpacking && m_unpacking->unpacking() && folder != tmp &&
        !folder.startsWith(tmp + kPathSeparator))
        Mod_Varnox::endUnpacking();
    Combo_Path_Click();
}

void MDIForm_Main::awaitUnpackedPages(std::int32_t count, std::int16_t mode)
{
    if (!m_unpacking || !m_unpacking->unpacking() || mode != 1)
        return;
    // A spread shows a page and its partner, and a step may pass a wide page: the next three
    // pages cover every spread a step reaches.
    const int reach = ReadingOptions::isOn(ReadingOptions::Option::Spread) ? 3 : 1;
    const QStringList awaited = m_unpacking->awaitedBy(trimBlanks(m_comboPathBox.text()),
                                                       m_comboFileBox.text(), count, reach);
    if (!m_unpacking->anyAwaited(awaited))
        return;
    QEventLoop loop;
    m_pageWait = &loop;
    {
        const InputWhileWaiting block;
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        const QPointer<ExtractionProgressStrip> strip = findChild<ExtractionProgressStrip*>();
        if (strip)
            strip->setWaiting(true);
        while (m_unpacking->anyAwaited(awaited))
            loop.exec();
        if (strip)
            strip->setWaiting(false);
        QGuiApplication::restoreOverrideCursor();
    }
    m_pageWait = nullptr;
}

QString MDIForm_Main::showPage(std::int32_t count, std::int16_t mode, std::int16_t mode2)
{
    awaitUnpackedPages(count, mode);
    Form_Main& page = pageWindow();
    const QString shown =
        page.Image_Get(*page.Image_Main(), m_comboPathBox, m_comboFileBox, count,
                       Mod_Varnox::Cur_bairitu, Mod_Varnox::Cur_base_bairitu, mode, mode2);
    // A book read from the temporary folder is not emptied under this window by another
    // Folivo program.
    const QString folder = trimBlanks(m_comboPathBox.text());
    Mod_Varnox::followShownFolder(folder);
    Resume::pageShown(folder, shown);
    return shown;
}

void MDIForm_Main::endPageCommand()
{
    ui().doEvents();
    focusNextButton();
}

// The client area scrolls by moving its windows; at the bars' start every window is back
// where it was placed, the page at the corner. Done while the new page is still hidden, so
// that it is never drawn at the old page's offset.
void MDIForm_Main::showPageCorner()
{
    m_mdiArea->horizontalScrollBar()->setValue(0);
    m_mdiArea->verticalScrollBar()->setValue(0);
}

void MDIForm_Main::focusNextButton()
{
    Command_Preview_PostView[1]->setFocus(Qt::OtherFocusReason);
}

int MDIForm_Main::checkValue() const
{
    return Check->isChecked() ? 1 : 0;
}

void MDIForm_Main::setCheckValue(int value)
{
    Check->setChecked(value == 1);
}

void MDIForm_Main::Command_Preview_PostView_Click(int Index)
{
    Mod_Varnox::Cur_base_bairitu = 1.0;
    if (checkValue() != 1)
        Mod_Varnox::Cur_bairitu = 1.0;
    m_comboFileBox.setText(
        showPage(Index == 0 ? -1 : 1, 1, static_cast<std::int16_t>(checkValue())));
    endPageCommand();
}

void MDIForm_Main::Combo_File_Click()
{
    Mod_Varnox::Cur_bairitu = 1.0;
    Mod_Varnox::Cur_base_bairitu = 1.0;
    showPage(0, 1, 0);
    endPageCommand();
}

void MDIForm_Main::Combo_Path_Click()
{
    Mod_Varnox::Cur_bairitu = 1.0;
    Mod_Varnox::Cur_base_bairitu = 1.0;
    if (m_pageWindow)
        m_pageWindow->unshiftPairing();
    // A book opened again goes back to the page it was left on, shown as a pick in the file
    // box would show it.
    if (const QString place = Resume::placeOf(trimBlanks(m_comboPathBox.text()));
        !place.isEmpty()) {
        m_comboFileBox.setText(place);
        Mod_Varnox::File_List_Load(m_comboPathBox, m_comboFileBox);
        m_comboFileBox.setText(showPage(0, 1, 0));
    } else {
        m_comboFileBox.setText(QString());
        m_comboFileBox.setText(showPage(1, 1, 0));
    }
    const QString folder = trimBlanks(m_comboPathBox.text());
    if (!folder.isEmpty()) {
        Mod_Varnox::Ini_Write(Mod_Varnox::kSectionFolders, Mod_Varnox::kKeyCurrent,
                              settingsFilePath(), folder);
        setCheckValue(0);
    }
    endPageCommand();
}

void MDIForm_Main::Command_Setting_Click()
{
    Form_Control settings(this);
    showModal(settings);
    focusNextButton();
}

void MDIForm_Main::Command_GetFolder_Click()
{
    // Another folder may be picked there: a book still unpacking stops first.
    if (m_unpacking && m_unpacking->unpacking())
        Mod_Varnox::endUnpacking();
    const QString oldFolder = m_comboPathBox.text();
    {
        Form_Dir folders(m_comboPathBox, this);
        showModal(folders);
    }
    const QString newFolder = m_comboPathBox.text();
    if (trimBlanks(newFolder).isEmpty()) {
        // The current folder was deleted: the page stays on screen, the lists follow the file.
        m_comboFileBox.clear();
        Combo_Path_Load();
        return;
    }
    if (newFolder != oldFolder) {
        m_comboFileBox.clear();
        Combo_Path_Load();
        m_comboPathBox.setText(newFolder);
        Combo_Path_Click();
        return;
    }
    focusNextButton();
}

void MDIForm_Main::Combo_Path_Load()
{
    m_comboPathBox.clear();
    m_comboPathBox.addItems(Mod_Varnox::registeredFolders(settingsFilePath()));
}

void MDIForm_Main::Command_Small_Big_Click(int Index)
{
    const QString shown =
        joinPath(trimBlanks(m_comboPathBox.text()), trimBlanks(m_comboFileBox.text()));
    if (!Mod_Varnox::Picture_Check(shown))
        return;
    double& zoom = Mod_Varnox::Cur_bairitu;
    if (Index == 0) {
        if (!(zoom > kZoomMin)) {
            ui().messageBox(kCannotShrink, MessageStyle::Warning, mainCaption());
            focusNextButton();
            return;
        }
        zoom = zoom - kZoomStep;
    } else {
        if (!(zoom < kZoomMax)) {
            ui().messageBox(kCannotEnlarge, MessageStyle::Warning, mainCaption());
            focusNextButton();
            return;
        }
        zoom = zoom + kZoomStep;
    }
    m_comboFileBox.setText(showPage(0, 0, 0));
    endPageCommand();
}

void MDIForm_Main::Command_Preview_PostView_KeyDown(int Index, int& KeyCode, int Shift)
{
    Key_Command(Index, KeyCode, Shift);
}

void MDIForm_Main::Command_Small_Big_KeyDown(int Index, int& KeyCode, int Shift)
{
    Key_Command(Index, KeyCode, Shift);
}

void MDIForm_Main::Key_Command(int Index, int KeyCode, int Shift)
{
    Q_UNUSED(Index);
    Q_UNUSED(Shift);
    if (KeyCode == kVkAdd)
        Command_Small_Big_Click(1);
    else if (KeyCode == kVkSubtract)
        Command_Small_Big_Click(0);
    else if (KeyCode == kVkDecimal)
        setCheckValue(checkValue() == 1 ? 0 : 1);
}

bool MDIForm_Main::eventFilter(QObject* watched, QEvent* event)
{
    // A right click on the page, the help page or the bare client area. Taken here, before
    // the frameless child window around the page would offer its own window menu.
    if (event->type() == QEvent::ContextMenu &&
        (watched == m_mdiArea->viewport() || watched == m_pageWindow || watched == m_helpWindow)) {
        showReadingMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        for (int index = 0; index < 2; ++index) {
            int code = virtualKeyCode(key);
            const int shift = static_cast<int>(key->modifiers());
            if (watched == Command_Preview_PostView[index] && code != 0) {
                Command_Preview_PostView_KeyDown(index, code, shift);
                return true;
            }
            if (watched == Command_Small_Big[index] && code != 0) {
                Command_Small_Big_KeyDown(index, code, shift);
                return true;
            }
        }
        // The arrow keys walk the focus along the toolbar's buttons.
        if (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right) {
            if (qobject_cast<QPushButton*>(watched)) {
                focusNextPrevChild(key->key() == Qt::Key_Right);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MDIForm_Main::contextMenuEvent(QContextMenuEvent* event)
{
    // The Menu key comes from whichever control has the focus, mostly a toolbar button; a
    // right click on the toolbar is not for the reading options.
    if (event->reason() != QContextMenuEvent::Keyboard) {
        event->ignore();
        return;
    }
    showReadingMenu(m_mdiArea->mapToGlobal(QPoint(kMenuKeyOffset, kMenuKeyOffset)));
}

void MDIForm_Main::showReadingMenu(const QPoint& at)
{
    ReadingMenu::Commands commands;
    commands.changed = [this](ReadingOptions::Option option) { readingOptionChanged(option); };
    if (m_pageWindow && m_pageWindow->showsPage()) {
        commands.shiftPairing = [this] {
            m_pageWindow->shiftPairing(m_comboPathBox.text());
            reshowPage();
        };
    }
    commands.otherBook = [this](int direction) { openOtherBook(direction); };
    ReadingMenu menu(std::move(commands), this);
    menu.exec(at);
}

void MDIForm_Main::openOtherBook(int direction)
{
    const QString book = Other_Book(trimBlanks(m_comboPathBox.text()), direction);
    if (book.isEmpty()) {
        ui().messageBox(direction > 0 ? kNoNextBook : kNoPreviousBook, MessageStyle::Information,
                        mainCaption());
        focusNextButton();
        return;
    }
    // As a drop of that book would open it.
    Open_Target(book);
}

void MDIForm_Main::readingOptionChanged(ReadingOptions::Option option)
{
    switch (option) {
    case ReadingOptions::Option::MoreFormats:
        // The pages of the folder on screen are listed again with the formats now read; the
        // page on screen stays as it is.
        if (!trimBlanks(m_comboPathBox.text()).isEmpty())
            Mod_Varnox::File_List_Load(m_comboPathBox, m_comboFileBox);
        break;
    case ReadingOptions::Option::Spread:
        reshowPage();
        break;
    case ReadingOptions::Option::RightToLeft:
    case ReadingOptions::Option::CoverAlone:
        // They change nothing of a single page.
        if (ReadingOptions::isOn(ReadingOptions::Option::Spread))
            reshowPage();
        break;
    case ReadingOptions::Option::Resume:
        // The page on screen is the first one remembered.
        Resume::pageShown(trimBlanks(m_comboPathBox.text()), m_comboFileBox.text());
        break;
    }
}

// As a turn that goes nowhere: the file box's page, fitted afresh unless the magnification
// is fixed. The spread that holds the page replaces the one on screen, or the page alone the
// spread.
void MDIForm_Main::reshowPage()
{
    if (!m_pageWindow || !m_pageWindow->showsPage())
        return;
    Mod_Varnox::Cur_base_bairitu = 1.0;
    if (checkValue() != 1)
        Mod_Varnox::Cur_bairitu = 1.0;
    m_comboFileBox.setText(showPage(0, 1, static_cast<std::int16_t>(checkValue())));
    endPageCommand();
}

void MDIForm_Main::MDIForm_OLEDragDrop(const QMimeData* Data, Qt::DropAction Effect,
                                       Qt::MouseButtons Button, Qt::KeyboardModifiers Shift,
                                       double X, double Y)
{
    Q_UNUSED(Effect);
    Q_UNUSED(Button);
    Q_UNUSED(Shift);
    Q_UNUSED(X);
    Q_UNUSED(Y);
    // Text or other data dragged from another program carries no file: nothing to open.
    if (!Data || !Data->hasUrls())
        return;
    const QList<QUrl> urls = Data->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    Open_Target(trimBlanks(urls.first().toLocalFile()));
}

std::int32_t MDIForm_Main::Open_Target(const QString& path)
{
    return folivo::Open_Target(*this, path);
}

} // namespace folivo
