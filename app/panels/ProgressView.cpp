#include "ProgressView.h"

#include "ElidedLabel.h"
#include "app/ProgressModel.h"
#include "common/Localization.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <cmath>

namespace quillmorph {

namespace {

constexpr int barSteps = 1000;

} // namespace

ProgressView::ProgressView(ProgressModel& model, QWidget* parent)
    : QWidget(parent), m_model(model), m_title(new QLabel(this)), m_bar(new QProgressBar(this)),
      m_count(new ElidedLabel(QString(), Qt::ElideRight, this)), m_percentage(new QLabel(this)),
      m_cancel(new QPushButton(QString::fromStdString(Localization::string(Phrase::commonCancel)), this)) {
    QFont headline = m_title->font();
    headline.setWeight(QFont::DemiBold);
    headline.setPointSizeF(headline.pointSizeF() * 1.1);
    m_title->setFont(headline);
    m_bar->setRange(0, barSteps);
    m_bar->setTextVisible(false);
    QFont caption = QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont);
    m_count->setFont(caption);
    QFont digits = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    digits.setPointSizeF(caption.pointSizeF());
    m_percentage->setFont(digits);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (m_model.onCancel())
            m_model.onCancel()();
    });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, m_cancel, [this] {
        if (m_cancel->isVisible())
            m_cancel->click();
    });

    auto* counts = new QHBoxLayout;
    counts->addWidget(m_count, 1);
    counts->addWidget(m_percentage);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(12);
    layout->addWidget(m_title);
    layout->addWidget(m_bar);
    layout->addLayout(counts);
    layout->addLayout(buttons);
    setFixedWidth(360);

    connect(&m_model, &ProgressModel::changed, this, &ProgressView::refresh);
    refresh();
}

void ProgressView::refresh() {
    m_title->setText(m_model.title());
    m_bar->setValue(int(std::lround(m_model.overall() * barSteps)));
    m_count->setText(m_model.countLine());
    m_percentage->setText(QString::number(m_model.percentage()) + QLatin1Char('%'));
    m_cancel->setVisible(bool(m_model.onCancel()));
}

} // namespace quillmorph
