#include "AspectRatioLock.h"

#include <QPainter>
#include <QPainterPath>

namespace quillmorph {

AspectRatioLock::AspectRatioLock(QWidget* parent) : QToolButton(parent) {
    setCheckable(true);
    setAutoRaise(true);
    setCursor(Qt::PointingHandCursor);
}

QSize AspectRatioLock::sizeHint() const {
    return {24, 24};
}

void AspectRatioLock::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = palette().color(isChecked() ? QPalette::Highlight : QPalette::PlaceholderText);
    const QRectF area = QRectF(rect()).adjusted(6, 4, -6, -4);
    const QRectF body(area.left(), area.center().y(), area.width(), area.height() / 2);
    // The shackle: a closed arch over the body, or lifted and swung open.
    const double lift = isChecked() ? 0 : area.height() * 0.15;
    const QRectF arch(body.left() + body.width() * 0.2, area.top() - lift, body.width() * 0.6,
                      area.height() * 0.8);
    QPainterPath shackle;
    shackle.moveTo(arch.left(), body.top() - lift);
    shackle.arcTo(arch, 180, -180);
    if (isChecked())
        shackle.lineTo(arch.right(), body.top());
    painter.setPen(QPen(colour, 1.6));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shackle);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawRoundedRect(body, 1.5, 1.5);
}

} // namespace quillmorph
