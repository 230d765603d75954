#pragma once
// The side panel: every control of the lab window, each reachable from the
// keyboard (its label's underlined letter with Alt, or Tab) and with a
// tooltip. It edits one LabSettings and says which part changed. The
// channel's controls are made from the channel option table and the
// detector table, one control a row.
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QWidget>
#include <map>
#include <string>

#include "labwindow/model/settings.h"

namespace labwindow {

class Panel : public QWidget {
    Q_OBJECT
  public:
    explicit Panel(const labmodel::Capabilities& can, QWidget* parent = nullptr);

    // Shows `settings` in the controls (their signals stay quiet).
    void Load(const labmodel::LabSettings& settings);
    const labmodel::LabSettings& Settings() const { return settings_; }

    // The controls, for the window's shortcuts and for the tests.
    QComboBox* channel;
    // A channel option's line edit (a number, written as on the command line
    // and read by its parser; Enter applies, a refused one is named in
    // channelError), or its combo box (a name), by its Python keyword:
    // "density", "adc_bits", "noise_stream".
    QLineEdit* Field(const std::string& keyword) const;
    QComboBox* Names(const std::string& keyword) const;
    QLabel* channelError;
    QComboBox* target;
    QLabel* targetError;
    QSlider* snr;
    QLabel* noise;
    QSpinBox* seed;
    QSpinBox* blockBits;
    QPushButton* next;
    QPushButton* renoise;
    // A detector's box.
    QCheckBox* Box(detectors::Kind kind) const;
    QSpinBox* eyeBlocks;
    QSpinBox* eyeUis;
    QLineEdit* sweepRange;
    QLineEdit* sweepBits;
    QLineEdit* sweepErrors;
    QLabel* sweepError;

  signals:
    void noiseChanged();   // the SNR
    void channelChanged(); // channel, target, seed, detectors: every view
    void blocksChanged();  // the block length
    void eyeChanged();
    void sweepChanged();
    void nextBlock();
    void newNoise();

  private:
    void TakeTarget();
    void TakeFields();
    void TakeName(const choices::ChannelOption& row, int index);
    // Which controls apply to the channel and target chosen.
    void ShowApplicable();
    void TakeSweep();
    void ShowNoise();

    labmodel::LabSettings settings_;
    labmodel::Capabilities can_;
    bool loading_ = false;
    std::map<std::string, QLineEdit*> fields_; // by keyword, the table's order
    std::map<std::string, QComboBox*> names_;
    std::map<detectors::Kind, QCheckBox*> boxes_;
};

} // namespace labwindow
