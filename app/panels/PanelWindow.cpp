#include "PanelWindow.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>
#include <cmath>

namespace quillmorph {

PanelWindow::PanelWindow(QObject* parent) : QObject(parent) {}

PanelWindow::~PanelWindow() {
    // Gone without a close: no windowClosed, nobody is left to hear it.
    if (m_window) {
        m_window->removeEventFilter(this);
        delete m_window;
    }
}

void PanelWindow::open(QWidget* view, const QString& title, Style style) {
    auto* window = new QWidget(nullptr, style == Style::floating
                                            ? Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                                                  Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint
                                            : Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(title);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(view);
    window->installEventFilter(this);
    m_window = window;

    window->adjustSize();
    position(window);
    window->show();
    window->raise();
    window->activateWindow();
}

void PanelWindow::close() {
    if (m_window)
        m_window->close();
}

bool PanelWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_window)
        return false;
    switch (event->type()) {
    case QEvent::Close:
        m_window->removeEventFilter(this);
        m_window = nullptr;
        emit windowClosed();
        return false;
    case QEvent::MouseButtonPress:
        // Presses that no control took reach the window: its background moves it.
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && m_window->windowHandle())
            return m_window->windowHandle()->startSystemMove();
        return false;
    default:
        return false;
    }
}

QScreen* PanelWindow::screenAt(QPoint pointer, const QList<QScreen*>& screens) {
    for (QScreen* screen : screens) {
        if (screen->geometry().contains(pointer))
            return screen;
    }
    return nullptr;
}

QPoint PanelWindow::centredOrigin(const QRect& visible, const QSize& size) {
    const double middleX = visible.x() + visible.width() / 2.0;
    const double middleY = visible.y() + visible.height() / 2.0;
    return {int(std::round(middleX - size.width() / 2.0)), int(std::round(middleY - size.height() / 2.0))};
}

void PanelWindow::position(QWidget* window) {
    QScreen* screen = screenAt(QCursor::pos(), QGuiApplication::screens());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return; // the window system places it
    window->move(centredOrigin(screen->availableGeometry(), window->frameGeometry().size()));
}

} // namespace quillmorph
