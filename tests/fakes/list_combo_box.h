#pragma once

#include "platform/combo_box.h"

#include <QStringList>

namespace folivo::test {

/// A combo box without a widget: a text and a list.
class ListComboBox : public ComboBox {
public:
    ListComboBox() = default;
    explicit ListComboBox(QStringList initialItems, QString initialText = QString())
        : items(std::move(initialItems))
        , currentText(std::move(initialText))
    {
    }

    QString text() const override { return currentText; }
    void setText(const QString& text) override { currentText = text; }
    int listCount() const override { return static_cast<int>(items.size()); }
    QString list(int index) const override { return items.at(index); }
    void addItem(const QString& item) override { items.append(item); }
    void clear() override
    {
        items.clear();
        currentText.clear();
    }

    QStringList items;
    QString currentText;
};

} // namespace folivo::test
