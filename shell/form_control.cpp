#include "shell/form_control.h"

#include "platform/screen.h"
#include "platform/ui_services.h"
#include "shell/mod_reg.h"

#include <QColor>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QRect>

namespace folivo {
namespace {

const QString kCaption = QStringLiteral("設定");
const QString kFrame2Caption = QStringLiteral("右クリックメニューへのフォリボ起動の追加");
// clang-format off
const QString kLabel1Caption = QStringLiteral("圧縮ファイルやフォルダで右クリックすると表示するメニュー(右クリックメニュー=コンテキストメニュー)から簡単に起動できるようになります。");
// clang-format on
const QString kSetCaption = QStringLiteral("設定する");
const QString kRemoveCaption = QStringLiteral("解除する");
const QString kFrame1Caption = QStringLiteral("画像表示デフォルト設定");
const QString kOption1Caption = QStringLiteral("縦サイズを画面一杯に使う");
const QString kOption2Caption = QStringLiteral("横サイズを画面一杯に使う");
const QString kCloseCaption = QStringLiteral("終了");
const QString kDoneMessage = QStringLiteral("終了しました。");

} // namespace

Form_Control::Form_Control(QWidget* parent)
    : QDialog(parent)
    , m_frame2(new QGroupBox(kFrame2Caption, this))
    , m_label1(new QLabel(kLabel1Caption, m_frame2))
    , m_commandReg{new QPushButton(kSetCaption, m_frame2),
                   new QPushButton(kRemoveCaption, m_frame2)}
    , m_frame1(new QGroupBox(kFrame1Caption, this))
    , m_option1(new QRadioButton(kOption1Caption, m_frame1))
    , m_option2(new QRadioButton(kOption2Caption, m_frame1))
    , m_command(new QPushButton(kCloseCaption, this))
{
    setWindowTitle(kCaption);
    setModal(true);
    setFixedSize(twipsToPixels(9150), twipsToPixels(4245));

    m_frame2->setObjectName(QStringLiteral("Frame2"));
    m_frame2->setGeometry(twipsRect(540, 840, 8235, 1845));
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setGeometry(twipsRect(150, 270, 7905, 435));
    m_label1->setWordWrap(true);
    m_label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label1->setAutoFillBackground(true);
    QPalette labelColours = m_label1->palette();
    labelColours.setColor(QPalette::WindowText, QColor(0, 0, 255));
    labelColours.setColor(QPalette::Window, QColor(192, 192, 255));
    m_label1->setPalette(labelColours);
    m_commandReg[0]->setObjectName(QStringLiteral("Command_Reg_0"));
    m_commandReg[0]->setGeometry(twipsRect(1560, 1110, 1425, 345));
    m_commandReg[1]->setObjectName(QStringLiteral("Command_Reg_1"));
    m_commandReg[1]->setGeometry(twipsRect(5160, 1110, 1425, 345));

    // The default-display choice is read by nothing, and where it stands it would cover the
    // top of Frame2; it is kept, with its design state, but not shown.
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame1->setGeometry(twipsRect(540, 150, 3045, 975));
    m_option1->setObjectName(QStringLiteral("Option1"));
    m_option1->setGeometry(twipsRect(300, 300, 2385, 300));
    m_option1->setChecked(true);
    m_option2->setObjectName(QStringLiteral("Option2"));
    m_option2->setGeometry(twipsRect(300, 570, 2415, 300));
    m_frame1->setVisible(false);

    m_command->setObjectName(QStringLiteral("Command_0"));
    m_command->setGeometry(twipsRect(7710, 3630, 1185, 375));

    setTabOrder(m_command, m_option1);
    setTabOrder(m_option1, m_option2);
    setTabOrder(m_option2, m_commandReg[0]);
    setTabOrder(m_commandReg[0], m_commandReg[1]);
    m_command->setFocus();

    for (int index = 0; index < 2; ++index) {
        connect(m_commandReg[index], &QPushButton::clicked, this,
                [this, index] { Command_Reg_Click(index); });
    }
    connect(m_command, &QPushButton::clicked, this, [this] { Command_Click(0); });
}

void Form_Control::Command_Reg_Click(int Index)
{
    if (Index == 0)
        Mod_Reg::Menu_Set();
    else
        Mod_Reg::Menu_Remove();
    ui().messageBox(kDoneMessage, MessageStyle::Information, mainCaption());
}

void Form_Control::Command_Click(int Index)
{
    Q_UNUSED(Index);
    accept();
}

} // namespace folivo
