#include "platform/modal.h"

#include "platform/modal_testing.h"

#include <QDialog>

#include <utility>

namespace folivo {
namespace {

std::function<void(QDialog&)>& modalScript()
{
    static std::function<void(QDialog&)> script;
    return script;
}

} // namespace

int showModal(QDialog& dialog)
{
    if (!modalScript())
        return dialog.exec();
    dialog.setModal(true);
    dialog.show();
    // Copy: the script may install the next step for a window it opens itself.
    const auto script = modalScript();
    script(dialog);
    if (dialog.isVisible())
        dialog.reject();
    return dialog.result();
}

void setModalScript(std::function<void(QDialog&)> script)
{
    modalScript() = std::move(script);
}

} // namespace folivo
