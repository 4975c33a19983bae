#pragma once

#include "platform/file_stamp.h"
#include "view/page_prefetch.h"
#include "view/spread_pairs.h"

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>

class QMdiSubWindow;
class QMimeData;

namespace folivo {

class ChildWindowHost;
class ComboBox;
class ImageControl;

/// The page window: a borderless child of the main window at the top-left corner of its
/// client area, exactly as large as the page it shows in Image_Main.
class Form_Main : public QWidget {
    Q_OBJECT
public:
    /// Creates the window inside the host's client area and runs Form_Load.
    /// `readingAhead`: the prefetcher to use, perhaps already at work (a new one when null).
    explicit Form_Main(ChildWindowHost* host, std::unique_ptr<PagePrefetch> readingAhead = nullptr);
    ~Form_Main() override;

    /// Shows a page: checks the folder, steps through the folder's pictures by Count, loads
    /// the picture, fits it into the view area (Mode 1) or applies the zoom (other Mode),
    /// and sizes this window to it. Failures are reported in a message box (may run the
    /// event loop) and the call returns normally. Returns the file name now current, or ""
    /// when the folder is not one of Path_Name's items.
    QString Image_Get(ImageControl& Image, ComboBox& Path_Name, ComboBox& File_Name,
                      std::int32_t Count, double& bairitu, double& base_bairitu, std::int16_t Mode,
                      std::int16_t Mode2);

    /// Starts or ends shifting the pairing of two-page spreads by one page, for the book in
    /// `folder` only: another book, or this one opened again, starts unshifted.
    void shiftPairing(const QString& folder);
    /// A book opened starts with its pairing unshifted, also where it reopens at a page.
    void unshiftPairing() { m_shiftedFolder.clear(); }
    /// Whether a page is on screen (none before the first and after a page failed).
    bool showsPage() const { return m_shownFactors.has_value(); }

    ImageControl* Image_Main() const { return m_image; }
    QMdiSubWindow* subWindow() const { return m_subWindow; }
    /// The pages read ahead of their turn.
    PagePrefetch& prefetch() const { return *m_prefetch; }

signals:
    /// Image_Get has sized this window to a new page and is about to show it.
    void pagePlaced();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Form_Load();
    void Form_GotFocus();
    void Form_OLEDragDrop(const QMimeData* Data, Qt::DropAction Effect, Qt::MouseButtons Button,
                          Qt::KeyboardModifiers Shift, double X, double Y);
    void Image_Main_OLEDragDrop(const QMimeData* Data, Qt::DropAction Effect,
                                Qt::MouseButtons Button, Qt::KeyboardModifiers Shift, double X,
                                double Y);
    void showPageWindow();
    void hidePageWindow();
    void keepShownFactors(double& bairitu, double& base_bairitu) const;

    /// The factors of the page on screen; none while no page is shown.
    struct Factors {
        double bairitu;
        double baseBairitu;
    };
    QString pageImageGet(ImageControl& Image, ComboBox& Path_Name, ComboBox& File_Name,
                         std::int32_t Count, double& bairitu, double& base_bairitu,
                         std::int16_t Mode, std::int16_t Mode2);
    QString spreadImageGet(ImageControl& Image, ComboBox& Path_Name, ComboBox& File_Name,
                           std::int32_t Count, double& bairitu, double& base_bairitu,
                           std::int16_t Mode, std::int16_t Mode2);
    void prepareNextTurns(const ImageControl& Image, const QString& folder, const QString& name,
                          std::int32_t Count, double bairitu);
    void prepareNextSpreads(const ImageControl& Image, const QStringList& paths,
                            const SpreadPairs& pairs, const Spread& shown, std::int32_t Count,
                            double bairitu);
    PageTurnSizing nextTurnSizing(const ImageControl& Image, double bairitu) const;
    Pace turnPace(std::int32_t Count);
    /// The control of the page beside the first in a spread, made when first needed.
    ImageControl& partnerImage();
    /// Puts the page on screen alone again, as a single page is shown.
    void leaveSpread(ImageControl& Image);
    void loadSpreadPage(ImageControl& Image, const QString& path);
    bool isWidePage(const QString& path);

    ChildWindowHost* m_host;
    QMdiSubWindow* m_subWindow = nullptr;
    ImageControl* m_image = nullptr;
    ImageControl* m_partner = nullptr;
    /// What the pages' headers said of their shape, while their files stay the same.
    struct KnownShape {
        FileStamp stamp;
        bool wide = false;
    };
    QHash<QString, KnownShape> m_shapes;
    QString m_shapesFolder;
    QString m_shiftedFolder; ///< the book whose pairing is shifted; empty when none is
    int m_spreadDirection = 1;
    std::optional<Factors> m_shownFactors;
    std::unique_ptr<PagePrefetch> m_prefetch;
    QElapsedTimer m_lastShown; ///< since the last page was shown
};

} // namespace folivo
