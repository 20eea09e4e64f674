#include "SavingBadge.h"

#include <algorithm>
#include <cmath>

namespace quillmorph {

SavingBadge::SavingBadge(QWidget* parent) : QLabel(parent) {
    QFont font = this->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    font.setWeight(QFont::DemiBold);
    setFont(font);
    setContentsMargins(6, 1, 6, 1);
}

std::optional<int> SavingBadge::savingPercent(std::int64_t original, std::int64_t estimated) {
    const double base = double(std::max<std::int64_t>(original, 1));
    // (base − estimated) / base rather than 1 − estimated / base: a saving of exactly 0.5 % must
    // compare equal to the threshold, and 1 − 0.995 comes out just above it.
    const double saving = (base - double(estimated)) / base;
    if (!(saving > 0.005))
        return std::nullopt;
    return int(std::round(saving * 100));
}

void SavingBadge::setValues(std::int64_t original, std::int64_t estimated, const QString& heavierText) {
    const std::optional<int> percent = savingPercent(original, estimated);
    m_showsSaving = percent.has_value();
    setText(percent ? QStringLiteral("\u2212%1%").arg(*percent) : heavierText);
    const QString colour = m_showsSaving ? QStringLiteral("46, 160, 67") : QStringLiteral("230, 126, 34");
    setStyleSheet(
        QStringLiteral("color: rgb(%1); background: rgba(%1, 0.15); border-radius: 5px;").arg(colour));
}

} // namespace quillmorph
