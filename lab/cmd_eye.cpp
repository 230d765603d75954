// `quorvane-lab eye`: the density eye diagram of a target's waveform
// through band-limited noise, as a PNG.
#include "channel/bounds.h"
#include "choices/texts.h"
#include "console/output_file.h"
#include "console/progress.h"
#include "engine/eye_diagram.h"
#include "engine/eye_recovered.h"
#include "engine/eye_shading.h"
#include "lab/channel_cli.h"
#include "lab/commands.h"
#include "lab/interrupt.h"
#include "platform/picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace lab {

using choices::Number;
namespace {

constexpr int kLeft = engine::EyeMargins::left;
constexpr int kTop = engine::EyeMargins::top;
constexpr int kTextPixels = 12;
constexpr int kTick = 5;
constexpr platform::Colour kBackground = 0xFFFFFF;
constexpr platform::Colour kInk = 0x202020;
constexpr platform::Colour kLevelLine = 0x909090;

// One eye's picture. `chain`: the eye's channel; `instants`: a second line
// under the title (the timing's two eyes), or none.
platform::IndexedPicture EyePicture(const engine::EyeImage& eye, const EyeOptions& options,
                                    const engine::ChainSettings& chain, double sigma,
                                    const std::string& what, const std::string& instants,
                                    bool recovered = false) {
    using engine::EyeMargins;
    const engine::EyeGeometry& g = eye.geometry;
    platform::IndexedPicture p;
    p.width = options.width;
    p.height = options.height;
    p.background = kBackground;
    p.ink = kInk;
    p.textPixels = kTextPixels;
    p.rasterX = kLeft;
    p.rasterY = kTop;
    p.rasterWidth = g.width;
    p.rasterHeight = g.height;
    p.palette = engine::EyePalette();
    const engine::EyeScale scale = engine::ScaleOf(eye);
    p.indices = engine::ShadeEye(eye, scale);

    const int bottom = kTop + g.height - 1; // picture y of raster row 0
    auto add = [&p](int x, int y, std::string text, platform::TextAnchor anchor,
                    bool bold = false) {
        p.texts.push_back({x, y, std::move(text), anchor, bold});
    };

    // Levels: a tick at every whole one in the target's range, labels as
    // often as they fit.
    const int every = g.levelStep >= 14 ? 1 : g.levelStep >= 7 ? 2 : g.levelStep >= 5 ? 3 : 6;
    for (int level = static_cast<int>(std::ceil(g.low)); level <= g.high; ++level) {
        const int y = bottom - g.LevelRow(level);
        p.lines.push_back({kLeft - kTick, y, kLeft - 1, y, kInk});
        if (level % every == 0)
            add(kLeft - kTick - 3, y, std::to_string(level), platform::TextAnchor::Right);
    }
    add(kLeft - kTick - 3, kTop - 12, "level", platform::TextAnchor::Right);

    // Time: ticks every half bit period, labels every 0.5, 1, 2, ... bit
    // periods, whichever is the first to leave room for the text.
    const int half = 5 * g.uis;
    const int halfPixels = 5 * g.pointStep;
    int labelHalves = 1;
    while (labelHalves * halfPixels < 36 && labelHalves < 4 * engine::kMaxEyeUis) labelHalves *= 2;
    for (int h = -g.uis; h <= g.uis; ++h) {
        const int x = kLeft + g.PointColumn(half + 5 * h);
        p.lines.push_back({x, bottom + 1, x, bottom + kTick, kInk});
        if (h % labelHalves == 0)
            add(x, bottom + 14, Number("%g", h / 2.0), platform::TextAnchor::Centre);
    }
    add(kLeft + g.width / 2, bottom + 33, "time from the sampling instant (bit periods)",
        platform::TextAnchor::Centre);

    // The colour scale: a bar from 0 hits at the bottom to its full scale at
    // the top, labelled at round counts.
    const int barX = kLeft + g.width + 12;
    constexpr int kBarWidth = 12;
    for (int r = 0; r < g.height; ++r) {
        const int index = g.height > 1 ? 1 + (254 * r + (g.height - 1) / 2) / (g.height - 1) : 255;
        p.lines.push_back({barX, bottom - r, barX + kBarWidth - 1, bottom - r, p.palette[index]});
    }
    add(barX, kTop - 12, "hits", platform::TextAnchor::Left);
    int lastLabel = bottom + 100;
    for (std::uint32_t hits : engine::ScaleTicks(scale)) {
        const int y =
            bottom - static_cast<int>(std::lround(double(hits) / scale.full * (g.height - 1)));
        if (lastLabel - y < 16) continue;
        lastLabel = y;
        p.lines.push_back({barX + kBarWidth, y, barX + kBarWidth + 3, y, kInk});
        add(barX + kBarWidth + 6, y, std::to_string(hits), platform::TextAnchor::Left);
    }

    const engine::EyePoint point = options.settings.point;
    // An equalized head's eye: a dotted line at each of the target's levels
    // across the eye, what its traces pass near at the sampling instants (on
    // the ideal channel the picture is the readback's).
    if (engine::EqualizedEye(chain, point)) {
        std::vector<float> levels = chain.target.Levels();
        levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
        for (float level : levels) {
            const int row = g.ValueRow(level);
            if (row < 0 || row >= g.height) continue;
            for (int x = 0; x < g.width; x += 6)
                p.lines.push_back({kLeft + x, bottom - row, kLeft + std::min(x + 1, g.width - 1),
                                   bottom - row, kLevelLine});
        }
    }
    // The openings at the sampling instant: an I-beam beside it between each
    // one's closed rows, the smallest in white and its height in the title.
    // A head's readback has no few levels to open between: none there.
    const engine::EyeOpenings openings = engine::EyeAtLevels(chain, point)
                                             ? engine::OpeningsOf(eye, chain.target)
                                             : engine::EyeOpenings{};
    for (std::size_t i = 0; i < openings.gaps.size(); ++i) {
        const engine::EyeOpening& o = openings.gaps[i];
        if (o.height == 0) continue;
        const platform::Colour c = static_cast<int>(i) == openings.smallest ? 0xFFFFFF : 0xB0B0B0;
        const int x = kLeft + openings.column + 3; // beside the instant's own column
        for (int row : {o.bottomRow, o.topRow})
            p.lines.push_back({x - 2, bottom - row, x + 2, bottom - row, c});
        p.lines.push_back({x, bottom - o.topRow, x, bottom - o.bottomRow, c});
    }
    // The recovered eye shares its channel and noise with the eye beside it.
    std::string title =
        recovered ? "Eye at the recovered instants, " + std::to_string(eye.blocks) + " " + what
                  : "Eye, " + choices::EyeSubject(chain, point) + ", " +
                        std::to_string(eye.blocks) + " " + what;
    // Beside the recovered eye the noise goes to the second line.
    std::string second = instants;
    if (recovered || instants.empty())
        title += recovered ? "" : ", " + choices::NoiseText(chain, sigma);
    else
        second = choices::NoiseText(chain, sigma) + ", " + instants;
    if (openings.smallest >= 0)
        title += ", eye height " + Number("%.2f", openings.gaps[openings.smallest].height);
    add(options.width / 2, 12, title, platform::TextAnchor::Centre, true);
    if (!second.empty()) add(options.width / 2, 26, second, platform::TextAnchor::Centre);
    return p;
}

// What the timing options model, in a few words: "phase 0.4, 200 ppm".
std::string ClockText(const channel::TimingSettings& t) {
    std::string text = "phase " + Number("%g", t.phase) + ", " + Number("%g", t.freqPpm) + " ppm";
    if (t.walk > 0) text += ", walk " + Number("%g", t.walk);
    return text + ", loop " + Number("%g", t.bandwidth);
}

} // namespace

CLI::App* AddEyeCommand(CLI::App& app, EyeOptions& options) {
    CLI::App* cmd = app.add_subcommand("eye", "a density eye diagram of the readback waveform");
    cmd->footer(
        "Draws the eye diagram of the target's readback waveform as a PNG (on E3PR4 the\n"
        "window's): random 40-bit blocks, coded and turned into the sinc-interpolated\n"
        "waveform as the window does (10 points per bit period), plus band-limited noise: one "
        "Gaussian sample n_k of deviation sigma per\n"
        "bit period, interpolated as sum n_k sinc(pi (t - k)), so at each sampling instant\n"
        "the noise is n_k alone and with --sigma 0 the picture is the noise-free\n"
        "waveform, touching only the level rows at the sampling instants. Each block is\n"
        "cut into windows of --uis bit periods centred on sampling instants, one after\n"
        "another; only samples nu to 39 are used (nu the target's memory, 5 on E3PR4),\n"
        "where every sample is a sum over the block's own bits (the first nu still see\n"
        "the all-zero start, after bit 39 come only zeros). The colour of a pixel is the\n"
        "number of traces through it, black for none, then on a linear scale from dark\n"
        "violet through teal to yellow at the 99th percentile of the pixels hit (the\n"
        "level clusters at the sampling instants, above it, saturate); the counts are\n"
        "exact. Brackets at the middle sampling instant mark the eye's openings between\n"
        "neighbouring levels (rows crossed by fewer than one in a thousand traces per\n"
        "level of height); the title gives the smallest height, in levels (on the ideal\n"
        "channel: a head's readback has no few levels to open between). Traces beyond\n"
        "the picture leave it at the top or bottom. Ctrl-C stops and writes the picture\n"
        "of the blocks finished so far, exiting with 130. See quorvane-lab --help for the\n"
        "model.\n"
        "\n"
        "--point equalized: on a head the eye of the equalizer's output, the equalizer\n"
        "designed for the noise as ber designs it at a point: at offset tau from each\n"
        "sampling instant the FIR applied to the readback (jitter and noise as above) at\n"
        "k + tau, so at the instants the traces are what the detectors see. It is drawn\n"
        "at the target's levels, a dotted line at each, with the openings marked and the\n"
        "smallest in the title. On the ideal channel there is no equalizer: the eye is\n"
        "the target's sinc-interpolated waveform itself, the readback's very picture.\n"
        "\n"
        "With any timing option (--phase, --freq-offset, --phase-walk, --preamble, --loop-*,\n"
        "--ted-*) the picture holds two eyes side by side, each of --size: on the left the\n"
        "one above, every sample at its instant; on the right the eye at the recovered\n"
        "instants: frames of 4096 bits read through the clock and the timing loop as ber\n"
        "reads them (a preamble before each, see quorvane-lab --help), as many windows as\n"
        "the left eye's, each centred on a data sample's instant as the loop recovered it\n"
        "(at the same --point: the readback there moved by tau, or the equalizer's output\n"
        "had the clock read every sample tau later), so at tau = 0 the traces are the\n"
        "samples the loop read or the detectors' input. Its second title line gives the\n"
        "RMS timing error over the data of the frames that did not slip, and the slips.");
    engine::EyeSettings& s = options.settings;
    s.threads = choices::DefaultThreads();
    AddCount(*cmd, "--runs", s.blocks, 1, choices::kMaxRuns,
             "blocks to draw (default " + Number("%g", static_cast<double>(s.blocks)) + ")");
    AddNoiseLevel(*cmd, options.noise,
                  "noise deviation in levels (default " + Number("%g", s.sigma) + ")");
    AddCount(*cmd, "--uis", s.uis, 1, engine::kMaxEyeUis,
             "bit periods across the picture (default " + std::to_string(s.uis) + ")")
        ->type_name("U");
    AddCount(*cmd, "--seed", s.seed, 0, UINT64_MAX,
             "seed of the random bits and the noise (default " + std::to_string(s.seed) + ")");
    AddCount(*cmd, "--threads", s.threads, 1, choices::kMaxThreads,
             "worker threads (default: all cores); the picture does not depend on it");
    AddChecked(*cmd, "--point", choices::EyePointHelp(), [&s](const std::string& text) {
        return choices::ParseEyePoint(text, s.point);
    })->type_name("readback|equalized");
    AddChannelOptions(*cmd, options.channel, choices::kEye | choices::kEyeTiming, false);
    AddPictureSize(*cmd, options.width, options.height,
                   std::to_string(choices::kEyeWidth) + "x" + std::to_string(choices::kEyeHeight));
    cmd->add_option("--png", options.png, "the picture (\"-\" = standard output)")
        ->type_name("FILE")
        ->required();
    return cmd;
}

void CheckEyeOptions(const EyeOptions& options) {
    CheckChannelOptions(options.channel);
    const engine::ChainSettings chain = choices::ChainFor(options.channel, 0);
    if (std::string error = choices::CheckEyeTarget(chain); !error.empty())
        throw CLI::ValidationError("--target", error);
    engine::EyeGeometry geometry;
    if (std::string error =
            engine::FitEyePicture(options.width, options.height, options.settings.uis,
                                  engine::RangeOf(chain, options.settings.point), geometry);
        !error.empty())
        throw CLI::ValidationError("--size", error);
}

int RunEye(const EyeOptions& options) {
    console::OutputFile png;
    if (!png.Open(options.png)) return FileError(options.png, png.error());
    CatchInterrupt();

    engine::EyeGeometry geometry;
    engine::EyeSettings settings = options.settings;
    settings.chain = choices::ChainFor(options.channel, 0);
    const bool timing = settings.chain.timing.on;
    engine::FitEyePicture(options.width, options.height, settings.uis,
                          engine::RangeOf(settings.chain, settings.point), geometry);
    settings.sigma = options.noise.Sigma(engine::SignalEnergy(settings.chain));
    engine::EyeImage eye;
    {
        console::Progress progress("blocks");
        engine::DrawEye(settings, geometry, InterruptFlag(), eye,
                        [&](std::uint64_t done) { progress.Update(done, settings.blocks); });
    }
    std::vector<platform::IndexedPicture> pictures;
    const std::string instants = timing ? "every sample read at its instant" : "";
    pictures.push_back(
        EyePicture(eye, options, settings.chain, settings.sigma, "blocks", instants));
    engine::RecoveredEye recovered;
    const std::uint64_t frames = engine::RecoveredFrames(settings, geometry);
    if (timing) {
        {
            console::Progress progress("frames");
            engine::DrawRecoveredEye(settings, geometry, frames, InterruptFlag(), recovered,
                                     [&](std::uint64_t done) { progress.Update(done, frames); });
        }
        const std::string line = ClockText(settings.chain.timing) + ": rms error " +
                                 Number("%.4f", recovered.Rms()) + ", " +
                                 std::to_string(recovered.slipped) + " slipped";
        pictures.push_back(EyePicture(
            recovered.image, options, settings.chain, settings.sigma,
            "frames of " + std::to_string(engine::kRecoveredFrameBits) + " bits", line, true));
    }

    platform::OffscreenToolkit toolkit;
    const bool encoded = pictures.size() == 1 ? platform::WritePng(pictures.front(), png.get())
                                              : platform::WritePng(pictures, png.get());
    if (!encoded && std::ferror(png.get()) == 0)
        return FileError(options.png, "PNG encoding failed");
    if (!(png.Finish() && png.Commit())) return FileError(options.png, png.error());
    if (Interrupted()) {
        if (timing && eye.blocks == settings.blocks)
            std::fprintf(stderr, "quorvane-lab: stopped by %s after %llu of %llu frames\n",
                         InterruptName(), static_cast<unsigned long long>(recovered.image.blocks),
                         static_cast<unsigned long long>(frames));
        else
            std::fprintf(stderr, "quorvane-lab: stopped by %s after %llu of %llu blocks\n",
                         InterruptName(), static_cast<unsigned long long>(eye.blocks),
                         static_cast<unsigned long long>(settings.blocks));
        return InterruptStatus();
    }
    return 0;
}

} // namespace lab
