#pragma once

#include <QObject>

class QSocketNotifier;

namespace quillmorph {

// Turns SIGTERM, the polite terminate request of the desktop and of other copies, into a signal on
// the main thread, so that it ends the application like Quit from the menu. One per process.
class TerminationSignal : public QObject {
    Q_OBJECT

  public:
    explicit TerminationSignal(QObject* parent = nullptr);
    ~TerminationSignal() override;

  signals:
    void received();

  private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace quillmorph
