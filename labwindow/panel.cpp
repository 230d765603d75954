#include "labwindow/panel.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <cmath>

#include "lab/options.h"

namespace labwindow {
namespace {

const char* const kNeedsRecording = "needs the recording channel";

int SliderOf(double db) {
    return static_cast<int>(std::lround((db - labmodel::kMinSnrDb) / labmodel::kSnrStepDb));
}

QGroupBox* Group(const QString& title, QFormLayout*& form) {
    auto* box = new QGroupBox(title);
    form = new QFormLayout(box);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setContentsMargins(6, 4, 6, 4);
    form->setVerticalSpacing(4);
    return box;
}

QLabel* ErrorLine() {
    auto* label = new QLabel;
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #b00000"));
    label->hide();
    return label;
}

void ShowError(QLabel* label, const std::string& error) {
    label->setText(QString::fromStdString(error));
    label->setVisible(!error.empty());
}

} // namespace

Panel::Panel(const labmodel::Capabilities& can, QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(6);
    QFormLayout* form = nullptr;

    // The channel: the target's ideal levels, or a head with its density,
    // jitter, equalizer and npml's predictor.
    can_ = can;
    QGroupBox* box = Group(tr("Channel"), form);
    channel = new QComboBox;
    channel->addItem(tr("ideal (target levels)"));
    channel->addItem(tr("Lorentzian head"));
    channel->addItem(tr("erf head"));
    if (!can.recordingChannel) {
        auto* items = static_cast<QStandardItemModel*>(channel->model());
        for (int i = 1; i < 3; ++i) {
            items->item(i)->setEnabled(false);
            items->item(i)->setToolTip(tr(kNeedsRecording));
        }
    }
    channel->setToolTip(
        can.recordingChannel
            ? tr("What produces the samples: the target's ideal levels, or a read head "
                 "(Lorentzian: longitudinal, erf: perpendicular) whose readback an equalizer "
                 "shapes to the target")
            : tr("What produces the samples: the target's ideal levels (the heads "
                 "%1)")
                  .arg(tr(kNeedsRecording)));
    form->addRow(tr("Cha&nnel"), channel);
    density = new QLineEdit;
    jitter = new QLineEdit;
    taps = new QLineEdit;
    predictor = new QLineEdit;
    form->addRow(tr("&Density"), density);
    form->addRow(tr("&Jitter"), jitter);
    form->addRow(tr("E&qualizer taps"), taps);
    form->addRow(tr("Predi&ctor taps"), predictor);
    channelError = ErrorLine();
    form->addRow(channelError);
    target = new QComboBox;
    target->setEditable(true);
    target->addItems({"pr4", "epr4", "e2pr4", "e3pr4"});
    target->setInsertPolicy(QComboBox::NoInsert);
    target->setToolTip(
        tr("The partial-response target: pr4, epr4, e2pr4, e3pr4 (the window's) or "
           "its coefficients f0,f1,... (2 to 7 of them, e.g. 1,2,1); Enter applies"));
    form->addRow(tr("&Target"), target);
    targetError = ErrorLine();
    form->addRow(targetError);
    layout->addWidget(box);

    box = Group(tr("Noise and blocks"), form);
    snr = new QSlider(Qt::Horizontal);
    snr->setRange(0, SliderOf(labmodel::kMaxSnrDb));
    snr->setSingleStep(1);
    snr->setPageStep(4);
    snr->setToolTip(tr("Signal-to-noise ratio 10 log10(E / sigma\u00B2), E the target's energy "
                       "on the ideal channel and the head's bit energy E_i on a head; arrows "
                       "move it by 0.5 dB, Page Up and Page Down by 2 dB"));
    form->addRow(tr("&SNR"), snr);
    noise = new QLabel;
    noise->setToolTip(tr("The SNR and the noise deviation sigma it gives, in level units"));
    form->addRow(noise);
    seed = new QSpinBox;
    seed->setRange(0, 2147483647);
    seed->setToolTip(tr("Seed of the noise (the blocks are always the window's own sequence), of "
                        "the eye's data and of the sweep"));
    form->addRow(tr("S&eed"), seed);
    blockBits = new QSpinBox;
    blockBits->setRange(labmodel::kMinBlockBits, labmodel::kMaxBlockBits);
    blockBits->setSingleStep(8);
    blockBits->setToolTip(tr("Bits per block: 40 gives the window's own blocks in the window's "
                             "order; longer blocks take more draws of the same generator"));
    form->addRow(tr("&Block length"), blockBits);
    next = new QPushButton(tr("Next block"));
    next->setToolTip(tr("The next block of the window's sequence (Space)"));
    renoise = new QPushButton(tr("New noise"));
    renoise->setToolTip(tr("The same block with fresh noise (N)"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(next);
    buttons->addWidget(renoise);
    form->addRow(buttons);
    layout->addWidget(box);

    box = Group(tr("Detectors"), form);
    slicer = new QCheckBox(tr("S&licer"));
    viterbi = new QCheckBox(tr("&Viterbi"));
    viterbi->setToolTip(tr("Maximum-likelihood sequence detection over the target's trellis"));
    npml = new QCheckBox(tr("NP&ML"));
    auto* kinds = new QHBoxLayout;
    kinds->addWidget(slicer);
    kinds->addWidget(viterbi);
    kinds->addWidget(npml);
    form->addRow(kinds);
    layout->addWidget(box);

    box = Group(tr("Eye"), form);
    eyeBlocks = new QSpinBox;
    eyeBlocks->setRange(1000, static_cast<int>(labmodel::kMaxEyeBlocks));
    eyeBlocks->setSingleStep(10000);
    eyeBlocks->setToolTip(tr("Random 40-bit blocks laid over each other"));
    eyeUis = new QSpinBox;
    eyeUis->setRange(1, engine::kMaxEyeUis);
    eyeUis->setToolTip(tr("Bit periods across the eye"));
    form->addRow(tr("Bloc&ks"), eyeBlocks);
    form->addRow(tr("Bit &periods"), eyeUis);
    layout->addWidget(box);

    box = Group(tr("Error-rate sweep"), form);
    sweepRange = new QLineEdit;
    sweepRange->setToolTip(tr("SNR points in dB as FROM:TO:STEP, e.g. 12:30:1; Enter applies"));
    sweepBits = new QLineEdit;
    sweepBits->setToolTip(tr("Bits per point at most (e.g. 1e7), rounded up to whole frames"));
    sweepErrors = new QLineEdit;
    sweepErrors->setToolTip(tr("A point ends once every detector has this many errors"));
    form->addRow(tr("&Range (dB)"), sweepRange);
    form->addRow(tr("B&its per point"), sweepBits);
    form->addRow(tr("Err&ors per point"), sweepErrors);
    sweepError = ErrorLine();
    form->addRow(sweepError);
    layout->addWidget(box);
    layout->addStretch(1);

    // Changes: each control writes its field and says what it affects.
    connect(snr, &QSlider::valueChanged, this, [this](int v) {
        settings_.snrDb = labmodel::kMinSnrDb + v * labmodel::kSnrStepDb;
        ShowNoise();
        if (!loading_) emit noiseChanged();
    });
    connect(seed, &QSpinBox::valueChanged, this, [this](int v) {
        settings_.seed = static_cast<std::uint64_t>(v);
        if (!loading_) emit channelChanged();
    });
    connect(blockBits, &QSpinBox::valueChanged, this, [this](int v) {
        settings_.blockBits = v;
        if (!loading_) emit blocksChanged();
    });
    auto detector = [this](QCheckBox* box_, bool labmodel::LabSettings::*field) {
        connect(box_, &QCheckBox::toggled, this, [this, field](bool on) {
            settings_.*field = on;
            if (!loading_) emit channelChanged();
        });
    };
    detector(slicer, &labmodel::LabSettings::slicer);
    detector(viterbi, &labmodel::LabSettings::viterbi);
    detector(npml, &labmodel::LabSettings::npml);
    connect(channel, &QComboBox::currentIndexChanged, this, [this](int i) {
        settings_.channel = static_cast<labmodel::ChannelKind>(i);
        ShowApplicable();
        ShowNoise();
        if (!loading_) emit channelChanged();
    });
    for (QLineEdit* edit : {density, jitter, taps, predictor})
        connect(edit, &QLineEdit::editingFinished, this, [this] { TakeHead(); });
    connect(target, &QComboBox::activated, this, [this] { TakeTarget(); });
    connect(target->lineEdit(), &QLineEdit::editingFinished, this, [this] { TakeTarget(); });
    connect(eyeBlocks, &QSpinBox::valueChanged, this, [this](int v) {
        settings_.eyeBlocks = static_cast<std::uint64_t>(v);
        if (!loading_) emit eyeChanged();
    });
    connect(eyeUis, &QSpinBox::valueChanged, this, [this](int v) {
        settings_.eyeUis = v;
        if (!loading_) emit eyeChanged();
    });
    for (QLineEdit* edit : {sweepRange, sweepBits, sweepErrors})
        connect(edit, &QLineEdit::editingFinished, this, [this] { TakeSweep(); });
    connect(next, &QPushButton::clicked, this, &Panel::nextBlock);
    connect(renoise, &QPushButton::clicked, this, &Panel::newNoise);
}

void Panel::Load(const labmodel::LabSettings& s) {
    loading_ = true;
    settings_ = s;
    channel->setCurrentIndex(static_cast<int>(s.channel));
    density->setText(QString::number(s.density, 'g', 6));
    jitter->setText(QString::number(s.jitter, 'g', 6));
    taps->setText(QString::number(s.taps));
    predictor->setText(QString::number(s.predictor));
    target->setCurrentText(QString::fromStdString(s.targetText));
    snr->setValue(SliderOf(s.snrDb));
    seed->setValue(static_cast<int>(s.seed));
    blockBits->setValue(s.blockBits);
    slicer->setChecked(s.slicer);
    viterbi->setChecked(s.viterbi);
    npml->setChecked(s.npml);
    eyeBlocks->setValue(static_cast<int>(s.eyeBlocks));
    eyeUis->setValue(s.eyeUis);
    sweepRange->setText(QString::fromStdString(s.sweepRange));
    sweepBits->setText(QString::number(s.sweepBits));
    sweepErrors->setText(QString::number(s.sweepErrors));
    // The slider holds whole steps: the settings take the step shown.
    settings_ = s;
    settings_.snrDb = labmodel::kMinSnrDb + snr->value() * labmodel::kSnrStepDb;
    ShowNoise();
    ShowApplicable();
    ShowError(targetError, "");
    ShowError(channelError, "");
    ShowError(sweepError, "");
    loading_ = false;
}

void Panel::ShowNoise() {
    noise->setText(QString::fromStdString(labmodel::NoiseText(settings_)));
}

void Panel::TakeTarget() {
    const std::string text = target->currentText().trimmed().toStdString();
    if (text == settings_.targetText) {
        ShowError(targetError, "");
        return;
    }
    const std::string error = labmodel::SetTarget(settings_, text);
    ShowError(targetError, error);
    if (!error.empty()) return;
    ShowNoise();
    ShowApplicable();
    emit channelChanged();
}

void Panel::TakeHead() {
    // Every field through its command-line parser, in the panel's order; the
    // first refusal is shown and nothing changes.
    labmodel::LabSettings s = settings_;
    std::string error;
    struct Field {
        QLineEdit* edit;
        const char* option;
        std::string (*set)(labmodel::LabSettings&, const std::string&);
    };
    const Field fields[] = {{density, "--density", labmodel::SetDensity},
                            {jitter, "--jitter", labmodel::SetJitter},
                            {taps, "--taps", labmodel::SetTaps},
                            {predictor, "--predictor", labmodel::SetPredictor}};
    for (const Field& f : fields) {
        error = f.set(s, f.edit->text().trimmed().toStdString());
        if (!error.empty()) {
            // As the command line says it: "--density: '7' is not ...".
            error = std::string(f.option) + ": " + error;
            break;
        }
    }
    ShowError(channelError, error);
    if (!error.empty()) return;
    const bool changed = s.density != settings_.density || s.jitter != settings_.jitter ||
                         s.taps != settings_.taps || s.predictor != settings_.predictor;
    settings_ = s;
    if (changed) {
        ShowNoise();
        emit channelChanged();
    }
}

void Panel::ShowApplicable() {
    const bool head = settings_.channel != labmodel::ChannelKind::kIdeal;
    for (QLineEdit* edit : {density, jitter, taps, predictor}) edit->setEnabled(head);
    const QString ideal = tr("The ideal channel has none: choose a head");
    density->setToolTip(head ? tr("The head's user density PW50 / T, 0.5 ... 5 (--density); "
                                  "Enter applies")
                             : ideal);
    jitter->setToolTip(head ? tr("Deviation of each transition's position in bit periods, "
                                 "0 ... 0.3 (--jitter); Enter applies")
                            : ideal);
    taps->setToolTip(head ? tr("Taps of the MMSE equalizer to the target, odd (--taps); Enter "
                               "applies")
                          : ideal);
    predictor->setToolTip(head ? tr("Taps of npml's whitening predictor, 1 ... 4 (--predictor); "
                                    "Enter applies")
                               : ideal);
    // The detector registry decides what runs: the slicer needs a parity
    // precoder, npml noise an equalizer has coloured.
    const channel::Target& t = settings_.target;
    const std::string noSlicer = detectors::WhyNot(detectors::Kind::kSlicer, t, head);
    slicer->setEnabled(noSlicer.empty());
    slicer->setToolTip(noSlicer.empty()
                           ? tr("Symbol by symbol: the nearest level, its parity the bit")
                           : QString::fromStdString(noSlicer));
    const std::string noNpml = can_.npml ? detectors::WhyNot(detectors::Kind::kNpml, t, head)
                                         : std::string(kNeedsRecording);
    npml->setEnabled(noNpml.empty());
    // A detector that cannot run here is shown unticked, as it is not run;
    // the choice stays in the settings for a channel where it can.
    const QSignalBlocker holdSlicer(slicer), holdNpml(npml);
    slicer->setChecked(noSlicer.empty() && settings_.slicer);
    npml->setChecked(noNpml.empty() && settings_.npml);
    npml->setToolTip(noNpml.empty() ? tr("The noise-predictive detector: Viterbi with a "
                                         "whitening predictor along each survivor")
                                    : QString::fromStdString(noNpml));
}

void Panel::TakeSweep() {
    labmodel::LabSettings s = settings_;
    s.sweepRange = sweepRange->text().trimmed().toStdString();
    std::vector<double> dbs;
    std::string error = labmodel::SweepPoints(s, dbs);
    if (error.empty())
        error = lab::ParseCount(sweepBits->text().trimmed().toStdString(), 1, lab::kMaxBits,
                                s.sweepBits);
    if (error.empty())
        error = lab::ParseCount(sweepErrors->text().trimmed().toStdString(), 1, lab::kMaxErrors,
                                s.sweepErrors);
    ShowError(sweepError, error);
    if (!error.empty()) return;
    const bool changed = s.sweepRange != settings_.sweepRange ||
                         s.sweepBits != settings_.sweepBits ||
                         s.sweepErrors != settings_.sweepErrors;
    settings_ = s;
    if (changed) emit sweepChanged();
}

} // namespace labwindow
