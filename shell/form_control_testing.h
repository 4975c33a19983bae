#pragma once

#include "shell/form_control.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace folivo {

/// The settings window's controls, found by their fixed names.
inline QPushButton* commandReg(const Form_Control& form, int index)
{
    return form.findChild<QPushButton*>(index == 0 ? QStringLiteral("Command_Reg_0")
                                                   : QStringLiteral("Command_Reg_1"));
}
inline QPushButton* command(const Form_Control& form)
{
    return form.findChild<QPushButton*>(QStringLiteral("Command_0"));
}
inline QGroupBox* frame1(const Form_Control& form)
{
    return form.findChild<QGroupBox*>(QStringLiteral("Frame1"));
}
inline QGroupBox* frame2(const Form_Control& form)
{
    return form.findChild<QGroupBox*>(QStringLiteral("Frame2"));
}
inline QLabel* label1(const Form_Control& form)
{
    return form.findChild<QLabel*>(QStringLiteral("Label1"));
}

} // namespace folivo
