#pragma once

#include "ProgressModel.h"
#include "common/Phrase.h"
#include "common/QuillmorphRequest.h"
#include "engines/batch/BatchRunner.h"
#include "engines/batch/JobOutcome.h"
#include "panels/PanelWindow.h"
#include "updates/Release.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QThreadPool>
#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace quillmorph {

class MainMenu;
struct ImageSettings;
struct VideoSettings;
struct PDFSettings;
struct AudioSettings;
enum class AudioOrigin;

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
    // The application is quitting: every window goes at once and every batch stops starting files;
    // the files already running end before the process does.
    void shutDown();

    void handle(const QuillmorphRequest& request);
    // The image batch.
    void run(const std::vector<std::filesystem::path>& files, const ImageSettings& settings);
    // The video batch: one file at a time, always with the progress window and its Cancel.
    void runVideo(const std::vector<std::filesystem::path>& files, const VideoSettings& settings);
    // The PDF batch.
    void runPDF(const std::vector<std::filesystem::path>& files, const PDFSettings& settings);
    // The audio batch: audio files converted, or the audio of videos extracted.
    void runAudio(const std::vector<std::filesystem::path>& files, const AudioSettings& settings,
                  AudioOrigin origin);
    // Closes the panel whose Cancel or confirm button was pressed.
    void dismiss(PanelWindow* panel);
    // Opens the setup window unless it is open; a release found by the update check is announced there.
    void showSetupWindow(std::optional<Release> release = std::nullopt);
    // Selects the outcomes' outputs in the file manager.
    void revealInFileManager(const std::vector<JobOutcome>& outcomes);
    // Terminates 1.5 s from now if no panel, no progress window and no work exist now and then.
    void quitIfIdle();

    // Every options panel and the setup window, oldest first.
    [[nodiscard]] std::vector<PanelWindow*> panels() const;
    [[nodiscard]] PanelWindow* setupPanel() const { return m_setupPanel; }
    // The progress windows of the running batches, oldest first; a batch of one image, PDF or audio
    // file shows none, nor does one whose window the user closed.
    [[nodiscard]] std::vector<PanelWindow*> progressPanels() const;
    [[nodiscard]] int activeJobs() const { return m_activeJobs; }
    [[nodiscard]] bool didReceiveRequest() const { return m_didReceiveRequest; }

  signals:
    // The application should end now (main() quits the event loop).
    void terminateRequested();
    // A batch ended and was reported.
    void batchFinished(const std::vector<JobOutcome>& outcomes);

  private:
    using Panel = std::unique_ptr<PanelWindow>;
    // One running batch: its own progress, its window, and how to stop it.
    struct Batch {
        ProgressModel progress;
        Panel window;
        std::function<void()> stop;
    };

    [[nodiscard]] bool isIdle() const;
    void terminate();
    void beginJob();
    void endJob();
    // The launch-time release check, tracked as work; a release opens the setup window.
    void checkForUpdates();
    void openImagePanel(const std::vector<std::filesystem::path>& files);
    void openPDFPanel(const std::vector<std::filesystem::path>& files);
    void openAudioPanel(const std::vector<std::filesystem::path>& files, bool fromVideo);
    // Probes the first file off the main thread, then opens the video panel.
    void openVideoPanel(const std::vector<std::filesystem::path>& files);
    PanelWindow* openPanel(QWidget* view, Phrase title);
    // The window of `panel` closed: its entry goes, whoever closed it.
    void panelClosed(PanelWindow* panel);
    // Releases `panel` once the event that closed it is over.
    static void release(Panel panel);
    // Registers a batch of `count` files; its window shows when `showsWindow`.
    Batch& beginBatch(std::size_t count, Phrase title, bool showsWindow);
    void endBatch(Batch& batch);
    // Runs an image, PDF or audio batch: `job` converts one file.
    void runParallel(const std::vector<std::filesystem::path>& files, Phrase progressTitle, Phrase verb,
                     Phrase countPhrase, BatchRunner::Job job);
    void finishBatch(Batch& batch, const std::vector<JobOutcome>& outcomes, Phrase verb, Phrase countPhrase);

    std::vector<Panel> m_panels;
    QPointer<PanelWindow> m_setupPanel;
    std::vector<std::unique_ptr<Batch>> m_running;
    int m_activeJobs = 0;
    bool m_didReceiveRequest = false;
    MainMenu* m_menu = nullptr;
    // Batches wait here for their jobs; declared last so that it is destroyed first, waiting for
    // running batches while everything they report to still exists.
    QThreadPool m_batchThreads;
};

} // namespace quillmorph
