#pragma once

#include <QFrame>
#include <QLabel>
#include <QWidget>
#include <initializer_list>

class QSlider;
class QVBoxLayout;

// The small pieces every panel is laid out with.
namespace quillmorph {

// Content drawn on a rounded card: rows, separated by hairlines.
class PanelCard : public QFrame {
    Q_OBJECT

  public:
    explicit PanelCard(QWidget* parent = nullptr);

    // Appends `widget`, after a separator unless it is the first.
    void addRow(QWidget* widget);

  private:
    QVBoxLayout* m_layout;
};

// A labelled row: the label on the left (none when `label` is empty), the content beside it. The
// labels of a window's rows form one column of 96 px, or as wide as their longest word; a longer
// label wraps between its words.
class PanelRow : public QWidget {
    Q_OBJECT

  public:
    PanelRow(const QString& label, QWidget* content, QWidget* parent = nullptr);
};

// A hairline between rows.
class PanelSeparator : public QFrame {
    Q_OBJECT

  public:
    explicit PanelSeparator(QWidget* parent = nullptr);
};

// A slider's value, at a fixed width so that the slider does not move while the value changes.
class SliderValue : public QLabel {
    Q_OBJECT

  public:
    SliderValue(const QString& text, int width, QWidget* parent = nullptr);
};

// Widgets one above the other, 4 px apart and without margins: a control and its caption.
[[nodiscard]] QWidget* stacked(std::initializer_list<QWidget*> widgets);
// Widgets side by side, 8 px apart and without margins, followed by empty space.
[[nodiscard]] QWidget* sideBySide(std::initializer_list<QWidget*> widgets);
// A slider taking the row's width, with its value after it.
[[nodiscard]] QWidget* sliderRow(QSlider* slider, QWidget* value);

} // namespace quillmorph
