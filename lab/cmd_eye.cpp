// `quorvane-lab eye`: the density eye diagram of a target's waveform
// through band-limited noise, as a PNG.
#include "channel/bounds.h"
#include "choices/texts.h"
#include "console/output_file.h"
#include "console/progress.h"
#include "engine/eye_diagram.h"
#include "engine/eye_shading.h"
#include "lab/channel_cli.h"
#include "lab/commands.h"
#include "lab/interrupt.h"
#include "platform/picture.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace lab {

using choices::Number;
namespace {

constexpr int kLeft = engine::EyeMargins::left;
constexpr int kTop = engine::EyeMargins::top;
constexpr int kTextPixels = 12;
constexpr int kTick = 5;
constexpr platform::Colour kBackground = 0xFFFFFF;
constexpr platform::Colour kInk = 0x202020;

platform::IndexedPicture EyePicture(const engine::EyeImage& eye, const EyeOptions& options,
                                    double sigma) {
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

    const engine::ChainSettings chain = choices::ChainFor(options.channel, 0);
    // The openings at the sampling instant: an I-beam beside it between each
    // one's closed rows, the smallest in white and its height in the title.
    // A head's readback has no few levels to open between: none there.
    const engine::EyeOpenings openings =
        chain.Recording() ? engine::EyeOpenings{} : engine::OpeningsOf(eye, chain.target);
    for (std::size_t i = 0; i < openings.gaps.size(); ++i) {
        const engine::EyeOpening& o = openings.gaps[i];
        if (o.height == 0) continue;
        const platform::Colour c = static_cast<int>(i) == openings.smallest ? 0xFFFFFF : 0xB0B0B0;
        const int x = kLeft + openings.column + 3; // beside the instant's own column
        for (int row : {o.bottomRow, o.topRow})
            p.lines.push_back({x - 2, bottom - row, x + 2, bottom - row, c});
        p.lines.push_back({x, bottom - o.topRow, x, bottom - o.bottomRow, c});
    }
    std::string title = "Eye, " + choices::EyeSubject(chain) + ", " + std::to_string(eye.blocks) +
                        " blocks, " + choices::NoiseText(chain, sigma);
    if (openings.smallest >= 0)
        title += ", eye height " + Number("%.2f", openings.gaps[openings.smallest].height);
    add(options.width / 2, 12, title, platform::TextAnchor::Centre, true);
    return p;
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
        "model.");
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
    AddChannelOptions(*cmd, options.channel, choices::kEye, false);
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
    if (std::string error = engine::FitEyePicture(
            options.width, options.height, options.settings.uis, engine::RangeOf(chain), geometry);
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
    engine::FitEyePicture(options.width, options.height, settings.uis,
                          engine::RangeOf(settings.chain), geometry);
    settings.sigma = options.noise.Sigma(engine::SignalEnergy(settings.chain));
    engine::EyeImage eye;
    {
        console::Progress progress("blocks");
        engine::DrawEye(settings, geometry, InterruptFlag(), eye,
                        [&](std::uint64_t done) { progress.Update(done, settings.blocks); });
    }

    platform::OffscreenToolkit toolkit;
    if (!platform::WritePng(EyePicture(eye, options, settings.sigma), png.get()) &&
        std::ferror(png.get()) == 0)
        return FileError(options.png, "PNG encoding failed");
    if (!(png.Finish() && png.Commit())) return FileError(options.png, png.error());
    if (Interrupted()) {
        std::fprintf(stderr, "quorvane-lab: stopped by %s after %llu of %llu blocks\n",
                     InterruptName(), static_cast<unsigned long long>(eye.blocks),
                     static_cast<unsigned long long>(settings.blocks));
        return InterruptStatus();
    }
    return 0;
}

} // namespace lab
