#include "labwindow/timing_view.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLineSeries>
#include <QSignalBlocker>
#include <QValueAxis>
#include <algorithm>

#include "labwindow/chart_parts.h"

namespace labwindow {
namespace {

// The label without its mnemonic: the panel's letters stay the panel's.
QString Plain(const char* label) {
    return QString::fromUtf8(label).remove('&');
}

const QString kNotGiven = QStringLiteral("(not given)");

} // namespace

TimingView::TimingView(QWidget* parent) : QWidget(parent) {
    auto* box = new QGroupBox(tr("Clock and loop (empty: not given; any one given models the "
                                 "timing)"));
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setVerticalSpacing(4);
    const choices::ChannelChoice defaults;
    int i = 0;
    for (const choices::ChannelOption* row : labmodel::TimingRows()) {
        const int r = i / 3, c = 2 * (i % 3);
        ++i;
        const QString tip =
            QString::fromStdString(row->help(false)) + " (" + QString::fromUtf8(row->flag) + ")";
        QWidget* control = nullptr;
        if (row->shape == choices::Shape::kName) {
            auto* combo = new QComboBox;
            combo->addItem(kNotGiven);
            for (const std::string& name : row->names())
                combo->addItem(QString::fromStdString(name));
            connect(combo, &QComboBox::currentIndexChanged, this, [this] { Take(); });
            names_[row->keyword] = combo;
            control = combo;
        } else {
            auto* edit = new QLineEdit;
            edit->setPlaceholderText(QString::fromStdString(row->show(defaults)));
            connect(edit, &QLineEdit::editingFinished, this, [this] { Take(); });
            fields_[row->keyword] = edit;
            control = edit;
        }
        control->setToolTip(tip);
        auto* label = new QLabel(Plain(row->label));
        label->setToolTip(tip);
        label->setBuddy(control);
        grid->addWidget(label, r, c);
        grid->addWidget(control, r, c + 1);
    }
    for (int c = 1; c < 6; c += 2) grid->setColumnStretch(c, 1);
    error = new QLabel;
    error->setWordWrap(true);
    error->setStyleSheet(QStringLiteral("color: #b00000"));
    error->hide();
    status_ = new QLabel;
    status_->setWordWrap(true);
    chart_ = new QChartView(NewChart(tr("Sampling phase along the block")));
    chart_->setRenderHint(QPainter::Antialiasing, true);
    chart_->setMinimumSize(240, 200);
    auto* layout = new QGridLayout(this);
    layout->addWidget(box, 0, 0);
    layout->addWidget(error, 1, 0);
    layout->addWidget(status_, 2, 0);
    layout->addWidget(chart_, 3, 0);
    layout->setRowStretch(3, 1);
    SetPicture(std::make_shared<const labmodel::TimingPicture>());
}

QLineEdit* TimingView::Field(const std::string& keyword) const {
    const auto it = fields_.find(keyword);
    return it == fields_.end() ? nullptr : it->second;
}

QComboBox* TimingView::Names(const std::string& keyword) const {
    const auto it = names_.find(keyword);
    return it == names_.end() ? nullptr : it->second;
}

void TimingView::Load(const labmodel::TimingOptions& options) {
    loading_ = true;
    options_ = options;
    for (const choices::ChannelOption* row : labmodel::TimingRows()) {
        const QString text = QString::fromStdString(labmodel::TimingText(options, row->keyword));
        if (QLineEdit* edit = Field(row->keyword)) edit->setText(text);
        if (QComboBox* combo = Names(row->keyword)) {
            const QSignalBlocker quiet(combo);
            combo->setCurrentIndex(std::max(0, combo->findText(text.isEmpty() ? kNotGiven : text)));
        }
    }
    error->hide();
    loading_ = false;
}

void TimingView::Take() {
    if (loading_) return;
    // Every control through its command-line parser, in the table's order;
    // the first refusal is shown and nothing changes.
    labmodel::TimingOptions options;
    std::string refused;
    for (const choices::ChannelOption* row : labmodel::TimingRows()) {
        std::string text;
        if (QLineEdit* edit = Field(row->keyword)) text = edit->text().trimmed().toStdString();
        if (QComboBox* combo = Names(row->keyword))
            text = combo->currentIndex() > 0 ? combo->currentText().toStdString() : "";
        if (std::string why = labmodel::SetTiming(options, row->keyword, text); !why.empty()) {
            refused = std::string(row->flag) + ": " + why;
            break;
        }
    }
    error->setText(QString::fromStdString(refused));
    error->setVisible(!refused.empty());
    if (!refused.empty() || options.given == options_.given) return;
    options_ = options;
    emit optionsChanged();
}

void TimingView::SetMessage(const QString& message) {
    status_->setText(message);
}

void TimingView::SetPicture(std::shared_ptr<const labmodel::TimingPicture> picture) {
    picture_ = std::move(picture);
    const labmodel::TimingPicture& p = *picture_;
    status_->setText(QString::fromStdString(labmodel::TimingLine(p)));
    QChart* chart = NewChart(p.modelled ? tr("Sampling phase along block %1").arg(p.run)
                                        : tr("Timing at its ideal instants"));
    auto* x = new QValueAxis;
    auto* y = new QValueAxis;
    AddAxisTo(chart, x,
              p.modelled ? tr("sample (bit periods from the preamble's start)")
                         : tr("sample of the block"),
              Qt::AlignBottom);
    AddAxisTo(chart, y, tr("phase (bit periods)"), Qt::AlignLeft);
    x->setLabelFormat("%d");
    y->setLabelFormat("%.2f");
    if (!p.modelled) {
        x->setRange(0, std::max(1, p.bits));
        y->setRange(-0.5, 0.5);
        QLineSeries* zero = AddLine(chart, tr("every sample at its instant (error 0)"),
                                    QColor(32, 144, 64), Qt::SolidLine, x, y);
        zero->append(0, 0);
        zero->append(std::max(1, p.bits), 0);
    } else {
        const int n = static_cast<int>(p.truePhase.size());
        QLineSeries* truth =
            AddLine(chart, tr("true phase"), QColor(31, 95, 208), Qt::SolidLine, x, y);
        QLineSeries* recovered =
            AddLine(chart, tr("recovered phase"), QColor(208, 32, 32), Qt::SolidLine, x, y);
        QLineSeries* error =
            AddLine(chart, tr("timing error"), QColor(32, 144, 64), Qt::SolidLine, x, y);
        double lo = 0, hi = 0;
        QList<QPointF> t, r, e;
        for (int j = 0; j < n; ++j) {
            const double a = p.truePhase[static_cast<std::size_t>(j)];
            const double b = p.recovered[static_cast<std::size_t>(j)];
            t.append(QPointF(j, a));
            r.append(QPointF(j, b));
            e.append(QPointF(j, a - b));
            lo = std::min({lo, a, b, a - b});
            hi = std::max({hi, a, b, a - b});
        }
        truth->replace(t);
        recovered->replace(r);
        error->replace(e);
        const double pad = 0.05 * std::max(hi - lo, 0.1);
        x->setRange(0, std::max(1, n - 1));
        y->setRange(lo - pad, hi + pad);
        // Where the block's bits begin, after the preamble and the guard.
        QLineSeries* data =
            AddLine(chart, tr("the block's first sample"), QColor(96, 96, 96), Qt::DashLine, x, y);
        data->append(p.dataStart, lo - pad);
        data->append(p.dataStart, hi + pad);
    }
    QChart* old = chart_->chart();
    chart_->setChart(chart);
    delete old;
}

} // namespace labwindow
