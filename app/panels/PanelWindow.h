#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>

class QScreen;

namespace quillmorph {

// The window of one panel, of the setup window or of the progress window. Panels float above
// ordinary windows without a taskbar entry; the setup window is an ordinary window. Any window can
// be moved by dragging its background. Closing the window, by a button or by the window manager,
// deletes it and emits windowClosed.
class PanelWindow : public QObject {
    Q_OBJECT

  public:
    enum class Style { floating, regular };

    explicit PanelWindow(QObject* parent = nullptr);
    ~PanelWindow() override;

    // Creates the window around `view` (which it takes), titled `title`, places it centred on the
    // screen under the pointer, shows it and makes it the active window.
    void open(QWidget* view, const QString& title, Style style = Style::floating);
    // The open window; null before open and once closed.
    [[nodiscard]] QWidget* window() const { return m_window; }
    void close();

    // Centres `window` on the visible area of the screen under the pointer, else of the primary screen.
    static void position(QWidget* window);
    // The first of `screens` whose geometry contains `pointer`; null when none does.
    [[nodiscard]] static QScreen* screenAt(QPoint pointer, const QList<QScreen*>& screens);
    // The origin that centres `size` on `visible`, each coordinate rounded to the nearest whole pixel.
    [[nodiscard]] static QPoint centredOrigin(const QRect& visible, const QSize& size);

  signals:
    void windowClosed();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPointer<QWidget> m_window;
};

} // namespace quillmorph
