#include "UpdateModel.h"

#include "common/UserDefaults.h"

namespace quillmorph {

UpdateModel::UpdateModel(std::optional<Release> release, Check check)
    : m_state(release ? State(Available{std::move(*release)}) : State(Checking{})),
      m_enabled(UpdateChecker::isEnabled()), m_check(std::move(check)) {}

void UpdateModel::setEnabled(bool enabled) {
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    UserDefaults::setBoolean("QuillmorphChecksForUpdates", enabled);
    changed();
    if (enabled)
        refresh();
}

void UpdateModel::refresh() {
    if (!m_enabled || std::holds_alternative<Available>(m_state))
        return;
    m_state = Checking{};
    changed();
    m_check([self = std::weak_ptr<UpdateModel*>(m_self)](const Outcome& outcome) {
        if (const auto model = self.lock())
            (*model)->finish(outcome);
    });
}

void UpdateModel::finish(const Outcome& outcome) {
    // An overlapping check may have found a release already; it stays.
    if (std::holds_alternative<Available>(m_state))
        return;
    if (!outcome)
        m_state = Failed{};
    else if (*outcome)
        m_state = Available{**outcome};
    else
        m_state = Current{};
    changed();
}

void UpdateModel::changed() {
    if (m_onChange)
        m_onChange();
}

} // namespace quillmorph
