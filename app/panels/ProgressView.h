#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace quillmorph {

class ElidedLabel;
class ProgressModel;

// The progress window's content: the batch title, a bar, the count line and the percentage, and
// Cancel while the batch offers it. Redraws on every change of the model.
class ProgressView : public QWidget {
    Q_OBJECT

  public:
    explicit ProgressView(ProgressModel& model, QWidget* parent = nullptr);

    [[nodiscard]] QLabel* titleLabel() const { return m_title; }
    [[nodiscard]] QProgressBar* bar() const { return m_bar; }
    [[nodiscard]] ElidedLabel* countLine() const { return m_count; }
    [[nodiscard]] QLabel* percentage() const { return m_percentage; }
    [[nodiscard]] QPushButton* cancelButton() const { return m_cancel; }
    [[nodiscard]] const ProgressModel& model() const { return m_model; }

  private:
    void refresh();

    ProgressModel& m_model;
    QLabel* m_title;
    QProgressBar* m_bar;
    ElidedLabel* m_count;
    QLabel* m_percentage;
    QPushButton* m_cancel;
};

} // namespace quillmorph
