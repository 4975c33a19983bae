#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace folivo {

/// The settings window: adds the start verb to the shell's right-click menu of folders and
/// archives, or removes it. Opened modally; it keeps nothing between openings.
class Form_Control : public QDialog {
    Q_OBJECT

public:
    explicit Form_Control(QWidget* parent = nullptr);

    /// Index 0 registers the verb, any other removes it; then says so in a modal message box
    /// (registry failures show their own message boxes first). The window stays open.
    void Command_Reg_Click(int Index);
    /// Closes the window.
    void Command_Click(int Index);

private:
    QGroupBox* m_frame2;
    QLabel* m_label1;
    QPushButton* m_commandReg[2];
    QGroupBox* m_frame1;
    QRadioButton* m_option1;
    QRadioButton* m_option2;
    QPushButton* m_command;
};

} // namespace folivo
