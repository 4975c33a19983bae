#pragma once

#include <QtCore/qnamespace.h>

#include <functional>

class QMimeData;
class QWidget;

namespace folivo {

/// A drop handler's six values: data, effect, button, shift, x, y.
using DropHandler = std::function<void(const QMimeData*, Qt::DropAction, Qt::MouseButtons,
                                       Qt::KeyboardModifiers, double, double)>;

/// Makes widget take drags that carry files (the program's windows take dropped files and
/// folders, nothing else) and hand every drop to handler.
void acceptFileDrops(QWidget* widget, DropHandler handler);

} // namespace folivo
