#include "labwindow/panel.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "channel/head.h"
#include "choices/channel.h"
#include "choices/values.h"

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

// A table's help line as a tooltip: its first letter in capitals.
QString Sentence(const char* line) {
    QString text = QString::fromUtf8(line);
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    return text;
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

    // The channel: a control for every row of the channel option table, in
    // its order: the channel (the target's ideal levels, or a head), the
    // head's values, the target, then the frames' tail, the converter and the
    // sweep's noise generators. The detectors have a group of their own.
    can_ = can;
    QGroupBox* box = Group(tr("Channel"), form);
    channel = nullptr;
    for (const choices::ChannelOption& row : choices::ChannelOptions()) {
        if (!choices::InWindow(row)) continue;
        const QString label = QString::fromUtf8(row.label);
        const QString flag = QString::fromUtf8(row.flag);
        switch (row.shape) {
        case choices::Shape::kName: {
            auto* combo = new QComboBox;
            const bool isChannel = std::string(row.keyword) == "channel";
            if (isChannel) {
                channel = combo;
                combo->addItem(tr("ideal (target levels)"));
                for (const channel::HeadRow& head : channel::Heads())
                    combo->addItem(QString::fromUtf8(head.title));
                if (!can.recordingChannel) {
                    auto* items = static_cast<QStandardItemModel*>(combo->model());
                    for (int i = 1; i < combo->count(); ++i) {
                        items->item(i)->setEnabled(false);
                        items->item(i)->setToolTip(tr(kNeedsRecording));
                    }
                }
                combo->setToolTip(
                    can.recordingChannel
                        ? tr("What produces the samples: the target's ideal levels, or a read "
                             "head (Lorentzian: longitudinal, erf: perpendicular) whose readback "
                             "an equalizer shapes to the target")
                        : tr("What produces the samples: the target's ideal levels (the heads "
                             "%1)")
                              .arg(tr(kNeedsRecording)));
            } else {
                for (const std::string& name : row.names()) {
                    combo->addItem(QString::fromStdString(name));
                    // A name its parser refuses on its own (mtr2-6/7, a code
                    // that does not exist) is shown greyed, with the reason.
                    choices::ChannelChoice trial;
                    if (const std::string why = row.parse(name, false, trial); !why.empty()) {
                        auto* items = static_cast<QStandardItemModel*>(combo->model());
                        items->item(combo->count() - 1)->setEnabled(false);
                        items->item(combo->count() - 1)->setToolTip(QString::fromStdString(why));
                    }
                }
                combo->setToolTip(QString::fromStdString(row.help(false)) + " (" + flag + ")");
            }
            names_[row.keyword] = combo;
            const choices::ChannelOption* o = &row;
            connect(combo, &QComboBox::currentIndexChanged, this,
                    [this, o](int i) { TakeName(*o, i); });
            form->addRow(label, combo);
            break;
        }
        case choices::Shape::kNumber:
        case choices::Shape::kCount: {
            auto* edit = new QLineEdit;
            fields_[row.keyword] = edit;
            connect(edit, &QLineEdit::editingFinished, this, [this] { TakeFields(); });
            form->addRow(label, edit);
            break;
        }
        case choices::Shape::kTargets: {
            channelError = ErrorLine();
            form->addRow(channelError);
            target = new QComboBox;
            target->setEditable(true);
            target->addItems({"pr4", "epr4", "e2pr4", "e3pr4"});
            target->setInsertPolicy(QComboBox::NoInsert);
            target->setToolTip(
                tr("The partial-response target: pr4, epr4, e2pr4, e3pr4 (the window's) or "
                   "its coefficients f0,f1,... (2 to 7 of them, e.g. 1,2,1); Enter applies"));
            form->addRow(label, target);
            targetError = ErrorLine();
            form->addRow(targetError);
            break;
        }
        case choices::Shape::kDetectors:
            break;
        }
    }
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
    // Two boxes a line, in the detector table's order, so that the soft
    // detectors' longer names leave the panel as narrow as before.
    auto* kinds = new QGridLayout;
    for (const detectors::Row& row : detectors::Table()) {
        auto* check = new QCheckBox(QString::fromUtf8(row.label));
        const int i = static_cast<int>(boxes_.size());
        boxes_[row.kind] = check;
        kinds->addWidget(check, i / 2, i % 2);
        const detectors::Kind kind = row.kind;
        connect(check, &QCheckBox::toggled, this, [this, kind](bool on) {
            labmodel::Tick(settings_, kind, on);
            if (!loading_) emit channelChanged();
        });
    }
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
    for (const choices::ChannelOption& row : choices::ChannelOptions()) {
        const std::string text = labmodel::OptionText(s, row.keyword);
        if (QLineEdit* edit = Field(row.keyword)) edit->setText(QString::fromStdString(text));
        if (QComboBox* combo = Names(row.keyword)) {
            const std::vector<std::string> names = row.names();
            const auto at = std::find(names.begin(), names.end(), text);
            combo->setCurrentIndex(at == names.end() ? 0 : static_cast<int>(at - names.begin()));
        }
    }
    target->setCurrentText(QString::fromStdString(s.targetText));
    snr->setValue(SliderOf(s.snrDb));
    seed->setValue(static_cast<int>(s.seed));
    blockBits->setValue(s.blockBits);
    for (const auto& [kind, check] : boxes_) check->setChecked(labmodel::Ticked(s, kind));
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
    ShowError(targetError, labmodel::TargetNote(settings_));
    ShowError(channelError, "");
    ShowError(sweepError, "");
    loading_ = false;
}

QLineEdit* Panel::Field(const std::string& keyword) const {
    const auto at = fields_.find(keyword);
    return at == fields_.end() ? nullptr : at->second;
}

QComboBox* Panel::Names(const std::string& keyword) const {
    const auto at = names_.find(keyword);
    return at == names_.end() ? nullptr : at->second;
}

QCheckBox* Panel::Box(detectors::Kind kind) const {
    const auto at = boxes_.find(kind);
    return at == boxes_.end() ? nullptr : at->second;
}

void Panel::ShowNoise() {
    noise->setText(QString::fromStdString(labmodel::NoiseText(settings_)));
}

void Panel::TakeTarget() {
    const std::string text = target->currentText().trimmed().toStdString();
    if (text == settings_.targetText) {
        ShowError(targetError, labmodel::TargetNote(settings_));
        return;
    }
    const std::string error = labmodel::SetTarget(settings_, text);
    ShowError(targetError, error.empty() ? labmodel::TargetNote(settings_) : error);
    if (!error.empty()) return;
    ShowNoise();
    ShowApplicable();
    emit channelChanged();
}

void Panel::TakeName(const choices::ChannelOption& row, int index) {
    const std::vector<std::string> names = row.names();
    if (index < 0 || index >= static_cast<int>(names.size())) return;
    const std::string error =
        labmodel::SetOption(settings_, row.keyword, names[static_cast<std::size_t>(index)]);
    if (!error.empty()) {
        ShowError(channelError, std::string(row.flag) + ": " + error);
        // The combination refused (a code behind a converter): the box goes
        // back to the value that stays.
        QComboBox* combo = names_[row.keyword];
        const auto at =
            std::find(names.begin(), names.end(), labmodel::OptionText(settings_, row.keyword));
        const QSignalBlocker hold(combo);
        if (at != names.end()) combo->setCurrentIndex(static_cast<int>(at - names.begin()));
        return;
    }
    ShowApplicable();
    ShowNoise();
    if (!loading_) emit channelChanged();
}

void Panel::TakeFields() {
    // Every field through its command-line parser, in the table's order; the
    // first refusal is shown and nothing changes.
    labmodel::LabSettings s = settings_;
    std::string error;
    for (const choices::ChannelOption& row : choices::ChannelOptions()) {
        QLineEdit* edit = Field(row.keyword);
        if (edit == nullptr) continue;
        error = labmodel::SetOption(s, row.keyword, edit->text().trimmed().toStdString());
        if (!error.empty()) {
            // As the command line says it: "--density: '7' is not ...".
            error = std::string(row.flag) + ": " + error;
            break;
        }
    }
    ShowError(channelError, error);
    if (!error.empty()) return;
    bool changed = false;
    for (const choices::ChannelOption& row : choices::ChannelOptions())
        changed = changed || labmodel::OptionText(s, row.keyword) !=
                                 labmodel::OptionText(settings_, row.keyword);
    settings_ = s;
    if (changed) {
        ShowApplicable();
        ShowNoise();
        emit channelChanged();
    }
}

void Panel::ShowApplicable() {
    const bool head = settings_.Head();
    const QString ideal = tr("The ideal channel has none: choose a head");
    for (const choices::ChannelOption& row : choices::ChannelOptions()) {
        QLineEdit* edit = Field(row.keyword);
        if (edit == nullptr) continue;
        const bool applies = head || !row.headOnly;
        edit->setEnabled(applies);
        edit->setToolTip(applies ? QString::fromStdString(row.help(false)) + " (" +
                                       QString::fromUtf8(row.flag) + "); " + tr("Enter applies")
                                 : ideal);
    }
    // The detector table decides what runs: the slicer needs a parity
    // precoder, npml noise an equalizer has coloured, and so on.
    for (const detectors::Row& row : detectors::Table()) {
        QCheckBox* check = Box(row.kind);
        std::string why = labmodel::WhyNot(settings_, row.kind);
        if (row.kind == detectors::Kind::kNpml && !can_.npml) why = kNeedsRecording;
        check->setEnabled(why.empty());
        // A detector that cannot run here is shown unticked, as it is not
        // run; the choice stays in the settings for a channel where it can.
        const QSignalBlocker hold(check);
        check->setChecked(why.empty() && labmodel::Ticked(settings_, row.kind));
        check->setToolTip(why.empty() ? Sentence(row.help) : QString::fromStdString(why));
    }
}

void Panel::TakeSweep() {
    labmodel::LabSettings s = settings_;
    s.sweepRange = sweepRange->text().trimmed().toStdString();
    std::vector<double> dbs;
    std::string error = labmodel::SweepPoints(s, dbs);
    if (error.empty())
        error = choices::ParseCount(sweepBits->text().trimmed().toStdString(), 1, choices::kMaxBits,
                                    s.sweepBits);
    if (error.empty())
        error = choices::ParseCount(sweepErrors->text().trimmed().toStdString(), 1,
                                    choices::kMaxErrors, s.sweepErrors);
    ShowError(sweepError, error);
    if (!error.empty()) return;
    const bool changed = s.sweepRange != settings_.sweepRange ||
                         s.sweepBits != settings_.sweepBits ||
                         s.sweepErrors != settings_.sweepErrors;
    settings_ = s;
    if (changed) emit sweepChanged();
}

} // namespace labwindow
