#include "AppDelegate.h"

#include "Background.h"
#include "FileManager.h"
#include "MainMenu.h"
#include "NetworkFetch.h"
#include "Notifications.h"
#include "StaleBuild.h"
#include "app/Texts.h"
#include "common/Localization.h"
#include "common/Log.h"
#include "common/RequestTransport.h"
#include "engines/audio/AudioSettings.h"
#include "engines/batch/BatchRunner.h"
#include "engines/image/ImageSettings.h"
#include "engines/pdf/PDFSettings.h"
#include "engines/video/VideoBatch.h"
#include "engines/video/VideoEngines.h"
#include "panels/AudioPanel.h"
#include "panels/AudioPanelView.h"
#include "panels/ImagePanel.h"
#include "panels/ImagePanelView.h"
#include "panels/PDFPanel.h"
#include "panels/PDFPanelView.h"
#include "panels/PanelWindow.h"
#include "panels/ProgressView.h"
#include "panels/SetupView.h"
#include "panels/VideoPanel.h"
#include "panels/VideoPanelView.h"
#include "updates/UpdateChecker.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>

namespace quillmorph {

namespace {

constexpr std::string_view category = "app";
constexpr std::chrono::milliseconds quitDelay{1500};

// Runs a step reported by background work on the main thread, after the current event.
void mainThread(std::function<void()> step) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(step), Qt::QueuedConnection);
}

} // namespace

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {
    // Batches mostly wait for their own job threads; any number may run side by side.
    m_batches.setMaxThreadCount(64);
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    m_menu = MainMenu::install([this] { terminate(); }, this);
    StaleBuild::closeOtherCopies();
    // After the current event: a request that arrives with the launch suppresses the setup window.
    QTimer::singleShot(0, this, [this] {
        if (!m_didReceiveRequest)
            showSetupWindow();
    });
    checkForUpdates();
}

void AppDelegate::checkForUpdates() {
    beginJob();
    runInBackground([]() -> std::optional<Release> {
        if (!UpdateChecker::isEnabled())
            return std::nullopt;
        auto release = UpdateChecker::check(UpdateChecker::feed(), UpdateChecker::installedVersion(),
                                            NetworkFetch::fetch);
        if (!release) {
            Log::info(category, "controllo degli aggiornamenti non riuscito: " +
                                    std::string(toString(release.error())));
            return std::nullopt;
        }
        return *release;
    }).then(this, [this](const std::optional<Release>& release) {
        endJob();
        if (release)
            showSetupWindow(release);
        else
            quitIfIdle();
    });
}

void AppDelegate::openURLs(const QStringList& urls) {
    if (StaleBuild::isStale()) {
        StaleBuild::handOver(urls, [this] { terminate(); });
        return;
    }
    m_didReceiveRequest = true;
    for (const QString& url : urls) {
        if (std::optional<QuillmorphRequest> request = RequestTransport::request(url.toStdString()))
            handle(*request);
    }
}

void AppDelegate::applicationShouldHandleReopen() {
    showSetupWindow();
}

void AppDelegate::handle(const QuillmorphRequest& request) {
    std::vector<std::filesystem::path> files;
    for (const std::string& path : request.paths) {
        std::error_code error;
        if (std::filesystem::exists(path, error))
            files.emplace_back(path);
    }
    Log::info(category, "richiesta " + std::string(toString(request.action)) + ": " +
                            std::to_string(files.size()) + " di " + std::to_string(request.paths.size()) +
                            " file presenti");
    if (files.empty()) {
        quitIfIdle();
        return;
    }
    switch (request.action) {
    case ActionKind::image:
        openImagePanel(files);
        return;
    case ActionKind::video:
        openVideoPanel(files);
        return;
    case ActionKind::pdf:
        openPDFPanel(files);
        return;
    case ActionKind::audio:
        openAudioPanel(files, false);
        return;
    case ActionKind::extractAudio:
        openAudioPanel(files, true);
        return;
    }
}

void AppDelegate::openImagePanel(const std::vector<std::filesystem::path>& files) {
    auto* view = new ImagePanelView(files);
    ImagePanel* panel = view->panel();
    connect(panel, &ImagePanel::cancelled, this, &AppDelegate::dismissTopPanel);
    connect(panel, &ImagePanel::confirmed, this, [this, files](const ImageSettings& settings) {
        dismissTopPanel();
        run(files, settings);
    });
    openPanel(view, Phrase::windowCompressImages);
    panel->start();
}

void AppDelegate::openPDFPanel(const std::vector<std::filesystem::path>& files) {
    auto* view = new PDFPanelView(files);
    PDFPanel* panel = view->panel();
    connect(panel, &PDFPanel::cancelled, this, &AppDelegate::dismissTopPanel);
    connect(panel, &PDFPanel::confirmed, this, [this, files](const PDFSettings& settings) {
        dismissTopPanel();
        runPDF(files, settings);
    });
    openPanel(view, Phrase::windowCompressPdf);
}

void AppDelegate::openAudioPanel(const std::vector<std::filesystem::path>& files, bool fromVideo) {
    const AudioOrigin origin = fromVideo ? AudioOrigin::videos : AudioOrigin::audioFiles;
    auto* view = new AudioPanelView(files, origin);
    AudioPanel* panel = view->panel();
    connect(panel, &AudioPanel::cancelled, this, &AppDelegate::dismissTopPanel);
    connect(panel, &AudioPanel::confirmed, this, [this, files, origin](const AudioSettings& settings) {
        dismissTopPanel();
        runAudio(files, settings, origin);
    });
    openPanel(view, fromVideo ? Phrase::windowExtractAudio : Phrase::windowCompressAudio);
    panel->start();
}

void AppDelegate::openVideoPanel(const std::vector<std::filesystem::path>& files) {
    beginJob();
    const std::filesystem::path first = files.front();
    runInBackground([first] { return VideoEngines::probe(first); }, &m_batches)
        .then(this, [this, files](const tl::expected<VideoInfo, VideoEngineError>& info) {
            endJob();
            if (!info) {
                Notifications::notify(QStringLiteral("Quillmorph"),
                                      QString::fromStdString(describe(info.error())));
                quitIfIdle();
                return;
            }
            auto* view = new VideoPanelView(files, *info);
            VideoPanel* panel = view->panel();
            connect(panel, &VideoPanel::cancelled, this, &AppDelegate::dismissTopPanel);
            connect(panel, &VideoPanel::confirmed, this, [this, files](const VideoSettings& settings) {
                dismissTopPanel();
                runVideo(files, settings);
            });
            openPanel(view, Phrase::windowCompressVideo);
            panel->start();
        });
}

void AppDelegate::openPanel(QWidget* view, Phrase title) {
    auto* panel = new PanelWindow;
    m_panels.emplace_back(panel);
    connect(panel, &PanelWindow::windowClosed, this, [this, panel] { panelClosed(panel); });
    panel->open(view, text(title));
    if (m_menu)
        m_menu->attach(panel->window(), MainMenu::Bar::hidden);
}

void AppDelegate::dismissTopPanel() {
    if (!m_panels.empty()) {
        Panel panel = std::move(m_panels.back());
        m_panels.pop_back();
        if (m_setupPanel == panel.get())
            m_setupPanel = nullptr;
        panel->close();
        release(std::move(panel));
    }
    quitIfIdle();
}

void AppDelegate::panelClosed(PanelWindow* panel) {
    const auto entry = std::ranges::find(m_panels, panel, &Panel::get);
    if (entry == m_panels.end())
        return; // dismissed already
    Panel closed = std::move(*entry);
    m_panels.erase(entry);
    if (m_setupPanel == panel)
        m_setupPanel = nullptr;
    release(std::move(closed));
    quitIfIdle();
}

void AppDelegate::release(Panel panel) {
    panel.release()->deleteLater();
}

void AppDelegate::showSetupWindow(std::optional<Release> release) {
    if (m_setupPanel)
        return;
    auto* panel = new PanelWindow;
    m_panels.emplace_back(panel);
    connect(panel, &PanelWindow::windowClosed, this, [this, panel] { panelClosed(panel); });
    panel->open(new SetupView(std::move(release)), QStringLiteral("Quillmorph"), PanelWindow::Style::regular);
    if (m_menu)
        m_menu->attach(panel->window(), MainMenu::Bar::shown);
    m_setupPanel = panel;
}

void AppDelegate::showProgressPanel() {
    if (m_progressPanel)
        return;
    m_progressPanel = std::make_unique<PanelWindow>();
    m_progressPanel->open(new ProgressView(m_progress), QStringLiteral("Quillmorph"));
    if (m_menu)
        m_menu->attach(m_progressPanel->window(), MainMenu::Bar::hidden);
}

void AppDelegate::hideProgressPanel() {
    if (m_progressPanel) {
        m_progressPanel->close();
        release(std::move(m_progressPanel));
    }
    m_progress.setOnCancel(nullptr);
}

void AppDelegate::beginJob() {
    ++m_activeJobs;
}

void AppDelegate::endJob() {
    m_activeJobs = std::max(0, m_activeJobs - 1);
}

void AppDelegate::run(const std::vector<std::filesystem::path>& files, const ImageSettings& settings) {
    runParallel(
        files.size(), Phrase::progressImages, Phrase::notifyImagesVerb, Phrase::notifyImagesCount,
        [files, settings](const BatchRunner::Progress& progress, const BatchRunner::Executor& executor) {
            return BatchRunner::run(files, settings, progress, executor);
        });
}

void AppDelegate::runPDF(const std::vector<std::filesystem::path>& files, const PDFSettings& settings) {
    runParallel(
        files.size(), Phrase::progressPdfs, Phrase::notifyPdfsVerb, Phrase::notifyImagesCount,
        [files, settings](const BatchRunner::Progress& progress, const BatchRunner::Executor& executor) {
            return BatchRunner::runPDF(files, settings, progress, executor);
        });
}

void AppDelegate::runAudio(const std::vector<std::filesystem::path>& files, const AudioSettings& settings,
                           AudioOrigin origin) {
    runParallel(files.size(), Phrase::progressAudios, Phrase::notifyAudiosVerb, Phrase::audioCount,
                [files, settings, origin](const BatchRunner::Progress& progress,
                                          const BatchRunner::Executor& executor) {
                    return BatchRunner::runAudio(files, settings, origin, progress, executor);
                });
}

void AppDelegate::runParallel(std::size_t count, Phrase progressTitle, Phrase verb, Phrase countPhrase,
                              ParallelRunner runner) {
    beginJob();
    m_progress.begin(int(count), text(progressTitle));
    if (count >= 2)
        showProgressPanel();
    // Progress is posted to the application object, the one receiver that outlives every batch;
    // the guard is only read there, on the main thread.
    const BatchRunner::Progress progress = [delegate = QPointer<AppDelegate>(this)](std::size_t done,
                                                                                    std::size_t total) {
        if (!delegate)
            return;
        delegate->m_progress.setDone(int(done));
        delegate->m_progress.setTotal(int(total));
    };
    runInBackground([runner = std::move(runner), progress] { return runner(progress, mainThread); },
                    &m_batches)
        .then(this, [this, verb, countPhrase](const std::vector<JobOutcome>& outcomes) {
            finishBatch(outcomes, verb, countPhrase);
        });
}

void AppDelegate::runVideo(const std::vector<std::filesystem::path>& files, const VideoSettings& settings) {
    beginJob();
    m_progress.begin(int(files.size()), text(Phrase::progressVideos));
    // The batch stops its running encoder itself; the window's Cancel only has to reach it.
    auto batch = std::make_shared<VideoBatch>();
    m_progress.setOnCancel([batch] { batch->stop(); });
    // An application that quits waits for its batches: the encoder stops rather than finishing first.
    const QMetaObject::Connection stopOnQuit = connect(
        QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [batch] { batch->stop(); });
    showProgressPanel();
    const VideoBatch::Progress progress =
        [delegate = QPointer<AppDelegate>(this)](std::size_t done, std::size_t total,
                                                 std::optional<double> fraction, const std::string& label) {
            if (!delegate)
                return;
            delegate->m_progress.setDone(int(done));
            delegate->m_progress.setTotal(int(total));
            delegate->m_progress.setFraction(fraction);
            delegate->m_progress.setLabel(QString::fromStdString(label));
        };
    runInBackground(
        [batch, files, settings, progress] { return batch->run(files, settings, progress, mainThread); },
        &m_batches)
        .then(this, [this, batch, stopOnQuit](const std::vector<JobOutcome>& outcomes) {
            disconnect(stopOnQuit);
            if (!batch->wasStopped()) {
                finishBatch(outcomes, Phrase::notifyVideosVerb, Phrase::notifyImagesCount);
                return;
            }
            // Stopped by the user: the finished files stay, unannounced and unrevealed.
            hideProgressPanel();
            Notifications::notify(QStringLiteral("Quillmorph"), text(Phrase::notifyVideoCancelled));
            endJob();
            emit batchFinished(outcomes);
            quitIfIdle();
        });
}

void AppDelegate::finishBatch(const std::vector<JobOutcome>& outcomes, Phrase verb, Phrase countPhrase) {
    hideProgressPanel();
    Notifications::report(outcomes, Localization::string(verb), countPhrase);
    revealInFileManager(outcomes);
    endJob();
    emit batchFinished(outcomes);
    quitIfIdle();
}

void AppDelegate::revealInFileManager(const std::vector<JobOutcome>& outcomes) {
    std::vector<std::filesystem::path> outputs;
    for (const JobOutcome& outcome : outcomes) {
        if (outcome.output)
            outputs.push_back(*outcome.output);
    }
    FileManager::showItems(outputs);
}

std::vector<PanelWindow*> AppDelegate::panels() const {
    std::vector<PanelWindow*> panels;
    for (const Panel& panel : m_panels)
        panels.push_back(panel.get());
    return panels;
}

bool AppDelegate::isIdle() const {
    return m_activeJobs == 0 && m_panels.empty() && !m_progressPanel;
}

void AppDelegate::quitIfIdle() {
    if (!isIdle())
        return;
    QTimer::singleShot(quitDelay, this, [this] {
        if (isIdle())
            terminate();
    });
}

void AppDelegate::terminate() {
    emit terminateRequested();
}

} // namespace quillmorph
