#include "NumericLineEdit.h"

#include <QKeyEvent>

namespace quillmorph {

NumericLineEdit::NumericLineEdit(QWidget* parent) : QLineEdit(parent) {
    setAlignment(Qt::AlignRight);
    setFixedWidth(72);
}

void NumericLineEdit::keyPressEvent(QKeyEvent* event) {
    const bool up = event->key() == Qt::Key_Up;
    if (up || event->key() == Qt::Key_Down) {
        const double size = event->modifiers().testFlag(Qt::ShiftModifier) ? 10 : 1;
        bool handled = false;
        emit stepRequested(up ? size : -size, handled);
        if (handled) {
            end(false);
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace quillmorph
