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
    m_batchThreads.setMaxThreadCount(64);
    // However the application ends, its batches are waited for: they stop starting files first.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &AppDelegate::shutDown);
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
        const std::optional<std::string> text = RequestTransport::retrieved(url.toStdString());
        if (std::optional<QuillmorphRequest> request = text ? RequestTransport::request(*text) : std::nullopt)
            handle(*request);
    }
}

void AppDelegate::applicationShouldHandleReopen() {
    showSetupWindow();
}

void AppDelegate::handle(const QuillmorphRequest& request) {
    std::vector<std::filesystem::path> files;
    for (const std::string& path : request.paths) {
        // A relative path would name a file of whatever folder this process started in, and the
        // system sees only what precedes a NUL: both are dropped like missing files.
        if (path.find('\0') != std::string::npos || !std::filesystem::path(path).is_absolute())
            continue;
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
    PanelWindow* window = openPanel(view, Phrase::windowCompressImages);
    connect(panel, &ImagePanel::cancelled, this, [this, window] { dismiss(window); });
    connect(panel, &ImagePanel::confirmed, this, [this, window, files](const ImageSettings& settings) {
        dismiss(window);
        run(files, settings);
    });
    panel->start();
}

void AppDelegate::openPDFPanel(const std::vector<std::filesystem::path>& files) {
    auto* view = new PDFPanelView(files);
    PDFPanel* panel = view->panel();
    PanelWindow* window = openPanel(view, Phrase::windowCompressPdf);
    connect(panel, &PDFPanel::cancelled, this, [this, window] { dismiss(window); });
    connect(panel, &PDFPanel::confirmed, this, [this, window, files](const PDFSettings& settings) {
        dismiss(window);
        runPDF(files, settings);
    });
}

void AppDelegate::openAudioPanel(const std::vector<std::filesystem::path>& files, bool fromVideo) {
    const AudioOrigin origin = fromVideo ? AudioOrigin::videos : AudioOrigin::audioFiles;
    auto* view = new AudioPanelView(files, origin);
    AudioPanel* panel = view->panel();
    PanelWindow* window = openPanel(view, fromVideo ? Phrase::windowExtractAudio : Phrase::windowCompressAudio);
    connect(panel, &AudioPanel::cancelled, this, [this, window] { dismiss(window); });
    connect(panel, &AudioPanel::confirmed, this, [this, window, files, origin](const AudioSettings& settings) {
        dismiss(window);
        runAudio(files, settings, origin);
    });
    panel->start();
}

void AppDelegate::openVideoPanel(const std::vector<std::filesystem::path>& files) {
    beginJob();
    const std::filesystem::path first = files.front();
    runInBackground([first] { return VideoEngines::probe(first); }, &m_batchThreads)
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
            PanelWindow* window = openPanel(view, Phrase::windowCompressVideo);
            connect(panel, &VideoPanel::cancelled, this, [this, window] { dismiss(window); });
            connect(panel, &VideoPanel::confirmed, this, [this, window, files](const VideoSettings& settings) {
                dismiss(window);
                runVideo(files, settings);
            });
            panel->start();
        });
}

PanelWindow* AppDelegate::openPanel(QWidget* view, Phrase title) {
    auto* panel = new PanelWindow;
    m_panels.emplace_back(panel);
    connect(panel, &PanelWindow::windowClosed, this, [this, panel] { panelClosed(panel); });
    panel->open(view, text(title));
    if (m_menu)
        m_menu->attach(panel->window(), MainMenu::Bar::hidden);
    return panel;
}

void AppDelegate::dismiss(PanelWindow* panel) {
    // Closing emits windowClosed, which takes the entry out; a panel closed already has none left.
    if (std::ranges::find(m_panels, panel, &Panel::get) != m_panels.end())
        panel->close();
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

void AppDelegate::shutDown() {
    for (PanelWindow* panel : panels())
        panel->close();
    for (const std::unique_ptr<Batch>& batch : m_running) {
        if (batch->window)
            batch->window->close();
        batch->stop();
    }
}

AppDelegate::Batch& AppDelegate::beginBatch(std::size_t count, Phrase title, bool showsWindow) {
    beginJob();
    Batch& batch = *m_running.emplace_back(std::make_unique<Batch>());
    batch.progress.begin(int(count), text(title));
    if (!showsWindow)
        return batch;
    const std::vector<PanelWindow*> others = progressPanels();
    batch.window = std::make_unique<PanelWindow>();
    // Closed by the user, the window goes; the batch runs on without it.
    connect(batch.window.get(), &PanelWindow::windowClosed, this, [this, batch = &batch] {
        if (batch->window)
            release(std::move(batch->window));
        quitIfIdle();
    });
    batch.window->open(new ProgressView(batch.progress), QStringLiteral("Quillmorph"));
    // Side by side batches: each window a step below the previous one, so that none hides another.
    if (!others.empty() && others.back()->window()) {
        QWidget* previous = others.back()->window();
        batch.window->window()->move(previous->pos() + QPoint(0, previous->frameGeometry().height() + 8));
    }
    if (m_menu)
        m_menu->attach(batch.window->window(), MainMenu::Bar::hidden);
    return batch;
}

void AppDelegate::endBatch(Batch& batch) {
    const auto entry = std::ranges::find(m_running, &batch, &std::unique_ptr<Batch>::get);
    std::unique_ptr<Batch> ended = std::move(*entry);
    m_running.erase(entry);
    if (ended->window)
        ended->window->close(); // which releases it
    endJob();
}

std::vector<PanelWindow*> AppDelegate::progressPanels() const {
    std::vector<PanelWindow*> windows;
    for (const std::unique_ptr<Batch>& batch : m_running) {
        if (batch->window)
            windows.push_back(batch->window.get());
    }
    return windows;
}

void AppDelegate::beginJob() {
    ++m_activeJobs;
}

void AppDelegate::endJob() {
    m_activeJobs = std::max(0, m_activeJobs - 1);
}

void AppDelegate::run(const std::vector<std::filesystem::path>& files, const ImageSettings& settings) {
    runParallel(files, Phrase::progressImages, Phrase::notifyImagesVerb, Phrase::notifyImagesCount,
                [settings](const std::filesystem::path& file) { return BatchRunner::process(file, settings); });
}

void AppDelegate::runPDF(const std::vector<std::filesystem::path>& files, const PDFSettings& settings) {
    runParallel(files, Phrase::progressPdfs, Phrase::notifyPdfsVerb, Phrase::notifyImagesCount,
                [settings](const std::filesystem::path& file) { return BatchRunner::processPDF(file, settings); });
}

void AppDelegate::runAudio(const std::vector<std::filesystem::path>& files, const AudioSettings& settings,
                           AudioOrigin origin) {
    runParallel(files, Phrase::progressAudios, Phrase::notifyAudiosVerb, Phrase::audioCount,
                [settings, origin](const std::filesystem::path& file) {
                    return BatchRunner::processAudio(file, settings, origin);
                });
}

void AppDelegate::runParallel(const std::vector<std::filesystem::path>& files, Phrase progressTitle, Phrase verb,
                              Phrase countPhrase, BatchRunner::Job job) {
    Batch& batch = beginBatch(files.size(), progressTitle, files.size() >= 2);
    // Once stopped, the files not yet started are left as they are.
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    batch.stop = [stopped] { *stopped = true; };
    BatchRunner::Job stoppable = [stopped, job = std::move(job)](const std::filesystem::path& file) {
        if (*stopped)
            return JobOutcome{.source = file, .error = Localization::string(Phrase::errorVideoCancelled)};
        return job(file);
    };
    // Progress goes through the batch's own model, which is gone once the batch has ended.
    const BatchRunner::Progress progress = [model = QPointer<ProgressModel>(&batch.progress)](std::size_t done,
                                                                                            std::size_t total) {
        if (!model)
            return;
        model->setDone(int(done));
        model->setTotal(int(total));
    };
    runInBackground(
        [files, stoppable = std::move(stoppable), progress] {
            return BatchRunner::runParallel(files, stoppable, progress, mainThread);
        },
        &m_batchThreads)
        .then(this, [this, batch = &batch, verb, countPhrase](const std::vector<JobOutcome>& outcomes) {
            finishBatch(*batch, outcomes, verb, countPhrase);
        });
}

void AppDelegate::runVideo(const std::vector<std::filesystem::path>& files, const VideoSettings& settings) {
    Batch& batch = beginBatch(files.size(), Phrase::progressVideos, true);
    // The batch stops its running encoder itself; the window's Cancel only has to reach it.
    auto video = std::make_shared<VideoBatch>();
    batch.stop = [video] { video->stop(); };
    batch.progress.setOnCancel(batch.stop);
    const VideoBatch::Progress progress =
        [model = QPointer<ProgressModel>(&batch.progress)](std::size_t done, std::size_t total,
                                                           std::optional<double> fraction, const std::string& label) {
            if (!model)
                return;
            model->setDone(int(done));
            model->setTotal(int(total));
            model->setFraction(fraction);
            model->setLabel(QString::fromStdString(label));
        };
    runInBackground(
        [video, files, settings, progress] { return video->run(files, settings, progress, mainThread); },
        &m_batchThreads)
        .then(this, [this, batch = &batch, video](const std::vector<JobOutcome>& outcomes) {
            if (!video->wasStopped()) {
                finishBatch(*batch, outcomes, Phrase::notifyVideosVerb, Phrase::notifyImagesCount);
                return;
            }
            // Stopped by the user: the finished files stay, unannounced and unrevealed.
            endBatch(*batch);
            Notifications::notify(QStringLiteral("Quillmorph"), text(Phrase::notifyVideoCancelled));
            emit batchFinished(outcomes);
            quitIfIdle();
        });
}

void AppDelegate::finishBatch(Batch& batch, const std::vector<JobOutcome>& outcomes, Phrase verb,
                              Phrase countPhrase) {
    endBatch(batch);
    Notifications::report(outcomes, Localization::string(verb), countPhrase);
    revealInFileManager(outcomes);
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
    return m_activeJobs == 0 && m_panels.empty() && m_running.empty();
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
