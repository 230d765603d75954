#pragma once
// The Quorvane Lab window: the panel of controls beside eight views of the
// channel's way back (the block, its trellis, the eye, the error rates, the
// error events, the soft detectors' ratios, the sectors, the block's timing). Every simulation runs
// on worker threads; a change of the controls stops the work it makes stale at once, and results
// that come late are dropped.
#include <QMainWindow>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <memory>

#include "labwindow/block_view.h"
#include "labwindow/events_view.h"
#include "labwindow/eye_view.h"
#include "labwindow/model/block.h"
#include "labwindow/model/jobs.h"
#include "labwindow/panel.h"
#include "labwindow/sectors_view.h"
#include "labwindow/soft_view.h"
#include "labwindow/sweep_view.h"
#include "labwindow/timing_view.h"
#include "labwindow/trellis_view.h"

namespace labwindow {

class LabWindow : public QMainWindow {
    Q_OBJECT
  public:
    enum Tab {
        kBlockTab,
        kTrellisTab,
        kEyeTab,
        kSweepTab,
        kEventsTab,
        kSoftTab,
        kSectorsTab,
        kTimingTab
    };

    // Settings and geometry are read from and written to `settingsFile` (an
    // INI file); an empty name remembers nothing.
    explicit LabWindow(const QString& settingsFile, QWidget* parent = nullptr);
    ~LabWindow() override; // stops every job and waits for its threads

    Panel* panel;
    QTabWidget* tabs;
    BlockView* block;
    TrellisView* trellis;
    EyeView* eye;
    SweepView* sweep;
    EventsView* events;
    SoftView* soft;
    SectorsView* sectors;
    TimingView* timing;

    void StartSweep();
    void StopSweep(const QString& why);
    // Writes the current view, or the sweep's points; an empty string or the
    // line for the message box.
    QString SaveView(const QString& path);
    QString SaveSweepCsv(const QString& path);
    // Threads of the eye and the sweep that have not ended.
    int RunningJobs() const;
    // Until every block press posted so far has been computed and shown (for
    // the tests and the benchmark; the window itself never waits).
    void WaitForBlocks();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildMenus();
    void Restore();
    void Remember();
    // Runs `step` on the block worker (where source_ lives) and shows what it
    // returns. Presses all run, in order; of the SNR changes and the new
    // settings posted one after another only the last runs (a new setting
    // takes the SNR along, so it also drops the SNR changes before it).
    enum class Step { kPress, kSnr, kSettings };
    void PostBlock(std::function<labmodel::BlockView()> step, Step kind);
    void ShowBlock(std::shared_ptr<const labmodel::BlockView> view);
    void ReplayBlocks();
    void StartEye();
    // The soft view's ratios and curves, computed when it is looked at.
    void StartSoft();
    // The sectors view's rates, point by point, computed when it is looked at.
    void StartSectors();
    // The timing view's track of the block shown, computed when it is looked
    // at.
    void StartTiming();
    void OnChannelChanged();
    void PreviewSweep(); // the curves of the panel's sweep, while no points are shown
    void OnTab(int index);
    void SaveViewAs();
    void SaveSweepAs();
    void SaveChartAs();
    void Fail(const QString& line);

    QString settingsFile_;
    QSplitter* splitter_;
    QTimer eyeRestart_;
    bool eyeStale_ = true;
    std::uint64_t eyeGeneration_ = 0;
    labmodel::EyeRangeCache eyeRange_; // the eye's range, kept while the channel stays
    std::uint64_t sweepGeneration_ = 0;
    bool softStale_ = true;
    std::uint64_t softGeneration_ = 0;
    bool sectorsStale_ = true;
    std::uint64_t sectorsGeneration_ = 0;
    bool timingStale_ = true;
    std::uint64_t timingGeneration_ = 0;
    std::shared_ptr<const labmodel::BlockView> shownBlock_; // the block view's
    // The block worker's own state, touched on its thread only.
    std::unique_ptr<labmodel::BlockSource> source_;
    std::uint64_t run_ = 0;
    std::atomic<std::uint64_t> snrSteps_{0};      // SNR changes posted
    std::atomic<std::uint64_t> settingsSteps_{0}; // new settings posted
    // Declared last: destroyed first, so no job outlives what it uses.
    labmodel::Jobs eyeJobs_;
    labmodel::Jobs sweepJobs_;
    labmodel::Jobs softJobs_;
    labmodel::Jobs sectorsJobs_;
    labmodel::Jobs timingJobs_;
    labmodel::SerialWorker blocks_;
};

} // namespace labwindow
