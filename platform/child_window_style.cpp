#include "platform/child_window_style.h"

#include <QApplication>
#include <QIcon>
#include <QProxyStyle>

namespace folivo {
namespace {

// The page and help windows are frameless children of the main window: no title bar, no
// system menu, so its icons are never drawn. Yet every child window asks the style for them
// when it is made, and Qt reads those icon files through a reader that first loads every
// image plugin on the machine and asks each whether it reads them: about a tenth of the
// start-up, and the plugins' memory kept for good.
class FramelessChildWindowStyle final : public QProxyStyle {
public:
    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option,
                       const QWidget* widget) const override
    {
        if (icon >= SP_TitleBarMenuButton && icon <= SP_TitleBarContextHelpButton)
            return QIcon();
        return QProxyStyle::standardIcon(icon, option, widget);
    }
};

} // namespace

void useFramelessChildWindowStyle()
{
    // No base style given: the proxy wraps the style the application would have had.
    QApplication::setStyle(new FramelessChildWindowStyle);
}

} // namespace folivo
