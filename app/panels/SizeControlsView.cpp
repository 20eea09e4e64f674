#include "SizeControlsView.h"

#include "AspectRatioLock.h"
#include "NumericLineEdit.h"
#include "SegmentedChoice.h"
#include "common/Localization.h"

#include <QHBoxLayout>

namespace quillmorph {

SizeControlsView::SizeControlsView(const FrameSizing& sizing, bool isLinked, QWidget* parent)
    : QWidget(parent), m_controls(sizing, isLinked), m_reportedSizing(sizing), m_reportedLinked(isLinked),
      m_width(new NumericLineEdit(this)), m_height(new NumericLineEdit(this)),
      m_lock(new AspectRatioLock(this)),
      m_unit(new SegmentedChoice({QString::fromUtf8(toString(SizeUnit::pixels).data()),
                                  QString::fromUtf8(toString(SizeUnit::percent).data())},
                                 0, this)) {
    m_width->setObjectName(QStringLiteral("width"));
    m_height->setObjectName(QStringLiteral("height"));
    m_unit->setFixedWidth(72);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(m_width);
    layout->addWidget(m_lock);
    layout->addWidget(m_height);
    layout->addSpacing(6);
    layout->addWidget(m_unit);
    layout->addStretch(1);

    connectField(SizeControls::Side::width);
    connectField(SizeControls::Side::height);
    connect(m_unit, &SegmentedChoice::chosen, this, [this](int index) {
        m_controls.setUnit(allCases<SizeUnit>()[std::size_t(index)]);
        refresh();
    });
    connect(m_lock, &AspectRatioLock::clicked, this, [this] {
        m_controls.toggleLock();
        refresh();
    });
    refresh();
}

SizeControlsView::~SizeControlsView() {
    // A focused field ends its editing while the base class destroys it; by then this view is gone.
    disconnect(m_width, nullptr, this, nullptr);
    disconnect(m_height, nullptr, this, nullptr);
}

NumericLineEdit* SizeControlsView::field(SizeControls::Side side) const {
    return side == SizeControls::Side::width ? m_width : m_height;
}

void SizeControlsView::connectField(SizeControls::Side side) {
    NumericLineEdit* edit = field(side);
    connect(edit, &NumericLineEdit::textEdited, this, [this, side](const QString& text) {
        m_controls.fieldChanged(side, text.toStdString());
        refresh();
    });
    connect(edit, &NumericLineEdit::stepRequested, this, [this, side](double delta, bool& handled) {
        handled = m_controls.step(side, delta);
        refresh();
    });
    connect(edit, &NumericLineEdit::editingFinished, this, [this, side] {
        m_controls.endEditing(side);
        refresh();
    });
}

void SizeControlsView::setSource(Size source) {
    m_controls.setSource(source);
    refresh();
}

void SizeControlsView::refresh() {
    for (const SizeControls::Side side : {SizeControls::Side::width, SizeControls::Side::height}) {
        const QString text = QString::fromStdString(m_controls.text(side));
        // Programmatic text never counts as the user's edit (only textEdited does).
        if (field(side)->text() != text)
            field(side)->setText(text);
    }
    m_unit->setCurrentIndex(int(m_controls.unit()));
    m_lock->setChecked(m_controls.isLinked());
    m_lock->setToolTip(QString::fromStdString(Localization::string(m_controls.lockHelp())));
    m_lock->setAccessibleName(QString::fromStdString(Localization::string(m_controls.lockLabel())));

    if (m_controls.sizing() != m_reportedSizing) {
        m_reportedSizing = m_controls.sizing();
        emit sizingChanged(m_reportedSizing);
    }
    if (m_controls.isLinked() != m_reportedLinked) {
        m_reportedLinked = m_controls.isLinked();
        emit linkedChanged(m_reportedLinked);
    }
}

} // namespace quillmorph
