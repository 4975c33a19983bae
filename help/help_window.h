#pragma once

#include <QPixmap>
#include <QWidget>

class QMdiSubWindow;
class QMimeData;

namespace folivo {

class ChildWindowHost;

/// The help page beside the page window: one picture of usage instructions. It never keeps
/// the focus and passes drops on to the main window.
class Form_Help : public QWidget {
    Q_OBJECT
public:
    explicit Form_Help(ChildWindowHost* host);

    QMdiSubWindow* subWindow() const { return m_subWindow; }
    const QPixmap& picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Form_GotFocus();
    void Form_OLEDragDrop(const QMimeData* Data, Qt::DropAction Effect, Qt::MouseButtons Button,
                          Qt::KeyboardModifiers Shift, double X, double Y);

    ChildWindowHost* m_host;
    QMdiSubWindow* m_subWindow = nullptr;
    QPixmap m_picture;
};

} // namespace folivo
