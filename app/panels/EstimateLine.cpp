#include "EstimateLine.h"

#include "SavingBadge.h"
#include "common/ByteCount.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

namespace quillmorph {

EstimateLine::EstimateLine(QWidget* parent)
    : QWidget(parent), m_size(new QLabel(this)), m_badge(new SavingBadge(this)),
      m_placeholder(new QLabel(this)), m_activity(new QProgressBar(this)) {
    QFont sizeFont = m_size->font();
    sizeFont.setPointSize(20);
    sizeFont.setWeight(QFont::DemiBold);
    m_size->setFont(sizeFont);
    m_placeholder->setForegroundRole(QPalette::PlaceholderText);
    // An indeterminate bar: the small activity indicator.
    m_activity->setRange(0, 0);
    m_activity->setTextVisible(false);
    m_activity->setFixedSize(48, 6);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(m_size);
    layout->addWidget(m_badge, 0, Qt::AlignVCenter);
    layout->addWidget(m_placeholder);
    layout->addWidget(m_activity, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    // Keeps the line's height when it switches between the size and the placeholder.
    setMinimumHeight(QFontMetrics(sizeFont).height());
    setValues(m_values);
}

QString EstimateLine::sizeText(std::int64_t bytes) {
    return QStringLiteral("≈ ") + QString::fromStdString(formatByteCount(bytes));
}

void EstimateLine::setValues(const Values& values) {
    m_values = values;
    const bool known = values.bytes.has_value();
    m_size->setVisible(known);
    m_badge->setVisible(known && values.showsSaving);
    m_placeholder->setVisible(!known);
    m_activity->setVisible(!known && values.isBusy);
    if (known) {
        m_size->setText(sizeText(*values.bytes));
        m_badge->setValues(values.original, *values.bytes, values.heavierText);
    }
    m_placeholder->setText(values.placeholder);
}

QString EstimateLine::shownText() const {
    return m_values.bytes ? m_size->text() : m_placeholder->text();
}

bool EstimateLine::showsActivity() const {
    return !m_activity->isHidden();
}

} // namespace quillmorph
