#pragma once

#include <QLabel>
#include <cstdint>
#include <optional>

namespace quillmorph {

// How much smaller the output is expected to be: "−37%" in green, or the panel's no-saving text in
// orange when the saving is 0.5 % or less (or the output is larger).
class SavingBadge : public QLabel {
    Q_OBJECT

  public:
    explicit SavingBadge(QWidget* parent = nullptr);

    // The saving in whole percent (halves away from zero), or nothing when it is not above 0.5 %.
    // An original of 0 counts as 1 byte.
    [[nodiscard]] static std::optional<int> savingPercent(std::int64_t original, std::int64_t estimated);

    void setValues(std::int64_t original, std::int64_t estimated, const QString& heavierText);
    // Whether the shown text is a saving rather than the no-saving text.
    [[nodiscard]] bool showsSaving() const { return m_showsSaving; }

  private:
    bool m_showsSaving = false;
};

} // namespace quillmorph
