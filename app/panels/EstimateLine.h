#pragma once

#include <QWidget>
#include <cstdint>
#include <optional>

class QLabel;
class QProgressBar;

namespace quillmorph {

class SavingBadge;

// The expected output size, "≈ 1.2 MB", followed by the saving; while no size is known, the
// placeholder text, with an activity indicator while an estimate is being computed.
class EstimateLine : public QWidget {
    Q_OBJECT

  public:
    struct Values {
        std::optional<std::int64_t> bytes; // none while unknown
        std::int64_t original = 0;
        QString heavierText;
        QString placeholder;
        bool isBusy = false;
        bool showsSaving = true;

        bool operator==(const Values&) const = default;
    };

    explicit EstimateLine(QWidget* parent = nullptr);

    void setValues(const Values& values);
    [[nodiscard]] const Values& values() const { return m_values; }

    // "≈ " and the byte count in file-size style.
    [[nodiscard]] static QString sizeText(std::int64_t bytes);
    // The text the line shows now: the size, or the placeholder.
    [[nodiscard]] QString shownText() const;
    [[nodiscard]] const SavingBadge* badge() const { return m_badge; }
    [[nodiscard]] bool showsActivity() const;

  private:
    Values m_values;
    QLabel* m_size;
    SavingBadge* m_badge;
    QLabel* m_placeholder;
    QProgressBar* m_activity;
};

} // namespace quillmorph
