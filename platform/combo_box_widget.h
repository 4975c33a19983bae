#pragma once

#include <QComboBox>

class QWheelEvent;

namespace folivo {

/// The windows' editable combo box, in which only a real pick raises `activated`, and a
/// pick always starts from what the box shows:
/// - the entry equal to the text (exactly, case-sensitive) is the current one, and no entry
///   is current while the text equals none, however the text was set;
/// - typed text stays as typed: no completion, and Enter never adds it to the list;
/// - the wheel only steps through the list while the box has the focus.
class EditableComboBox final : public QComboBox {
    Q_OBJECT

public:
    explicit EditableComboBox(QWidget* parent = nullptr);

protected:
    void wheelEvent(QWheelEvent* event) override;
};

/// Makes the entry equal to the box's text (exactly) the current one, or none, keeping the
/// text and the cursor as they are. Raises no signal.
void selectEntryOfText(QComboBox* box);

} // namespace folivo
