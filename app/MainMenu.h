#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QWidget;

namespace quillmorph {

// The application's menus: an application menu with Quit, and an Edit menu whose items act on the
// focused text field. Built once, in the language current at that moment; windows share it.
class MainMenu : public QObject {
    Q_OBJECT

  public:
    enum class Bar { shown, hidden };

    // Builds the menus; Quit calls `quit`.
    static MainMenu* install(std::function<void()> quit, QObject* parent);

    // Gives `window` the menus' keyboard shortcuts and, when `bar` is shown, a menu bar at the top of
    // its layout.
    void attach(QWidget* window, Bar bar) const;

    [[nodiscard]] QMenu* applicationMenu() const { return m_applicationMenu.get(); }
    [[nodiscard]] QMenu* editMenu() const { return m_editMenu.get(); }

    ~MainMenu() override;

  private:
    explicit MainMenu(QObject* parent);

    // No parent widget: shared by every window's menu bar.
    std::unique_ptr<QMenu> m_applicationMenu;
    std::unique_ptr<QMenu> m_editMenu;
};

} // namespace quillmorph
