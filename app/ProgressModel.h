#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace quillmorph {

// The one progress of the application, written by every batch and observed by the progress window.
// Main thread only; every change of a field emits changed().
class ProgressModel : public QObject {
    Q_OBJECT

  public:
    using QObject::QObject;

    // Files finished (image batches) or the index of the file now running (video batches).
    [[nodiscard]] int done() const { return m_done; }
    [[nodiscard]] int total() const { return m_total; }
    [[nodiscard]] const QString& title() const { return m_title; }
    // The file now running; empty but for video batches.
    [[nodiscard]] const QString& label() const { return m_label; }
    // Progress of the running file, 0…1 (video batches).
    [[nodiscard]] std::optional<double> fraction() const { return m_fraction; }
    // What the window's Cancel does; only video batches set it, and the window shows Cancel only then.
    [[nodiscard]] const std::function<void()>& onCancel() const { return m_onCancel; }

    void setDone(int done);
    void setTotal(int total);
    void setLabel(const QString& label);
    void setFraction(std::optional<double> fraction);
    void setOnCancel(std::function<void()> onCancel);

    // Starts a batch: total and title as given, nothing done, no fraction, no label; onCancel kept.
    void begin(int total, const QString& title);

    // (done + fraction) / total; 0 while total < 1.
    [[nodiscard]] double overall() const;
    // overall as a whole percentage, halves away from zero.
    [[nodiscard]] int percentage() const;
    // "progress.count" (done of total) without a label, else "progress.itemCount" with the 1-based
    // position of the running file.
    [[nodiscard]] QString countLine() const;

  signals:
    void changed();

  private:
    int m_done = 0;
    int m_total = 0;
    QString m_title;
    QString m_label;
    std::optional<double> m_fraction;
    std::function<void()> m_onCancel;
};

} // namespace quillmorph
