#include "MainMenu.h"

#include "app/Texts.h"
#include "common/Localization.h"

#include <QApplication>
#include <QKeySequence>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

namespace quillmorph {

namespace {

// Edit items have no target of their own: they go to whichever widget has the focus, through its
// slot of that name (the text fields have undo, redo, cut, copy, paste and selectAll).
void addEditItem(QMenu* menu, Phrase phrase, const char* slot, QKeySequence shortcut) {
    QAction* action = menu->addAction(text(phrase));
    action->setShortcut(shortcut);
    QObject::connect(action, &QAction::triggered, action, [slot] {
        if (QWidget* focus = QApplication::focusWidget())
            QMetaObject::invokeMethod(focus, slot);
    });
}

} // namespace

MainMenu::MainMenu(QObject* parent) : QObject(parent) {}

MainMenu::~MainMenu() = default;

MainMenu* MainMenu::install(std::function<void()> quit, QObject* parent) {
    auto* menu = new MainMenu(parent);
    menu->m_applicationMenu = std::make_unique<QMenu>(QStringLiteral("Quillmorph"));
    QAction* quitAction = menu->m_applicationMenu->addAction(text(Phrase::menuQuit));
    quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quitAction->setMenuRole(QAction::QuitRole);
    connect(quitAction, &QAction::triggered, menu, std::move(quit));

    menu->m_editMenu = std::make_unique<QMenu>(text(Phrase::menuEdit));
    addEditItem(menu->m_editMenu.get(), Phrase::menuUndo, "undo", QKeySequence(Qt::CTRL | Qt::Key_Z));
    addEditItem(menu->m_editMenu.get(), Phrase::menuRedo, "redo",
                QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    menu->m_editMenu->addSeparator();
    addEditItem(menu->m_editMenu.get(), Phrase::menuCut, "cut", QKeySequence(Qt::CTRL | Qt::Key_X));
    addEditItem(menu->m_editMenu.get(), Phrase::menuCopy, "copy", QKeySequence(Qt::CTRL | Qt::Key_C));
    addEditItem(menu->m_editMenu.get(), Phrase::menuPaste, "paste", QKeySequence(Qt::CTRL | Qt::Key_V));
    addEditItem(menu->m_editMenu.get(), Phrase::menuSelectAll, "selectAll",
                QKeySequence(Qt::CTRL | Qt::Key_A));
    return menu;
}

void MainMenu::attach(QWidget* window, Bar bar) const {
    window->addActions(m_applicationMenu->actions());
    window->addActions(m_editMenu->actions());
    if (bar == Bar::hidden || !window->layout())
        return;
    auto* menuBar = new QMenuBar(window);
    menuBar->addMenu(m_applicationMenu.get());
    menuBar->addMenu(m_editMenu.get());
    window->layout()->setMenuBar(menuBar);
}

} // namespace quillmorph
