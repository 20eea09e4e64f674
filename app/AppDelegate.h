#pragma once

#include "ProgressModel.h"
#include "common/Phrase.h"
#include "common/QuillmorphRequest.h"
#include "engines/batch/JobOutcome.h"
#include "panels/PanelWindow.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QThreadPool>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

namespace quillmorph {

class MainMenu;
struct ImageSettings;

// The application object: turns request URLs into panels, a confirmed panel into a batch, and quits
// by itself 1.5 s after nothing is open or running any more. Main thread only; background work
// reports back to the main thread before it touches anything here.
class AppDelegate : public QObject {
    Q_OBJECT

  public:
    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;

    // Events of the platform.
    void applicationDidFinishLaunching();
    void openURLs(const QStringList& urls);
    // The user started the application again while it runs: the setup window.
    void applicationShouldHandleReopen();

    void handle(const QuillmorphRequest& request);
    // The image batch.
    void run(const std::vector<std::filesystem::path>& files, const ImageSettings& settings);
    // Closes the most recently opened panel, whichever panel asked.
    void dismissTopPanel();
    void showSetupWindow();
    void showProgressPanel();
    void hideProgressPanel();
    // Selects the outcomes' outputs in the file manager.
    void revealInFinder(const std::vector<JobOutcome>& outcomes);
    // Terminates 1.5 s from now if no panel, no progress window and no work exist now and then.
    void quitIfIdle();

    // Every options panel and the setup window, oldest first.
    [[nodiscard]] std::vector<PanelWindow*> panels() const;
    [[nodiscard]] PanelWindow* setupPanel() const { return m_setupPanel; }
    [[nodiscard]] PanelWindow* progressPanel() const { return m_progressPanel.get(); }
    [[nodiscard]] ProgressModel& progress() { return m_progress; }
    [[nodiscard]] int activeJobs() const { return m_activeJobs; }
    [[nodiscard]] bool didReceiveRequest() const { return m_didReceiveRequest; }

  signals:
    // The application should end now (main() quits the event loop).
    void terminateRequested();
    // A batch ended and was reported.
    void batchFinished(const std::vector<JobOutcome>& outcomes);

  private:
    using Panel = std::unique_ptr<PanelWindow>;

    [[nodiscard]] bool isIdle() const;
    void terminate();
    void beginJob();
    void endJob();
    void checkForUpdates();
    void openImagePanel(const std::vector<std::filesystem::path>& files);
    void openPDFPanel(const std::vector<std::filesystem::path>& files);
    void openAudioPanel(const std::vector<std::filesystem::path>& files, bool fromVideo);
    // Probes the first file off the main thread, then opens the video panel.
    void openVideoPanel(const std::vector<std::filesystem::path>& files);
    void openPanel(QWidget* view, Phrase title);
    // The window of `panel` closed: its entry goes, whoever closed it.
    void panelClosed(PanelWindow* panel);
    // Releases `panel` once the event that closed it is over.
    static void release(Panel panel);
    void finishBatch(const std::vector<JobOutcome>& outcomes, Phrase verb, Phrase countPhrase);

    std::vector<Panel> m_panels;
    QPointer<PanelWindow> m_setupPanel;
    Panel m_progressPanel;
    ProgressModel m_progress;
    int m_activeJobs = 0;
    bool m_didReceiveRequest = false;
    MainMenu* m_menu = nullptr;
    // Batches wait here for their jobs; declared last so that it is destroyed first, waiting for
    // running batches while everything they report to still exists.
    QThreadPool m_batches;
};

} // namespace quillmorph
