#include "platform/combo_box.h"

#include <QComboBox>
#include <QSignalBlocker>

namespace folivo {

QtComboBox::QtComboBox(QComboBox* box)
    : m_box(box)
{
}

QString QtComboBox::text() const
{
    return m_box->currentText();
}

void QtComboBox::setText(const QString& text)
{
    // Only the user's pick (QComboBox::activated) is a click; programmatic changes are silent.
    const QSignalBlocker blocker(m_box);
    m_box->setEditText(text);
}

int QtComboBox::listCount() const
{
    return m_box->count();
}

QString QtComboBox::list(int index) const
{
    return m_box->itemText(index);
}

void QtComboBox::addItem(const QString& item)
{
    // Adding to an empty editable box would make the item its text; keep the text as it was.
    const QSignalBlocker blocker(m_box);
    const QString keep = m_box->currentText();
    m_box->addItem(item);
    m_box->setEditText(keep);
}

void QtComboBox::clear()
{
    const QSignalBlocker blocker(m_box);
    m_box->clear();
    m_box->clearEditText();
}

} // namespace folivo
