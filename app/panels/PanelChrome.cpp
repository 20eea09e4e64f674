#include "PanelChrome.h"

#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

namespace quillmorph {

namespace {

// The contents are laid out for this column; a longer label wraps between its words instead of
// taking their room.
constexpr int labelColumn = 96;
const QString rowLabelName = QStringLiteral("PanelRowLabel");

// A row's label. The rows of a window share one label column, widened only for a single word
// longer than it (one word of any label in the language shown), so that no label is cut and the
// contents line up.
class RowLabel : public QLabel {
  public:
    RowLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
        setObjectName(rowLabelName);
        setWordWrap(true);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    }

    QSize sizeHint() const override {
        const int width = columnWidth();
        return {width, heightForWidth(width)};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    bool event(QEvent* event) override {
        // Polished when its window is about to be laid out: every row is in place by then.
        if (event->type() == QEvent::Polish)
            updateGeometry();
        return QLabel::event(event);
    }

  private:
    int columnWidth() const {
        const QRect unbounded(0, 0, QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        int width = labelColumn;
        for (const QLabel* label : window()->findChildren<QLabel*>(rowLabelName)) {
            for (const QString& word : label->text().split(QLatin1Char(' ')))
                width = std::max(
                    width, label->fontMetrics().boundingRect(unbounded, Qt::TextSingleLine, word).width());
        }
        return width;
    }
};

} // namespace

PanelCard::PanelCard(QWidget* parent) : QFrame(parent), m_layout(new QVBoxLayout(this)) {
    setObjectName(QStringLiteral("PanelCard"));
    setStyleSheet(QStringLiteral("#PanelCard { background: palette(base); border: 1px solid palette(mid);"
                                 " border-radius: 10px; }"));
    m_layout->setContentsMargins(12, 8, 12, 8);
    m_layout->setSpacing(8);
}

void PanelCard::addRow(QWidget* widget) {
    if (m_layout->count() > 0)
        m_layout->addWidget(new PanelSeparator(this));
    m_layout->addWidget(widget);
}

PanelRow::PanelRow(const QString& label, QWidget* content, QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    if (!label.isEmpty()) {
        auto* title = new RowLabel(label, this);
        title->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        title->setContentsMargins(0, 4, 0, 0);
        layout->addWidget(title);
    }
    layout->addWidget(content, 1);
}

PanelSeparator::PanelSeparator(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::HLine);
    setFrameShadow(QFrame::Plain);
    setFixedHeight(1);
    setStyleSheet(QStringLiteral("color: palette(midlight);"));
}

SliderValue::SliderValue(const QString& text, int width, QWidget* parent) : QLabel(text, parent) {
    setFixedWidth(width);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(this->font().pointSizeF());
    setFont(font);
}

QWidget* stacked(std::initializer_list<QWidget*> widgets) {
    auto* holder = new QWidget;
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    for (QWidget* widget : widgets)
        layout->addWidget(widget);
    return holder;
}

QWidget* sideBySide(std::initializer_list<QWidget*> widgets) {
    auto* holder = new QWidget;
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    for (QWidget* widget : widgets)
        layout->addWidget(widget);
    layout->addStretch(1);
    return holder;
}

QWidget* sliderRow(QSlider* slider, QWidget* value) {
    auto* holder = new QWidget;
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(slider, 1);
    layout->addWidget(value);
    return holder;
}

} // namespace quillmorph
