#include "PanelFooter.h"

#include "ElidedLabel.h"
#include "common/Localization.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace quillmorph {

PanelFooter::PanelFooter(const QString& confirmTitle, QWidget* estimate, QWidget* parent)
    : QWidget(parent), m_destinationLines(new QVBoxLayout),
      m_cancel(new QPushButton(QString::fromStdString(Localization::string(Phrase::commonCancel)), this)),
      m_confirm(new QPushButton(confirmTitle, this)) {
    m_cancel->setObjectName(QStringLiteral("cancel"));
    m_confirm->setObjectName(QStringLiteral("confirm"));
    m_confirm->setDefault(true);
    m_confirm->setAutoDefault(true);
    connect(m_cancel, &QPushButton::clicked, this, &PanelFooter::cancelled);
    connect(m_confirm, &QPushButton::clicked, this, &PanelFooter::confirmed);

    // The window is no dialog, so Escape and Return are the footer's own shortcuts.
    const auto bind = [this](QKeySequence key, QPushButton* button) {
        auto* shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, button, [button] {
            if (button->isEnabled())
                button->click();
        });
    };
    bind(QKeySequence(Qt::Key_Escape), m_cancel);
    bind(QKeySequence(Qt::Key_Return), m_confirm);
    bind(QKeySequence(Qt::Key_Enter), m_confirm);

    m_destinationLines->setSpacing(3);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addLayout(m_destinationLines, 1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_confirm);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    if (estimate)
        layout->addWidget(estimate);
    layout->addLayout(buttons);
}

void PanelFooter::setDestination(const QString& destination) {
    if (destination == m_destination)
        return;
    m_destination = destination;
    while (QLayoutItem* item = m_destinationLines->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const QString& line : destination.split(QLatin1Char('\n'))) {
        auto* label = new ElidedLabel(line, Qt::ElideMiddle, this);
        label->setForegroundRole(QPalette::PlaceholderText);
        m_destinationLines->addWidget(label);
    }
}

void PanelFooter::setConfirmDisabled(bool disabled) {
    m_confirm->setEnabled(!disabled);
}

} // namespace quillmorph
