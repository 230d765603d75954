// The lab window's views on the off-screen platform: each one pinned by a
// hash at a fixed seed, pixel checks that say where a fault is, the keys a
// user presses, what the window remembers and writes, and its workers.
#include <cmath>
#include <tuple>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineSeries>
#include <QSettings>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

#include "choices/channel.h"
#include "labwindow/model/sectors.h"
#include "labwindow/model/timing.h"
#include "labwindow/style.h"
#include "tests/labwindow/window_fixture.h"

using namespace labtest;
using labwindow::LabWindow;

namespace {

QImage ViewPicture(LabWindow& w, int tab) {
    ShowTab(w, tab);
    QWidget* view = tab == LabWindow::kSweepTab ? w.sweep->ChartView() : w.tabs->currentWidget();
    return view->grab().toImage();
}

// Pixels of exactly `colour` in `area`, given in the widget's coordinates
// (the picture may have more pixels per unit than one).
int Count(const QImage& image, const QRect& logical, QRgb colour) {
    const double dpr = image.devicePixelRatio();
    const QRect area(static_cast<int>(logical.left() * dpr), static_cast<int>(logical.top() * dpr),
                     static_cast<int>(logical.width() * dpr),
                     static_cast<int>(logical.height() * dpr));
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

TEST(LabWindowViews, EachViewPinnedAtAFixedSeed) {
    // The sixth block at 18 dB: the slicer errs often, the Viterbi detector
    // once, with the event +-+ (the README's pictures).
    labmodel::LabSettings s = QuickSettings();
    s.snrDb = 18;
    auto w = MakeWindow({1024, 700}, s);
    for (int press = 0; press < 5; ++press) QTest::keyClick(w.get(), Qt::Key_Space);
    w->WaitForBlocks();
    ASSERT_EQ(w->block->Block()->run, 6u);
    ASSERT_EQ(w->block->Block()->errors, (std::vector<int>{18, 4}));
    ASSERT_EQ(w->block->Block()->trellis.events.size(), 1u);
    struct Case {
        int tab;
        std::uint64_t hash;
    };
    // The panel's controls of the tail, the converter and the noise
    // generators left these views 17 pixels narrower: each is the picture
    // it was before at its old width.
    const Case cases[] = {{LabWindow::kBlockTab, 0xcc32508c860a20e6ull},
                          {LabWindow::kTrellisTab, 0xcdd8f504e3b22162ull},
                          {LabWindow::kEyeTab, 0x1aeb0a2c4af9dd80ull},
                          {LabWindow::kSweepTab, 0x28fe68b8eaadad77ull},
                          {LabWindow::kEventsTab, 0x9126622a242f9914ull}};
    for (const Case& c : cases) {
        ShowTab(*w, c.tab);
        if (c.tab == LabWindow::kEyeTab) {
            ASSERT_TRUE(Until([&] { return EyeDone(*w); }));
        }
        if (c.tab == LabWindow::kSweepTab) {
            w->StartSweep();
            ASSERT_TRUE(Until([&] { return !w->sweep->Running() && w->RunningJobs() == 0; }));
        }
        const QImage picture = ViewPicture(*w, c.tab);
        Keep(picture, "view-" + std::to_string(c.tab));
        if (c.tab == LabWindow::kTrellisTab) {
            // Where the event runs, the decided path's states are yellow and
            // the true ones blue; before it the two share yellow nodes.
            const labmodel::TrellisView& t = w->block->Block()->trellis;
            // Whether a pixel next to state's node after sample k is colour.
            auto at = [&](int k, int state, const QColor& colour) {
                const QPoint n = w->trellis->Node(k, state).toPoint();
                return Count(picture, QRect(n - QPoint(1, 1), QSize(3, 3)), colour.rgb()) > 0;
            };
            int parted = 0;
            for (int k = t.events[0].first; k <= t.events[0].last; ++k) {
                ASSERT_NE(t.survivors.path[k], t.truth[k]) << k;
                EXPECT_TRUE(at(k, t.survivors.path[k], labwindow::kTrace)) << k;
                EXPECT_FALSE(at(k, t.survivors.path[k], labwindow::kTruePath)) << k;
                EXPECT_TRUE(at(k, t.truth[k], labwindow::kTruePath)) << k;
                EXPECT_FALSE(at(k, t.truth[k], labwindow::kTrace)) << k;
                ++parted;
            }
            EXPECT_EQ(parted, 3);
            EXPECT_TRUE(at(10, t.truth[10], labwindow::kTrace));
        }
        EXPECT_EQ(Hash(picture), c.hash) << "tab " << c.tab << ": " << std::hex << Hash(picture);
    }
}

TEST(LabWindowViews, AWrongBitIsRedAndNothingElseIs) {
    // At 10 dB both detectors err. Every cell of the strips is red exactly
    // where its detector's bit is wrong, and no other pixel of the view is
    // that red.
    // On a head too (a Lorentzian at density 2.5, 12 dB), npml's strip last.
    for (const bool head : {false, true}) {
        labmodel::LabSettings s = QuickSettings();
        s.snrDb = head ? 12 : 10;
        if (head) s.channel.chain.head = channel::HeadKind::kLorentz;
        s.channel.chain.density = 2.5;
        auto w = MakeWindow({1024, 700}, s);
        ASSERT_EQ(w->block->Block()->kinds.back() == detectors::Kind::kNpml, head);
        int wrongCells = 0;
        for (int run = 1; run <= 4; ++run) {
            const labmodel::BlockView& b = *w->block->Block();
            ASSERT_EQ(b.run, static_cast<std::uint64_t>(run));
            const QImage picture = w->block->grab().toImage();
            ASSERT_EQ(w->block->Visible(), b.bits + b.tail);
            int red = 0;
            for (int row = 0; row <= static_cast<int>(b.kinds.size()); ++row) {
                for (int k = 0; k < b.bits; ++k) {
                    const QRect cell = w->block->CellRect(row, k);
                    const bool wrong = row > 0 && b.Wrong(static_cast<std::size_t>(row - 1), k);
                    const int n = Count(picture, cell, labwindow::kWrong.rgb());
                    const double dpr = picture.devicePixelRatio();
                    EXPECT_EQ(n > cell.width() * cell.height() * dpr * dpr / 3, wrong)
                        << "run " << run << " strip " << row << " bit " << k;
                    red += n;
                    wrongCells += wrong;
                }
            }
            EXPECT_EQ(Count(picture, w->block->rect(), labwindow::kWrong.rgb()), red)
                << "run " << run;
            const std::string name = (head ? "head-red-" : "red-") + std::to_string(run);
            Keep(picture, name);
            Keep(ViewPicture(*w, LabWindow::kTrellisTab), "events-" + name);
            ShowTab(*w, LabWindow::kBlockTab);
            QTest::keyClick(w.get(), Qt::Key_Space);
            w->WaitForBlocks();
        }
        EXPECT_GT(wrongCells, 10);
    }
}

TEST(LabWindowViews, KeysAsAUserPressesThem) {
    auto w = MakeWindow({1024, 700}, QuickSettings());
    const std::vector<std::uint8_t> first = w->block->Block()->raw;
    QTest::keyClick(w.get(), Qt::Key_Space);
    w->WaitForBlocks();
    EXPECT_EQ(w->block->Block()->run, 2u);
    EXPECT_NE(w->block->Block()->raw, first);
    const std::vector<float> noisy = w->block->Block()->received;
    QTest::keyClick(w.get(), Qt::Key_N);
    w->WaitForBlocks();
    EXPECT_EQ(w->block->Block()->run, 2u);
    EXPECT_EQ(w->block->Block()->renoised, 1);
    EXPECT_NE(w->block->Block()->received, noisy);

    // Alt+S reaches the slider; End, Home and the arrows move it.
    QTest::keyClick(w.get(), Qt::Key_S, Qt::AltModifier);
    ASSERT_EQ(QApplication::focusWidget(), w->panel->snr);
    const struct {
        Qt::Key key;
        const char* noise;
    } keys[] = {{Qt::Key_End, "SNR 45.0 dB, sigma 0.0298"},
                {Qt::Key_Home, "SNR 0.0 dB, sigma 5.29"},
                {Qt::Key_Right, "SNR 0.5 dB, sigma 5"},
                {Qt::Key_PageUp, "SNR 2.5 dB, sigma 3.97"}};
    for (const auto& k : keys) {
        QTest::keyClick(QApplication::focusWidget(), k.key);
        w->WaitForBlocks();
        EXPECT_EQ(w->panel->noise->text().toStdString(), k.noise);
        EXPECT_EQ(labmodel::NoiseText(w->panel->Settings()), k.noise);
        EXPECT_EQ(w->block->Block()->snrDb, w->panel->Settings().snrDb);
        EXPECT_EQ(w->block->Block()->run, 2u); // the same block, with more or less noise
    }
    // Space on a focused button presses that button.
    w->panel->renoise->setFocus();
    QTest::keyClick(w.get(), Qt::Key_Space);
    QTest::qWait(300); // the button's animated click
    w->WaitForBlocks();
    EXPECT_EQ(w->block->Block()->renoised, 2);
    QTest::keyClick(w.get(), Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(w->tabs->currentIndex(), LabWindow::kEyeTab);

    // A long block: the keys on the view move along it, and the trellis
    // follows.
    w->panel->blockBits->setValue(400);
    w->WaitForBlocks();
    ShowTab(*w, LabWindow::kBlockTab);
    w->block->setFocus();
    const int last = 405 - w->block->Visible();
    const struct {
        Qt::Key key;
        int start;
    } moves[] = {
        {Qt::Key_End, last}, {Qt::Key_Right, last}, {Qt::Key_PageUp, last - w->block->Visible()},
        {Qt::Key_Home, 0},   {Qt::Key_Left, 0},     {Qt::Key_Right, 1}};
    for (const auto& m : moves) {
        QTest::keyClick(w->block, m.key);
        EXPECT_EQ(w->block->Start(), m.start) << m.key;
        EXPECT_EQ(w->trellis->Start(), std::min(m.start, 405 - w->trellis->Visible())) << m.key;
    }

    // Hovering a sample tells what became of it.
    ShowTab(*w, LabWindow::kBlockTab);
    const QRect cell = w->block->CellRect(0, 7);
    QTest::mouseMove(w->block, QPoint(cell.center().x(), cell.top() - 40));
    EXPECT_EQ(QToolTip::text().toStdString(), labmodel::HoverText(*w->block->Block(), 7));
}

TEST(LabWindowViews, SettingsAndGeometryAreRemembered) {
    QTemporaryDir dir;
    const QString file = dir.filePath("lab.ini");
    App();
    {
        LabWindow a(file);
        a.resize(1100, 760);
        a.show();
        a.panel->target->setCurrentText("pr4");
        emit a.panel->target->lineEdit()->editingFinished();
        a.panel->snr->setValue(33);
        a.panel->sweepRange->setText("5:9:0.5");
        emit a.panel->sweepRange->editingFinished();
        a.panel->eyeBlocks->setValue(2000);
        // npml cannot run on the ideal channel: unticked there, the choice
        // kept for a head.
        EXPECT_FALSE(a.panel->Box(detectors::Kind::kNpml)->isChecked());
        EXPECT_TRUE(labmodel::Ticked(a.panel->Settings(), detectors::Kind::kNpml));
        // A head's values: one refused with the command line's line, the
        // others taken.
        a.panel->channel->setCurrentIndex(1); // the first head, Lorentzian
        EXPECT_TRUE(a.panel->Box(detectors::Kind::kNpml)->isChecked() &&
                    a.panel->Box(detectors::Kind::kNpml)->isEnabled());
        for (auto [edit, text] :
             {std::pair{a.panel->Field("density"), "7"}, {a.panel->Field("taps"), "13"}}) {
            edit->setText(text);
            emit edit->editingFinished();
        }
        EXPECT_EQ(a.panel->channelError->text(), "--density: '7' is not between 0.5 and 5");
        EXPECT_EQ(a.panel->Settings().channel.chain.taps, 15);
        a.panel->Field("density")->setText("2.5");
        emit a.panel->Field("density")->editingFinished();
        EXPECT_TRUE(a.panel->channelError->text().isEmpty());
        a.tabs->setCurrentIndex(LabWindow::kEyeTab);
        a.close();
    }
    LabWindow b(file);
    // The first eye, drawn before the window is even shown, is the
    // remembered channel's: on a head the equalizer's output, at the target's
    // levels (PR4's -1 ... 1; the readback's range before the eye showed the
    // equalized eye).
    const engine::EyeSettings eyeSettings = labmodel::EyeOf(b.panel->Settings());
    const double low = engine::RangeOf(eyeSettings.chain, eyeSettings.point).low;
    EXPECT_EQ(low, -1);
    ASSERT_TRUE(Until([&] { return b.eye->Frame() != nullptr; }));
    EXPECT_EQ(b.eye->Frame()->image.geometry.low, low);
    b.show();
    QApplication::processEvents();
    EXPECT_EQ(b.panel->Settings().targetText, "pr4");
    EXPECT_EQ(b.panel->Settings().snrDb, 16.5);
    EXPECT_EQ(b.panel->Settings().sweepRange, "5:9:0.5");
    EXPECT_EQ(b.panel->Settings().channel.chain.head, channel::HeadKind::kLorentz);
    EXPECT_EQ(b.panel->Settings().channel.chain.density, 2.5);
    EXPECT_EQ(b.panel->Settings().channel.chain.taps, 13);
    EXPECT_EQ(b.panel->Field("density")->text(), "2.5");
    EXPECT_EQ(b.tabs->currentIndex(), LabWindow::kEyeTab);
    EXPECT_EQ(b.size(), QSize(1100, 760));
    ASSERT_TRUE(Until([&] { return EyeDone(b); }));
    EXPECT_EQ(b.eye->Frame()->image.geometry.low, low);
    // The equalized eye's two openings between PR4's three levels, a dotted
    // line at each level.
    EXPECT_EQ(b.eye->Frame()->openings.gaps.size(), 2u);
    EXPECT_EQ(b.eye->Frame()->levelLines, (std::vector<float>{-1, 0, 1}));
    EXPECT_EQ(b.eye->Frame()->image.blocks, 2000u);
    b.close();
    // Values a user could not have chosen are left at their defaults.
    {
        QSettings q(file, QSettings::IniFormat);
        q.setValue("target", "1,0");
        q.setValue("snr_db", "loud");
        q.setValue("sweep_range", "9:5:1");
        q.setValue("block_bits", 1e9);
        q.setValue("density", 9);
        q.setValue("taps", 14);
    }
    LabWindow c(file);
    EXPECT_EQ(c.panel->Settings().targetText, "e3pr4");
    EXPECT_EQ(c.panel->Settings().snrDb, labmodel::LabSettings().snrDb);
    EXPECT_EQ(c.panel->Settings().sweepRange, labmodel::LabSettings().sweepRange);
    EXPECT_EQ(c.panel->Settings().blockBits, labmodel::kMaxBlockBits);
    EXPECT_EQ(c.panel->Settings().channel.chain.density,
              labmodel::LabSettings().channel.chain.density);
    EXPECT_EQ(c.panel->Settings().channel.chain.taps, labmodel::LabSettings().channel.chain.taps);
}

TEST(LabWindowViews, TheTimingTabTracksTheBlockWhenTimingIsModelled) {
    QTemporaryDir dir;
    const QString file = dir.filePath("lab.ini");
    App();
    labmodel::LabSettings s = QuickSettings();
    s.blockBits = 600;
    {
        LabWindow w(file);
        w.panel->Load(s);
        emit w.panel->channelChanged();
        w.resize(1024, 700);
        w.show();
        w.WaitForBlocks();
        ShowTab(w, LabWindow::kTimingTab);
        ASSERT_NE(w.timing->Picture(), nullptr);
        EXPECT_FALSE(w.timing->Picture()->modelled);
        EXPECT_EQ(w.timing->ChartView()->chart()->title(), "Timing at its ideal instants");
        // A refused value names the option and changes nothing; taken ones
        // read the block through the clock.
        const struct {
            const char* keyword;
            const char* text;
            const char* error;
        } edits[] = {{"phase", "1.5", "--phase: '1.5' is not between -1 and 1"},
                     {"phase", "0.4", ""},
                     {"freq_offset", "200", ""}};
        for (const auto& e : edits) {
            w.timing->Field(e.keyword)->setText(e.text);
            emit w.timing->Field(e.keyword)->editingFinished();
            EXPECT_EQ(w.timing->error->text().toStdString(), e.error) << e.text;
        }
        ASSERT_TRUE(Until([&] { return w.timing->Picture()->modelled && w.RunningJobs() == 0; }));
        const labmodel::TimingPicture& p = *w.timing->Picture();
        EXPECT_EQ(p.run, w.block->Block()->run);
        EXPECT_EQ(p.bits, 600);
        EXPECT_EQ(p.timing.freqPpm, 200);
        EXPECT_EQ(p.slips, 0);
        // The true and recovered phase and the error, a point a sample, and
        // the line where the block starts.
        const QList<QAbstractSeries*> series = w.timing->ChartView()->chart()->series();
        ASSERT_EQ(series.size(), 4);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(static_cast<QLineSeries*>(series[i])->count(),
                      static_cast<int>(p.truePhase.size()));
        Keep(ViewPicture(w, LabWindow::kTimingTab), "timing");
        // The next block is tracked in turn.
        QTest::keyClick(&w, Qt::Key_Space);
        w.WaitForBlocks();
        ASSERT_TRUE(Until([&] { return w.timing->Picture()->run == 2 && w.RunningJobs() == 0; }));
        w.close();
    }
    // The options given are remembered, the others stay not given.
    LabWindow b(file);
    EXPECT_EQ(labmodel::TimingText(b.timing->Options(), "phase"), "0.4");
    EXPECT_EQ(labmodel::TimingText(b.timing->Options(), "freq_offset"), "200");
    EXPECT_EQ(b.timing->Options().given.size(), 2u);
    EXPECT_EQ(b.timing->Field("phase")->text(), "0.4");
    EXPECT_EQ(b.timing->Names("ted_decisions")->currentIndex(), 0);
}

TEST(LabWindowViews, AStoppedSweepLeavesNoWorkerAndWritesOnlyWholeFiles) {
    labmodel::LabSettings s = QuickSettings();
    s.sweepRange = "10:30:1";
    s.sweepBits = 2'000'000'000;
    s.sweepErrors = 1'000'000'000;
    auto w = MakeWindow({1024, 700}, s);
    w->StartSweep();
    ASSERT_TRUE(w->sweep->Running());
    ASSERT_TRUE(Until([&] { return w->RunningJobs() == 1; }));
    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_FALSE(w->sweep->Running());
    ASSERT_TRUE(Until([&] { return w->RunningJobs() == 0; }));
    EXPECT_TRUE(w->sweep->Points().empty());

    QTemporaryDir dir;
    EXPECT_EQ(w->SaveSweepCsv(dir.filePath("ber.csv")), "");
    EXPECT_EQ(w->SaveView(dir.filePath("chart.png")), "");
    const QString missing = dir.filePath("no/such/folder/x.png");
    EXPECT_EQ(w->SaveView(missing).toStdString(),
              "cannot write " + missing.toStdString() + ": No such file or directory");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"ber.csv", "chart.png"}));
    QFile csv(dir.filePath("ber.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(
        csv.readAll().toStdString(),
        "snr_db,sigma,bits,slicer_errors,slicer_ber,viterbi_errors,viterbi_ber,union_bound\n");
    EXPECT_EQ(QImage(dir.filePath("chart.png")).size(), w->sweep->ChartView()->size());
}

TEST(LabWindowViews, NothingOverlapsFromTheSmallestSizeToTheLargest) {
    for (QSize size : {QSize(1024, 700), QSize(1920, 1080)}) {
        auto w = MakeWindow(size, QuickSettings());
        EXPECT_EQ(w->block->Visible(), 45) << size.width();
        EXPECT_EQ(w->trellis->Visible(), 45) << size.width();
        // The panel's controls lie side by side or one above the other,
        // never over each other, and inside the panel.
        std::vector<QRect> boxes;
        for (QWidget* c : w->panel->findChildren<QWidget*>()) {
            if (!c->isVisible() || c->inherits("QGroupBox") ||
                !c->findChildren<QWidget*>().isEmpty())
                continue;
            const QRect r(c->mapTo(w->panel, QPoint(0, 0)), c->size());
            EXPECT_TRUE(w->panel->rect().contains(r)) << c->metaObject()->className();
            for (const QRect& other : boxes)
                EXPECT_FALSE(r.intersects(other)) << c->metaObject()->className();
            boxes.push_back(r);
        }
        for (int tab = 0; tab < w->tabs->count(); ++tab) {
            ShowTab(*w, tab);
            Keep(w->grab().toImage(),
                 "window-" + std::to_string(size.width()) + "-" + std::to_string(tab));
            QWidget* view = w->tabs->widget(tab);
            EXPECT_GE(w->tabs->currentWidget()->width(), view->minimumWidth()) << tab;
            EXPECT_GE(w->tabs->currentWidget()->height(), view->minimumHeight()) << tab;
        }
    }
}

TEST(LabWindowViews, EveryDetectorAndChannelOptionHasItsControl) {
    // The panel is made from the tables: a box a detector, a field or a list
    // a channel option (the target and the detectors have their own), and a
    // value set in one reaches the settings by the option's own parser.
    auto w = MakeWindow({1024, 700}, QuickSettings());
    for (const detectors::Row& row : detectors::Table()) {
        ASSERT_NE(w->panel->Box(row.kind), nullptr) << row.name;
        EXPECT_EQ(w->panel->Box(row.kind)->text(), QString::fromUtf8(row.label));
    }
    for (const choices::ChannelOption& row : choices::ChannelOptions()) {
        // The timing model's rows and the constraint code have no controls
        // in the panel yet.
        const bool field = choices::InWindow(row) && (row.shape == choices::Shape::kNumber ||
                                                      row.shape == choices::Shape::kCount);
        EXPECT_EQ(w->panel->Field(row.keyword) != nullptr, field) << row.flag;
        EXPECT_EQ(w->panel->Names(row.keyword) != nullptr,
                  choices::InWindow(row) && row.shape == choices::Shape::kName)
            << row.flag;
    }
    const QString none = w->panel->Field("adc_bits")->text();
    w->panel->Field("adc_bits")->setText("6");
    emit w->panel->Field("adc_bits")->editingFinished();
    w->panel->Names("noise_stream")->setCurrentIndex(1);
    EXPECT_EQ(w->panel->Settings().channel.chain.adcBits, 6);
    EXPECT_EQ(w->panel->Settings().channel.chain.noise, engine::ChainSettings::Noise::kLanes);
    w->panel->Field("adc_bits")->setText("3");
    emit w->panel->Field("adc_bits")->editingFinished();
    EXPECT_EQ(w->panel->channelError->text(), "--adc-bits: '3' is out of range (4 ... 10)");
}

} // namespace

TEST(LabWindowViews, TheSectorsTabRunsEachPointAndTracesOneSector) {
    labmodel::LabSettings s = QuickSettings();
    ASSERT_EQ(labmodel::SetTarget(s, "e2pr4"), "");
    s.snrDb = 18;
    labmodel::Tick(s, detectors::Find("maxlog")->kind, true);
    auto w = MakeWindow({1024, 700}, s);
    ShowTab(*w, LabWindow::kSectorsTab);
    const std::size_t points = labmodel::SectorSnrs(s).size();
    ASSERT_EQ(points, 7u);
    ASSERT_TRUE(Until([&] {
        return w->sectors->Picture() != nullptr && w->sectors->Picture()->counts.size() >= 2;
    }));
    const labmodel::SectorPicture& p = *w->sectors->Picture();
    EXPECT_EQ(p.detector, detectors::Find("maxlog")->kind);
    EXPECT_EQ(p.snrDb.front(), 16.5);
    // Above the waterfall every sector decodes; the traced one in one round.
    EXPECT_EQ(p.counts[1].Errors(), 0u);
    EXPECT_EQ(p.counts[1].sectors, labmodel::kSectorSectors);
    ASSERT_EQ(p.trace.wrong.size(), 1u);
    EXPECT_EQ(p.trace.wrong[0].size(), 11u);
    EXPECT_EQ(p.trace.wrong[0].back(), 0);
    EXPECT_TRUE(p.trace.syndromeZero);
    Keep(ViewPicture(*w, LabWindow::kSectorsTab), "sectors");
}

TEST(LabWindowViews, TheSectorsTabTakesTheTargetOneAsSfrDoes) {
    // Typed into the panel: the sectors' target and the line beside it.
    const std::tuple<const char*, std::vector<double>, const char*> cases[] = {
        {"1",
         {1},
         "memory 0: only the Sectors tab runs it (coded runs, as sfr does); the other "
         "tabs keep e3pr4"},
        {"epr4", {1, 1, -1, -1}, ""}};
    labmodel::LabSettings s = QuickSettings();
    s.snrDb = 12;
    auto w = MakeWindow({1024, 700}, s);
    ShowTab(*w, LabWindow::kSectorsTab);
    for (const auto& [text, coefficients, note] : cases) {
        w->panel->target->setCurrentText(text);
        emit w->panel->target->lineEdit()->editingFinished();
        EXPECT_EQ(w->panel->targetError->isHidden() ? "" : w->panel->targetError->text(), note);
        ASSERT_TRUE(Until([&, &c = coefficients] {
            const labmodel::SectorPicture* p = w->sectors->Picture();
            return p != nullptr && p->counts.size() >= 2 &&
                   p->geometry.front().coded.target.Coefficients() == c;
        })) << text;
        // On the target 1 (levels 0 and 1) Eb/N0 = SNR - 10 log10(8 R).
        const engine::SectorGeometry& g = w->sectors->Picture()->geometry[1];
        EXPECT_EQ(g.snrDb, 11);
        EXPECT_EQ(*note == 0 || std::fabs(g.snrDb - 10 * std::log10(8 * g.rate) - g.ebN0Db) < 1e-9,
                  true);
        Keep(ViewPicture(*w, LabWindow::kSectorsTab), std::string("sectors-") + text);
    }
}

TEST(LabWindowViews, TheCodeAndTheClockShowInTheBlockView) {
    // The code's combo (mtr2-6/7 greyed, refused with a converter); the clock's rings.
    auto w = MakeWindow({1024, 700}, QuickSettings());
    QComboBox* code = w->panel->Names("constraint");
    EXPECT_FALSE(static_cast<QStandardItemModel*>(code->model())->item(2)->isEnabled());
    for (const QString adc : {"6", "none"}) {
        w->panel->Field("adc_bits")->setText(adc);
        emit w->panel->Field("adc_bits")->editingFinished();
        code->setCurrentIndex(code->findText("mtr2-4/5"));
        EXPECT_EQ(code->currentText() == "none", adc == "6");
        EXPECT_EQ(w->panel->channelError->text().startsWith("--constraint: a constraint code"),
                  adc == "6");
    }
    w->WaitForBlocks();
    EXPECT_TRUE(w->block->Block()->code == "mtr2-4/5" && w->block->Block()->bits == 50);
    const std::pair<const char*, std::uint64_t> cases[] = {{"", 0x6a278d4eacbc5c30ull},
                                                           {"0.4", 0xbe56067ee975edd7ull}};
    for (const auto& [phase, hash] : cases) {
        ShowTab(*w, LabWindow::kTimingTab);
        w->timing->Field("phase")->setText(phase);
        emit w->timing->Field("phase")->editingFinished();
        w->WaitForBlocks();
        EXPECT_EQ(w->block->Block()->timed, *phase != 0);
        const QImage picture = ViewPicture(*w, LabWindow::kBlockTab);
        EXPECT_EQ(Hash(picture), hash) << phase << ": " << std::hex << Hash(picture);
    }
}
