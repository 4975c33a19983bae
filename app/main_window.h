#pragma once

#include "open/open_target.h"
#include "platform/child_window_host.h"
#include "platform/combo_box.h"
#include "settings/reading_options.h"
#include "view/page_prefetch.h"

#include <QMainWindow>

#include <array>
#include <cstdint>
#include <memory>

class QCheckBox;
class QEventLoop;
class QTimer;
class QComboBox;
class QMdiArea;
class QMimeData;
class QPushButton;

namespace folivo {

class Form_Help;
class Form_Main;
class UnpackingPages;

/// The main window: the toolbar with every command, and the client area that holds the
/// page window and the help window. Its handlers are also called as procedures by the open
/// procedure and the start-up, and act as if the user had clicked.
class MDIForm_Main : public QMainWindow, public OpenTargetHost, public ChildWindowHost {
    Q_OBJECT
public:
    /// `readingAhead` is handed to the page window when it is made (a new one when null).
    explicit MDIForm_Main(std::unique_ptr<PagePrefetch> readingAhead = nullptr,
                          QWidget* parent = nullptr);
    ~MDIForm_Main() override;

    /// Before the window is built: when the command line names a folder, starts decoding the
    /// page opening it will show first, for the window the start-up makes, on another core;
    /// when it names an archive, starts unpacking it.
    static std::unique_ptr<PagePrefetch> startReadingAhead(const QString& CommandLine);

    /// Start-up: places and shows the window and the help window, then opens the command
    /// line's path (or the current folder, or asks for one in the folder window). May show
    /// message boxes and modal windows, and may end the program.
    void MDIForm_Load(const QString& CommandLine);
    void MDIForm_Resize();

    // Toolbar handlers. Each may show message boxes; the folder and settings buttons open
    // modal windows.
    void Command_Preview_PostView_Click(int Index);
    void Command_Small_Big_Click(int Index);
    void Command_Setting_Click();
    void Command_GetFolder_Click() override;
    void Combo_File_Click() override;
    void Combo_Path_Click() override;
    void Combo_Path_Load() override;
    void Command_Preview_PostView_KeyDown(int Index, int& KeyCode, int Shift);
    void Command_Small_Big_KeyDown(int Index, int& KeyCode, int Shift);

    void MDIForm_OLEDragDrop(const QMimeData* Data, Qt::DropAction Effect, Qt::MouseButtons Button,
                             Qt::KeyboardModifiers Shift, double X, double Y) override;
    std::int32_t Open_Target(const QString& path);

    /// Makes a reading option that was just turned on or off take effect on the book on
    /// screen (the context menu's items call it).
    void readingOptionChanged(ReadingOptions::Option option);

    /// Opens the next (+1) or previous (-1) book beside the one on screen, as a drop would;
    /// says so when there is none.
    void openOtherBook(int direction);

    void focusNextButton() override;
    bool zoomFixed() const override { return checkValue() == 1; }

    ComboBox& comboPath() override { return m_comboPathBox; }
    ComboBox& comboFile() override { return m_comboFileBox; }
    quintptr hWnd() const override;
    Archiver::MemberWatch unpackWatch(const QString& folder) override;

    QMdiArea* mdiArea() const override { return m_mdiArea; }
    /// The page window, created on its first use.
    Form_Main& pageWindow();

    // The toolbar's controls, by their fixed names.
    QWidget* Toolbar_Main = nullptr;
    QPushButton* Command_Setting = nullptr;
    std::array<QPushButton*, 2> Command_Preview_PostView{};
    std::array<QPushButton*, 2> Command_Small_Big{};
    QCheckBox* Check = nullptr;
    QPushButton* Command_GetFolder = nullptr;
    QComboBox* Combo_Path = nullptr;
    QComboBox* Combo_File = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void buildToolbar();
    /// The reading options' context menu, at a point on the screen.
    void showReadingMenu(const QPoint& at);
    void MDIForm_QueryUnload();
    /// Image_Get on the page window with the toolbar's boxes and the module's factors; may
    /// show a message box. Returns the file name Image_Get returns.
    QString showPage(std::int32_t count, std::int16_t mode, std::int16_t mode2);
    /// Shows the page on screen again as the reading options now say (may show a message
    /// box); nothing when no page is on screen.
    void reshowPage();
    /// Before a turn into a book that is still unpacking: waits, running the event loop and
    /// taking no input but 中止's, until the pages the turn may show are out (or the unpacking
    /// has ended). Nothing when no page it reaches is still to come.
    void awaitUnpackedPages(std::int32_t count, std::int16_t mode);
    /// From the unpacking threads: a file is out, or the unpacking has ended.
    void unpackingChanged();
    /// The file box lists the pages of the folder on screen that are out so far.
    void listUnpackedPages();
    /// A pick in the folder box: another book than the one unpacking ends its unpacking first.
    void pickFolder();
    /// The end of every page command: pending events run, "次=>" takes the focus again.
    void endPageCommand();
    /// Scrolls the client area to its start, where a new page begins: its top-left corner.
    void showPageCorner();
    void Key_Command(int Index, int KeyCode, int Shift);
    int checkValue() const;
    void setCheckValue(int value);

    QMdiArea* m_mdiArea = nullptr;
    Form_Main* m_pageWindow = nullptr;
    std::unique_ptr<PagePrefetch> m_readingAhead;
    Form_Help* m_helpWindow = nullptr;
    QtComboBox m_comboPathBox{nullptr};
    QtComboBox m_comboFileBox{nullptr};
    /// The book being unpacked into the folder on screen, if any; shared with the unpacking.
    std::shared_ptr<UnpackingPages> m_unpacking;
    /// Gathers the files written in a moment into one refill of the file box.
    QTimer* m_fileListTimer = nullptr;
    /// The loop of awaitUnpackedPages while it waits.
    QEventLoop* m_pageWait = nullptr;
};

} // namespace folivo
