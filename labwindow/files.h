#pragma once
// What the File menu writes, through the command line's writers: each file
// appears whole or not at all (console::OutputFile), and a failure comes back
// as one line for the message box.
#include <QImage>
#include <QString>
#include <vector>

#include "choices/channel.h"
#include "engine/ber_sweep.h"
#include "engine/error_rate.h"

namespace labwindow {

// An empty string, or "cannot write NAME: WHY".
QString SavePng(const QImage& image, const QString& path);
QString SaveSweepCsv(const choices::ChannelChoice& choice,
                     const std::vector<engine::BerPoint>& points, const QString& path);

} // namespace labwindow
