#include "platform/combo_box.h"
#include "platform/combo_box_widget.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QWheelEvent>

namespace folivo {

void ComboBox::addItems(const QStringList& items)
{
    for (const QString& item : items)
        addItem(item);
}

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
    selectEntryOfText(m_box);
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
    selectEntryOfText(m_box);
}

void QtComboBox::addItems(const QStringList& items)
{
    // Matching the text against the list once, not after every item: a folder of thousands
    // of pages would otherwise take seconds to list.
    const QSignalBlocker blocker(m_box);
    const QString keep = m_box->currentText();
    m_box->addItems(items);
    m_box->setEditText(keep);
    selectEntryOfText(m_box);
}

void QtComboBox::clear()
{
    const QSignalBlocker blocker(m_box);
    m_box->clear();
    m_box->clearEditText();
}

EditableComboBox::EditableComboBox(QWidget* parent)
    : QComboBox(parent)
{
    setEditable(true);
    // Typed text is a path for the handlers to try, not an entry: the lists hold only what
    // the program put there (the folder window writes its list back as the registered slots).
    setInsertPolicy(QComboBox::NoInsert);
    // Typed text is compared exactly. The default completer would turn it into the spelling
    // of an entry that differs only in case, and Enter would then pick that entry.
    setCompleter(nullptr);
    connect(this, &QComboBox::editTextChanged, this, [this] { selectEntryOfText(this); });
}

void EditableComboBox::wheelEvent(QWheelEvent* event)
{
    // A wheel turned while the pointer merely crosses the box is no pick; let it pass on.
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}

void selectEntryOfText(QComboBox* box)
{
    const QString text = box->currentText();
    const int current = box->currentIndex();
    // Keeps a current entry that shows the text, also when the list holds it twice.
    if (current >= 0 && box->itemText(current) == text)
        return;
    const int match = box->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (match == current)
        return;
    const QSignalBlocker blocker(box);
    QLineEdit* edit = box->lineEdit();
    const int cursor = edit ? edit->cursorPosition() : 0;
    box->setCurrentIndex(match);
    // With no current entry QComboBox empties the text; put back what the user sees.
    if (edit && edit->text() != text) {
        edit->setText(text);
        edit->setCursorPosition(cursor);
    }
}

} // namespace folivo
