#pragma once

#include <QString>
#include <QStringList>

class QComboBox;

namespace folivo {

/// What the procedures need of a combo box: its editable text and its list of items.
/// The windows hand their QComboBox through QtComboBox; tests hand a plain list.
class ComboBox {
public:
    virtual ~ComboBox() = default;

    virtual QString text() const = 0;
    /// Sets the editable text; this never counts as a click on the box.
    virtual void setText(const QString& text) = 0;
    virtual int listCount() const = 0;
    virtual QString list(int index) const = 0;
    /// Appends an item at the end; no sorting.
    virtual void addItem(const QString& item) = 0;
    /// Appends the items at the end in one step, as that many addItem calls would.
    virtual void addItems(const QStringList& items);
    /// Empties the list and the text.
    virtual void clear() = 0;
};

/// A QComboBox seen as a ComboBox. The box must be editable. Whatever it writes leaves the
/// entry equal to the text (exactly) selected, or none, so that the toolkit's next pick
/// steps from what the box shows.
class QtComboBox final : public ComboBox {
public:
    explicit QtComboBox(QComboBox* box);

    QString text() const override;
    void setText(const QString& text) override;
    int listCount() const override;
    QString list(int index) const override;
    void addItem(const QString& item) override;
    void addItems(const QStringList& items) override;
    void clear() override;

    QComboBox* widget() const { return m_box; }

private:
    QComboBox* m_box;
};

} // namespace folivo
