#pragma once

#include <QWidget>

class QPushButton;
class QVBoxLayout;

namespace quillmorph {

// The bottom of a panel: the optional estimate above, then the destination text (one elided line
// per line of text), Cancel (Escape) and the primary button (Return), which may be disabled.
class PanelFooter : public QWidget {
    Q_OBJECT

  public:
    // `estimate` (may be null) is shown above the buttons' row; the footer takes it.
    PanelFooter(const QString& confirmTitle, QWidget* estimate, QWidget* parent = nullptr);

    void setDestination(const QString& destination);
    [[nodiscard]] const QString& destination() const { return m_destination; }
    void setConfirmDisabled(bool disabled);

    [[nodiscard]] QPushButton* cancelButton() const { return m_cancel; }
    [[nodiscard]] QPushButton* confirmButton() const { return m_confirm; }

  signals:
    void cancelled();
    void confirmed();

  private:
    QString m_destination;
    QVBoxLayout* m_destinationLines;
    QPushButton* m_cancel;
    QPushButton* m_confirm;
};

} // namespace quillmorph
