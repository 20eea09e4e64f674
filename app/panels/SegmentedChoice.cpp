#include "SegmentedChoice.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QToolButton>

namespace quillmorph {

SegmentedChoice::SegmentedChoice(const QStringList& labels, int current, QWidget* parent)
    : QWidget(parent), m_group(new QButtonGroup(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (qsizetype index = 0; index < labels.size(); ++index) {
        auto* button = new QToolButton(this);
        button->setText(labels[index]);
        button->setCheckable(true);
        button->setAutoRaise(false);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setChecked(index == current);
        m_group->addButton(button, int(index));
        layout->addWidget(button);
    }
    m_group->setExclusive(true);
    connect(m_group, &QButtonGroup::idClicked, this, &SegmentedChoice::chosen);
}

int SegmentedChoice::currentIndex() const {
    return m_group->checkedId();
}

void SegmentedChoice::setCurrentIndex(int index) {
    if (QAbstractButton* button = m_group->button(index))
        button->setChecked(true);
}

} // namespace quillmorph
