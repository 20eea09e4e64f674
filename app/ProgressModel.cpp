#include "ProgressModel.h"

#include "common/Localization.h"

#include <cmath>

namespace quillmorph {

void ProgressModel::setDone(int done) {
    if (done == m_done)
        return;
    m_done = done;
    emit changed();
}

void ProgressModel::setTotal(int total) {
    if (total == m_total)
        return;
    m_total = total;
    emit changed();
}

void ProgressModel::setLabel(const QString& label) {
    if (label == m_label)
        return;
    m_label = label;
    emit changed();
}

void ProgressModel::setFraction(std::optional<double> fraction) {
    if (fraction == m_fraction)
        return;
    m_fraction = fraction;
    emit changed();
}

void ProgressModel::setOnCancel(std::function<void()> onCancel) {
    const bool had = bool(m_onCancel);
    m_onCancel = std::move(onCancel);
    if (had != bool(m_onCancel))
        emit changed();
}

void ProgressModel::begin(int total, const QString& title) {
    m_total = total;
    m_title = title;
    m_done = 0;
    m_fraction.reset();
    m_label.clear();
    emit changed();
}

double ProgressModel::overall() const {
    if (m_total < 1)
        return 0;
    return (m_done + m_fraction.value_or(0)) / m_total;
}

int ProgressModel::percentage() const {
    return int(std::round(overall() * 100));
}

QString ProgressModel::countLine() const {
    if (m_label.isEmpty()) {
        return QString::fromStdString(Localization::string(
            Phrase::progressCount, {{"done", std::to_string(m_done)}, {"total", std::to_string(m_total)}}));
    }
    return QString::fromStdString(
        Localization::string(Phrase::progressItemCount, {{"label", m_label.toStdString()},
                                                         {"done", std::to_string(m_done + 1)},
                                                         {"total", std::to_string(m_total)}}));
}

} // namespace quillmorph
