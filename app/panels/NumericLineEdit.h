#pragma once

#include <QLineEdit>

namespace quillmorph {

// A text field for a number: Up and Down ask for a step of 1, with Shift of 10. Whoever owns the
// number decides whether the step applies.
class NumericLineEdit : public QLineEdit {
    Q_OBJECT

  public:
    explicit NumericLineEdit(QWidget* parent = nullptr);

  signals:
    // The receiver sets `handled` when it applied the step; otherwise the key goes on as usual.
    void stepRequested(double delta, bool& handled);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace quillmorph
