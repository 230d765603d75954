#include "labwindow/lab_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QKeySequence>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QSettings>
#include <QStatusBar>
#include <QThread>
#include <algorithm>

#include "channel/bounds.h"
#include "choices/texts.h"
#include "choices/values.h"
#include "engine/eye_diagram.h"
#include "labwindow/files.h"
#include "labwindow/model/eye.h"
#include "labwindow/model/soft.h"
#include "labwindow/model/sweep.h"
#include "labwindow/model/timing.h"

namespace labwindow {
namespace {

const char* const kTitle = "Quorvane Lab";

} // namespace

LabWindow::LabWindow(const QString& settingsFile, QWidget* parent)
    : QMainWindow(parent), settingsFile_(settingsFile) {
    setWindowTitle(kTitle);
    panel = new Panel(labmodel::EngineCapabilities());
    block = new BlockView;
    trellis = new TrellisView;
    eye = new EyeView;
    sweep = new SweepView;
    events = new EventsView;
    soft = new SoftView;
    sectors = new SectorsView;
    timing = new TimingView;
    tabs = new QTabWidget;
    tabs->addTab(block, tr("Block"));
    tabs->addTab(trellis, tr("Trellis"));
    tabs->addTab(eye, tr("Eye"));
    tabs->addTab(sweep, tr("Error rate"));
    tabs->addTab(events, tr("Events"));
    tabs->addTab(soft, tr("Soft"));
    tabs->addTab(sectors, tr("Sectors"));
    tabs->addTab(timing, tr("Timing"));
    tabs->setTabToolTip(kBlockTab, tr("The block's waveform, samples and decisions (Ctrl+1)"));
    tabs->setTabToolTip(kTrellisTab,
                        tr("The Viterbi detector's survivors and error events (Ctrl+2)"));
    tabs->setTabToolTip(kEyeTab, tr("The density eye diagram, growing live (Ctrl+3)"));
    tabs->setTabToolTip(kSweepTab, tr("Bit-error rates against SNR (Ctrl+4)"));
    tabs->setTabToolTip(kEventsTab, tr("The target's error events (Ctrl+5)"));
    tabs->setTabToolTip(kSoftTab, tr("What the soft detectors' ratios are worth (Ctrl+6)"));
    tabs->setTabToolTip(kSectorsTab,
                        tr("Sector failure rates, LDPC against Reed-Solomon (Ctrl+7)"));
    tabs->setTabToolTip(kTimingTab,
                        tr("The block read through a clock that is off: its phase track (Ctrl+8)"));

    auto* scroll = new QScrollArea;
    scroll->setWidget(panel);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setMinimumWidth(panel->sizeHint().width() + 24);
    scroll->setMaximumWidth(panel->sizeHint().width() + 120);
    splitter_ = new QSplitter;
    splitter_->addWidget(scroll);
    splitter_->addWidget(tabs);
    splitter_->setStretchFactor(1, 1);
    splitter_->setCollapsible(0, false);
    splitter_->setCollapsible(1, false);
    setCentralWidget(splitter_);
    BuildMenus();
    resize(1200, 800);

    connect(panel, &Panel::noiseChanged, this, [this] {
        const double db = panel->Settings().snrDb;
        PostBlock([this, db] { return source_->AtSnr(db); }, Step::kSnr);
        eyeStale_ = true;
        StartEye();
        softStale_ = true;
        StartSoft();
        sectorsStale_ = true;
        StartSectors();
    });
    connect(panel, &Panel::channelChanged, this, [this] { OnChannelChanged(); });
    connect(panel, &Panel::blocksChanged, this, [this] { ReplayBlocks(); });
    connect(panel, &Panel::eyeChanged, this, [this] {
        eyeStale_ = true;
        StartEye();
    });
    connect(panel, &Panel::sweepChanged, this, [this] {
        if (sweep->Running()) StopSweep(tr("the sweep's settings changed"));
        PreviewSweep();
    });
    connect(panel, &Panel::nextBlock, this,
            [this] { PostBlock([this] { return source_->Next(); }, Step::kPress); });
    connect(panel, &Panel::newNoise, this,
            [this] { PostBlock([this] { return source_->Renoise(); }, Step::kPress); });
    connect(tabs, &QTabWidget::currentChanged, this, [this](int i) { OnTab(i); });
    connect(block, &BlockView::startChanged, trellis, &TrellisView::SetStart);
    connect(trellis, &TrellisView::startChanged, block, &BlockView::SetStart);
    connect(sweep->runButton, &QPushButton::clicked, this, [this] { StartSweep(); });
    connect(sweep->stopButton, &QPushButton::clicked, this,
            [this] { StopSweep(tr("by the user")); });
    connect(sweep->csvButton, &QPushButton::clicked, this, [this] { SaveSweepAs(); });
    connect(sweep->pngButton, &QPushButton::clicked, this, [this] { SaveChartAs(); });
    eyeRestart_.setSingleShot(true);
    eyeRestart_.setInterval(200);
    connect(&eyeRestart_, &QTimer::timeout, this, [this] {
        eyeStale_ = true;
        StartEye();
    });
    connect(eye, &EyeView::resized, this, [this] { eyeRestart_.start(); });
    connect(timing, &TimingView::optionsChanged, this, [this] {
        timingStale_ = true;
        StartTiming();
        // The block view's rings follow the clock: the block shown, read
        // again (a block posted before this one takes the options along).
        if (!shownBlock_) return;
        const labmodel::TimingOptions options = timing->Options();
        PostBlock(
            [this, options] {
                source_->SetTiming(options);
                return source_->Again();
            },
            Step::kPress);
    });

    Restore();
    events->SetTarget(panel->Settings().Target());
    PreviewSweep();
    ReplayBlocks();
}

LabWindow::~LabWindow() {
    eyeJobs_.StopAndWait();
    sweepJobs_.StopAndWait();
    softJobs_.StopAndWait();
    sectorsJobs_.StopAndWait();
    timingJobs_.StopAndWait();
}

void LabWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* saveView = file->addAction(tr("Save view as &PNG..."), this, [this] { SaveViewAs(); });
    saveView->setShortcut(QKeySequence::Save);
    QAction* saveCsv =
        file->addAction(tr("Save sweep as &CSV..."), this, [this] { SaveSweepAs(); });
    saveCsv->setShortcut(QKeySequence(tr("Ctrl+Shift+S")));
    file->addSeparator();
    QAction* quit = file->addAction(tr("&Quit"), this, [this] { close(); });
    quit->setShortcut(QKeySequence::Quit);

    QMenu* view = menuBar()->addMenu(tr("Vie&w"));
    for (int i = 0; i < tabs->count(); ++i) {
        QAction* a =
            view->addAction(tabs->tabText(i), this, [this, i] { tabs->setCurrentIndex(i); });
        a->setShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + i)));
    }

    QMenu* run = menuBar()->addMenu(tr("Sim&ulate"));
    // Space presses a focused button, as it always does; anywhere else it
    // is the next block.
    QAction* next = run->addAction(tr("Next block"), this, [this] {
        if (auto* button = qobject_cast<QAbstractButton*>(QApplication::focusWidget()))
            button->animateClick();
        else
            emit panel->nextBlock();
    });
    next->setShortcut(Qt::Key_Space);
    QAction* renoise = run->addAction(tr("New noise"), this, [this] { emit panel->newNoise(); });
    renoise->setShortcut(Qt::Key_N);
    run->addSeparator();
    QAction* start = run->addAction(tr("Run sweep"), this, [this] { StartSweep(); });
    start->setShortcut(QKeySequence(tr("Ctrl+R")));
    QAction* stop =
        run->addAction(tr("Stop sweep"), this, [this] { StopSweep(tr("by the user")); });
    stop->setShortcut(Qt::Key_Escape);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("&Keys"), this, [this] {
        QMessageBox::information(
            this, kTitle,
            tr("Space: next block (or press the focused button)\nN: the same block with new "
               "noise\nCtrl+1 ... Ctrl+8: the views\nCtrl+R: run the sweep, Esc: stop it\n"
               "Ctrl+S: save the view as PNG, Ctrl+Shift+S: the sweep as CSV\n"
               "Arrows, Page Up, Page Down, Home, End on the block or trellis view: along a "
               "long block\nAlt and an "
               "underlined letter: that control; Tab: the next one\nCtrl+Q: quit"));
    });
    help->addAction(tr("&About"), this, [this] {
        QMessageBox::about(this, tr("About Quorvane Lab"),
                           tr("<b>Quorvane Lab</b> %1<p>The data of a partial-response read "
                              "channel coming back out: noise, a slicer and a Viterbi "
                              "detector, their trellis and error events, the eye and the error "
                              "rates, from the same engines as quorvane-lab.</p>")
                               .arg(QStringLiteral(QUORVANE_VERSION)));
    });
}

void LabWindow::Restore() {
    labmodel::LabSettings s;
    int tab = 0;
    if (!settingsFile_.isEmpty()) {
        QSettings q(settingsFile_, QSettings::IniFormat);
        const auto number = [&q](const char* key, double fallback, double lo, double hi) {
            bool ok = false;
            const double v = q.value(key, fallback).toDouble(&ok);
            return ok ? std::clamp(v, lo, hi) : fallback;
        };
        const auto text = [&q](const std::string& key) {
            return q.value(QString::fromStdString(key)).toString().toStdString();
        };
        // Every channel option under its Python keyword, through the command
        // line's parser: one it would refuse leaves the default. A channel
        // remembered by its number (0 ideal, then the heads) is read too.
        for (const choices::ChannelOption& row : choices::ChannelOptions()) {
            if (!choices::InWindow(row)) continue;
            const QString key = QString::fromUtf8(row.keyword);
            if (row.shape == choices::Shape::kTargets || row.shape == choices::Shape::kDetectors ||
                !q.contains(key))
                continue;
            std::string value = text(row.keyword);
            const std::vector<std::string> names =
                row.names ? row.names() : std::vector<std::string>{};
            if (!names.empty() && value.size() == 1 && value[0] >= '0' &&
                static_cast<std::size_t>(value[0] - '0') < names.size())
                value = names[static_cast<std::size_t>(value[0] - '0')];
            labmodel::SetOption(s, row.keyword, value);
        }
        if (!labmodel::EngineCapabilities().recordingChannel) s.channel.chain.head.reset();
        labmodel::SetTarget(
            s, q.value("target", QString::fromStdString(s.targetText)).toString().toStdString());
        s.snrDb = number("snr_db", s.snrDb, labmodel::kMinSnrDb, labmodel::kMaxSnrDb);
        s.seed = static_cast<std::uint64_t>(number("seed", 1, 0, 2147483647));
        s.blockBits = static_cast<int>(
            number("block_bits", s.blockBits, labmodel::kMinBlockBits, labmodel::kMaxBlockBits));
        // Each detector's tick under its name.
        for (const detectors::Row& row : detectors::Table())
            labmodel::Tick(
                s, row.kind,
                q.value(row.name, labmodel::Ticked(s, row.kind)).toBool() &&
                    (row.kind != detectors::Kind::kNpml || labmodel::EngineCapabilities().npml));
        s.eyeBlocks = static_cast<std::uint64_t>(
            number("eye_blocks", static_cast<double>(s.eyeBlocks), 1000, labmodel::kMaxEyeBlocks));
        s.eyeUis = static_cast<int>(number("eye_uis", s.eyeUis, 1, engine::kMaxEyeUis));
        labmodel::LabSettings trial = s;
        trial.sweepRange =
            q.value("sweep_range", QString::fromStdString(s.sweepRange)).toString().toStdString();
        std::vector<double> dbs;
        if (labmodel::SweepPoints(trial, dbs).empty()) s.sweepRange = trial.sweepRange;
        s.sweepBits = static_cast<std::uint64_t>(number("sweep_bits", 1e7, 1, 1e13));
        s.sweepErrors = static_cast<std::uint64_t>(number("sweep_errors", 300, 1, 1e13));
        if (q.contains("geometry")) restoreGeometry(q.value("geometry").toByteArray());
        // The timing view's options, each under its Python keyword when it
        // was given, through the command line's parser.
        labmodel::TimingOptions timingOptions;
        for (const choices::ChannelOption* row : labmodel::TimingRows())
            if (q.contains(QString::fromUtf8(row->keyword)))
                labmodel::SetTiming(timingOptions, row->keyword, text(row->keyword));
        timing->Load(timingOptions);
        if (q.contains("splitter")) splitter_->restoreState(q.value("splitter").toByteArray());
        tab = static_cast<int>(number("tab", 0, 0, tabs->count() - 1));
    }
    // Every core, as the command line's default; the workers run below the
    // window's priority.
    s.threads = std::clamp(QThread::idealThreadCount(), 1, static_cast<int>(choices::kMaxThreads));
    panel->Load(s);
    // After the settings: a view shown now is drawn with them.
    tabs->setCurrentIndex(tab);
}

void LabWindow::Remember() {
    if (settingsFile_.isEmpty()) return;
    const labmodel::LabSettings& s = panel->Settings();
    QSettings q(settingsFile_, QSettings::IniFormat);
    for (const choices::ChannelOption& row : choices::ChannelOptions())
        if (choices::InWindow(row) && row.shape != choices::Shape::kTargets &&
            row.shape != choices::Shape::kDetectors)
            q.setValue(QString::fromUtf8(row.keyword),
                       QString::fromStdString(labmodel::OptionText(s, row.keyword)));
    q.setValue("target", QString::fromStdString(s.targetText));
    q.setValue("snr_db", s.snrDb);
    q.setValue("seed", static_cast<qulonglong>(s.seed));
    q.setValue("block_bits", s.blockBits);
    for (const detectors::Row& row : detectors::Table())
        q.setValue(row.name, labmodel::Ticked(s, row.kind));
    q.setValue("eye_blocks", static_cast<qulonglong>(s.eyeBlocks));
    q.setValue("eye_uis", s.eyeUis);
    q.setValue("sweep_range", QString::fromStdString(s.sweepRange));
    q.setValue("sweep_bits", static_cast<qulonglong>(s.sweepBits));
    q.setValue("sweep_errors", static_cast<qulonglong>(s.sweepErrors));
    for (const choices::ChannelOption* row : labmodel::TimingRows()) {
        const std::string given = labmodel::TimingText(timing->Options(), row->keyword);
        if (given.empty())
            q.remove(QString::fromUtf8(row->keyword));
        else
            q.setValue(QString::fromUtf8(row->keyword), QString::fromStdString(given));
    }
    q.setValue("tab", tabs->currentIndex());
    q.setValue("geometry", saveGeometry());
    q.setValue("splitter", splitter_->saveState());
}

void LabWindow::closeEvent(QCloseEvent* event) {
    Remember();
    eyeJobs_.StopAndWait();
    sweepJobs_.StopAndWait();
    softJobs_.StopAndWait();
    sectorsJobs_.StopAndWait();
    timingJobs_.StopAndWait();
    event->accept();
}

void LabWindow::PostBlock(std::function<labmodel::BlockView()> step, Step kind) {
    const std::uint64_t snr = kind == Step::kSnr ? ++snrSteps_ : snrSteps_.load();
    const std::uint64_t settings =
        kind == Step::kSettings ? ++settingsSteps_ : settingsSteps_.load();
    blocks_.Post([this, step = std::move(step), kind, snr, settings] {
        const bool newerSettings = settings != settingsSteps_.load();
        if (kind == Step::kSettings && newerSettings) return;
        if (kind == Step::kSnr && (newerSettings || snr != snrSteps_.load())) return;
        auto view = std::make_shared<const labmodel::BlockView>(step());
        run_ = view->run;
        QMetaObject::invokeMethod(
            this, [this, view] { ShowBlock(view); }, Qt::QueuedConnection);
    });
}

void LabWindow::ReplayBlocks() {
    const labmodel::LabSettings s = panel->Settings();
    const labmodel::TimingOptions options = timing->Options();
    PostBlock(
        [this, s, options] {
            // The run shown so far, under the new settings.
            source_ = std::make_unique<labmodel::BlockSource>(
                labmodel::BlockSource::Replay(s, run_ > 0 ? run_ - 1 : 0));
            source_->SetTiming(options);
            return source_->Next();
        },
        Step::kSettings);
}

void LabWindow::ShowBlock(std::shared_ptr<const labmodel::BlockView> view) {
    block->SetBlock(view);
    trellis->SetBlock(view);
    shownBlock_ = view;
    timingStale_ = true;
    StartTiming();
    QString line = tr("Block %1:").arg(view->run);
    for (std::size_t d = 0; d < view->kinds.size(); ++d)
        line += tr(" %1 %2 %3%4")
                    .arg(detectors::KindTitle(view->kinds[d]))
                    .arg(view->errors[d])
                    .arg(view->errors[d] == 1 ? "error" : "errors")
                    .arg(d + 1 < view->kinds.size() ? "," : "");
    if (!view->code.empty()) {
        line += tr("; user bits after the %1 decoder:").arg(QString::fromStdString(view->code));
        for (std::size_t d = 0; d < view->kinds.size(); ++d)
            line += tr(" %1 %2%3")
                        .arg(detectors::KindTitle(view->kinds[d]))
                        .arg(view->userErrors[d])
                        .arg(d + 1 < view->kinds.size() ? "," : "");
    }
    const std::size_t events = view->trellis.events.size();
    line += events == 1 ? tr("; 1 error event") : tr("; %1 error events").arg(events);
    statusBar()->showMessage(line);
}

void LabWindow::WaitForBlocks() {
    blocks_.Drain();
    QCoreApplication::processEvents();
}

void LabWindow::OnChannelChanged() {
    events->SetTarget(panel->Settings().Target());
    ReplayBlocks();
    eyeStale_ = true;
    StartEye();
    softStale_ = true;
    StartSoft();
    sectorsStale_ = true;
    StartSectors();
    if (sweep->Running()) StopSweep(tr("the channel's settings changed"));
    PreviewSweep();
}

void LabWindow::PreviewSweep() {
    std::vector<double> dbs;
    if (sweep->Running() || !sweep->Points().empty() ||
        !labmodel::SweepPoints(panel->Settings(), dbs).empty())
        return;
    sweep->Preview(panel->Settings(), dbs);
}

void LabWindow::OnTab(int index) {
    if (index == kEyeTab && eyeStale_) StartEye();
    if (index == kSoftTab && softStale_) StartSoft();
    if (index == kSectorsTab && sectorsStale_) StartSectors();
    if (index == kTimingTab && timingStale_) StartTiming();
}

void LabWindow::StartTiming() {
    ++timingGeneration_;
    if (tabs->currentIndex() != kTimingTab) {
        timingJobs_.Stop(); // computed when it is looked at
        return;
    }
    if (!shownBlock_) return;
    timingStale_ = false;
    const labmodel::LabSettings s = panel->Settings();
    const labmodel::TimingOptions options = timing->Options();
    const std::vector<std::uint8_t> raw = shownBlock_->raw;
    const std::uint64_t run = shownBlock_->run;
    if (!labmodel::TimingOf(options).on) {
        timingJobs_.Stop();
        timing->SetPicture(std::make_shared<const labmodel::TimingPicture>(
            labmodel::ComputeTiming(s, options, raw, run)));
        return;
    }
    timing->SetMessage(tr("Reading block %1 through the clock and the loop...").arg(run));
    const std::uint64_t generation = timingGeneration_;
    timingJobs_.Start([this, s, options, raw, run, generation](const std::atomic<bool>& stop) {
        auto picture = std::make_shared<const labmodel::TimingPicture>(
            labmodel::ComputeTiming(s, options, raw, run));
        if (stop.load()) return;
        QMetaObject::invokeMethod(
            this,
            [this, picture, generation] {
                if (generation == timingGeneration_) timing->SetPicture(picture);
            },
            Qt::QueuedConnection);
    });
}

void LabWindow::StartSectors() {
    const labmodel::LabSettings s = panel->Settings();
    ++sectorsGeneration_;
    if (tabs->currentIndex() != kSectorsTab) {
        sectorsJobs_.Stop(); // computed when it is looked at
        return;
    }
    sectorsStale_ = false;
    engine::SectorSettings run;
    if (const std::string why = labmodel::SectorSettingsOf(s, run); !why.empty()) {
        sectorsJobs_.Stop();
        sectors->SetMessage(tr("No sectors here: %1").arg(QString::fromStdString(why)));
        return;
    }
    sectors->SetMessage(tr("Running sectors on worker threads..."));
    const std::uint64_t generation = sectorsGeneration_;
    sectorsJobs_.Start([this, s, generation](const std::atomic<bool>& stop) {
        labmodel::ComputeSectors(s, stop, [&](const labmodel::SectorPicture& now) {
            auto picture = std::make_shared<labmodel::SectorPicture>(now);
            // A target of memory 0 is the Sectors tab's own: named, with
            // what its SNR is per user bit (levels 0 and 1: SNR - 10 log10(8R)).
            const std::string target = s.codedTarget ? ", target " + s.codedTarget->Name() : "";
            QString line =
                QString::fromStdString(labmodel::ChannelText(s) + target + ", sector512, " +
                                       detectors::KindName(picture->detector));
            if (!picture->geometry.empty())
                line += tr("; RS t %1; %2 of %3 points")
                            .arg(picture->geometry.front().rsT)
                            .arg(picture->counts.size())
                            .arg(labmodel::SectorSnrs(s).size());
            if (s.codedTarget && !picture->geometry.empty()) {
                const engine::SectorGeometry& g = picture->geometry.front();
                line += tr("; Eb/N0 = SNR - %1 dB").arg(g.snrDb - g.ebN0Db, 0, 'f', 2);
            }
            QMetaObject::invokeMethod(
                this,
                [this, picture, line, generation] {
                    if (generation == sectorsGeneration_) sectors->SetPicture(picture, line);
                },
                Qt::QueuedConnection);
        });
    });
}

void LabWindow::StartSoft() {
    const labmodel::LabSettings s = panel->Settings();
    ++softGeneration_;
    if (tabs->currentIndex() != kSoftTab) {
        softJobs_.Stop(); // computed when it is looked at
        return;
    }
    softStale_ = false;
    if (labmodel::SoftKindsOf(s).empty()) {
        softJobs_.Stop();
        soft->SetMessage(tr("Tick a soft detector in the panel to see what its ratios are worth."));
        return;
    }
    soft->SetMessage(tr("Computing the ratios and the transfer curves on worker threads..."));
    const std::uint64_t generation = softGeneration_;
    softJobs_.Start([this, s, generation](const std::atomic<bool>& stop) {
        auto picture = std::make_shared<labmodel::SoftPicture>();
        if (!labmodel::ComputeSoft(s, stop, *picture)) return;
        const QString line = QString::fromStdString(
            labmodel::ChannelText(s) + ", " +
            choices::NoiseText(labmodel::ChainOf(s), picture->sigma) + "; " +
            choices::SoftNoiseText(picture->ratios.noiseVariance,
                                   picture->ratios.predictionVariance, s.Head()));
        QMetaObject::invokeMethod(
            this,
            [this, picture, line, generation] {
                if (generation == softGeneration_) soft->SetPicture(picture, line);
            },
            Qt::QueuedConnection);
    });
}

void LabWindow::StartEye() {
    const labmodel::LabSettings& s = panel->Settings();
    ++eyeGeneration_;
    if (tabs->currentIndex() != kEyeTab) {
        // Drawn when it is looked at.
        eyeJobs_.Stop();
        return;
    }
    eyeStale_ = false;
    const QSize pixels = eye->RasterPixels();
    const engine::EyeSettings settings = labmodel::EyeOf(s);
    engine::EyeGeometry geometry;
    const std::string error =
        engine::FitEye(pixels.width(), pixels.height(), s.eyeUis,
                       eyeRange_.Of(settings.chain, settings.point), geometry);
    if (!error.empty()) {
        eyeJobs_.Stop();
        eye->SetMessage(
            tr("The view is too small for this eye: %1.").arg(QString::fromStdString(error)));
        return;
    }
    const std::uint64_t generation = eyeGeneration_;
    // As `quorvane-lab eye --point equalized`: a head's eye is the
    // equalizer's output, named by the head and the target it equalizes to.
    const QString title =
        QString::fromStdString("Eye, " + choices::EyeSubject(settings.chain, settings.point) +
                               ", " + choices::NoiseText(settings.chain, settings.sigma));
    eyeJobs_.Start([this, settings, geometry, generation, title](const std::atomic<bool>& stop) {
        labmodel::GrowEye(settings, geometry, stop, [&](labmodel::EyeFrame frame) {
            auto shared = std::make_shared<const labmodel::EyeFrame>(std::move(frame));
            QImage image = EyeImageOf(*shared);
            QMetaObject::invokeMethod(
                this,
                [this, shared, image, generation, title] {
                    if (generation == eyeGeneration_) eye->SetFrame(shared, image, title);
                },
                Qt::QueuedConnection);
        });
    });
}

void LabWindow::StartSweep() {
    if (sweep->Running()) return;
    const labmodel::LabSettings s = panel->Settings();
    std::vector<double> dbs;
    if (std::string error = labmodel::SweepPoints(s, dbs); !error.empty()) {
        Fail(QString::fromStdString(error));
        return;
    }
    tabs->setCurrentIndex(kSweepTab);
    sweep->Begin(s, dbs);
    const std::uint64_t generation = ++sweepGeneration_;
    const engine::SweepSettings settings = labmodel::SweepOf(s);
    sweepJobs_.Start([this, settings, generation](const std::atomic<bool>& stop) {
        auto post = [this, generation](std::function<void()> show) {
            QMetaObject::invokeMethod(
                this,
                [this, generation, show] {
                    if (generation == sweepGeneration_) show();
                },
                Qt::QueuedConnection);
        };
        const int done = labmodel::RunSweep(
            settings, stop,
            [&](const engine::BerPoint& p) { post([this, p] { sweep->AddPoint(p); }); },
            [&](const labmodel::SweepProgress& p) { post([this, p] { sweep->Progress(p); }); });
        const bool complete = done == static_cast<int>(settings.Levels());
        post([this, complete] { sweep->End(complete, tr("stopped")); });
    });
}

void LabWindow::StopSweep(const QString& why) {
    if (!sweep->Running()) return;
    sweepJobs_.Stop();
    ++sweepGeneration_; // what it still sends is dropped
    sweep->End(false, why);
}

int LabWindow::RunningJobs() const {
    return eyeJobs_.Running() + sweepJobs_.Running() + softJobs_.Running() +
           sectorsJobs_.Running() + timingJobs_.Running();
}

QString LabWindow::SaveView(const QString& path) {
    QWidget* shown = tabs->currentIndex() == kSweepTab    ? sweep->ChartView()
                     : tabs->currentIndex() == kTimingTab ? timing->ChartView()
                                                          : tabs->currentWidget();
    return SavePng(shown->grab().toImage(), path);
}

QString LabWindow::SaveSweepCsv(const QString& path) {
    return labwindow::SaveSweepCsv(sweep->Choice(), sweep->Points(), path);
}

void LabWindow::Fail(const QString& line) {
    QString text = line;
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    if (!text.endsWith('.')) text += '.';
    QMessageBox::critical(this, kTitle, text);
}

void LabWindow::SaveViewAs() {
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save the view as PNG"),
        tabs->tabText(tabs->currentIndex()).toLower().replace(' ', '-') + ".png",
        tr("PNG pictures (*.png)"));
    if (path.isEmpty()) return;
    if (QString error = SaveView(path); !error.isEmpty()) Fail(error);
}

void LabWindow::SaveChartAs() {
    const QString path = QFileDialog::getSaveFileName(this, tr("Save the error-rate chart as PNG"),
                                                      "ber.png", tr("PNG pictures (*.png)"));
    if (path.isEmpty()) return;
    if (QString error = SavePng(sweep->ChartView()->grab().toImage(), path); !error.isEmpty())
        Fail(error);
}

void LabWindow::SaveSweepAs() {
    if (sweep->Points().empty()) {
        Fail(tr("no finished points to save yet: run a sweep first"));
        return;
    }
    const QString path = QFileDialog::getSaveFileName(this, tr("Save the sweep as CSV"), "ber.csv",
                                                      tr("CSV files (*.csv)"));
    if (path.isEmpty()) return;
    if (QString error = SaveSweepCsv(path); !error.isEmpty()) Fail(error);
}

} // namespace labwindow
