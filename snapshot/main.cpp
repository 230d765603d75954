// quorvane-snapshot: the main window without a screen. It starts the window
// exactly as the program does, presses Button1 through its click handler and
// writes the picture, the raster and the data that a user asked for. Every
// output is written to a temporary file beside its target and renamed into
// place only when the whole job has succeeded, so a failed run leaves nothing
// half-written behind; "-" writes to standard output instead.
#include "channel/coding.h"
#include "channel/waveform.h"
#include "console/output_file.h"
#include "console/progress.h"
#include "display/form1.h"
#include "display/frame.h"
#include "display/startup.h"
#include "platform/application.h"
#include "platform/canvas.h"
#include "snapshot/snapshot_args.h"
#include "snapshot/snapshot_data.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const kProgram = "quorvane-snapshot";

int CannotWrite(const console::OutputFile& f) {
    std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, f.Shown().c_str(),
                 f.error().c_str());
    return 1;
}

void WriteRaster(std::FILE* out) {
    std::fprintf(out, "P5\n%d %d\n255\n", display::kPlotWidth, display::kPlotHeight);
    const raster::RowTable rt = display::Form1->xmg.RowTable(0);
    // The picture's top row is the raster's highest row.
    for (int y = display::kPlotHeight - 1; y >= 0; --y) {
        std::fwrite(rt[y], 1, display::kPlotWidth, out);
    }
}

void WriteWave(std::FILE* out) {
    std::fprintf(out, "column,value\n");
    for (int j = 0; j < channel::kColumns; ++j) {
        std::fprintf(out, "%d,%.9g\n", j, static_cast<double>(channel::waveBuf[j]));
    }
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    const snapshot::SnapshotArgs parsed = snapshot::ParseSnapshotArgs(args);
    if (!parsed.ok) {
        std::fprintf(stderr, "%s: %s (see --help)\n", kProgram, parsed.error.c_str());
        return 2;
    }
    const snapshot::SnapshotOptions& o = parsed.options;
    if (o.help || o.version) {
        // Written like any other output: a failed write is status 1.
        console::OutputFile out;
        out.Open("-");
        if (o.help)
            std::fputs(snapshot::kSnapshotUsage, out.get());
        else
            std::fprintf(out.get(), "%s %s\n", kProgram, QUORVANE_VERSION);
        return out.Finish() ? 0 : CannotWrite(out);
    }

    // An interrupted run leaves no temporary file behind either.
    console::InstallCleanupHandlers();

    // Claim every output first, so an unwritable path fails before any work.
    console::OutputFile png, ras, data, wave;
    if (!o.png.empty() && !png.Open(o.png)) return CannotWrite(png);
    if (!o.raster.empty() && !ras.Open(o.raster)) return CannotWrite(ras);
    if (!o.data.empty() && !data.Open(o.data)) return CannotWrite(data);
    if (!o.wave.empty() && !wave.Open(o.wave)) return CannotWrite(wave);

    // No screen needed.
    platform::HeadlessEnvironment headless;

    // Nobody is there to close an error box: report on standard error and
    // fail instead.
    bool failed = false;
    console::Progress progress("runs");
    platform::Application::SetErrorPresenter(
        [&failed, &progress](const std::string& caption, const std::string& text) {
            progress.Finish();
            std::fprintf(stderr, "%s: %s: %s\n", kProgram, caption.c_str(), text.c_str());
            failed = true;
        });

    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    platform::Application app(qtArgc, qtArgv);
    display::CreateMainWindow(app);
    display::TForm1& form = *display::Form1;
    form.Show();
    app.ProcessEvents();

    // The picture, the raster and the client area depend on the last press
    // alone (every press redraws all of them), and the waveform file holds
    // the last run's: the presses before it need only the block, which keeps
    // the random source in step.
    std::unique_ptr<snapshot::DataWriter> rows;
    if (data.get() != nullptr) {
        rows = std::make_unique<snapshot::DataWriter>(data.get());
        rows->Header();
    }
    for (long run = 1; run <= o.runs && !failed; ++run) {
        if (run < o.runs && !o.everyPress)
            channel::GenerateBlock();
        else
            form.Button1.Click();
        if (rows != nullptr) {
            rows->Run(static_cast<std::int32_t>(run));
            if (!rows->Ok()) break;
        }
        progress.Update(static_cast<std::uint64_t>(run), static_cast<std::uint64_t>(o.runs));
    }
    progress.Finish();
    app.ProcessEvents();
    if (failed) return 1;
    if (rows != nullptr && !rows->Flush()) {
        data.Finish();
        return CannotWrite(data);
    }

    if (ras.get() != nullptr) WriteRaster(ras.get());
    if (wave.get() != nullptr) WriteWave(wave.get());
    if (!data.Finish()) return CannotWrite(data);
    if (!ras.Finish()) return CannotWrite(ras);
    if (!wave.Finish()) return CannotWrite(wave);
    // A failed write shows in the stream and is reported by Finish with its cause.
    if (png.get() != nullptr && !platform::WritePng(form.GrabClient(), png.get()) &&
        std::ferror(png.get()) == 0) {
        std::fprintf(stderr, "%s: cannot write %s: PNG encoding failed\n", kProgram,
                     png.Shown().c_str());
        return 1;
    }
    if (!png.Finish()) return CannotWrite(png);

    for (console::OutputFile* f : {&png, &ras, &data, &wave}) {
        if (!f->Commit()) return CannotWrite(*f);
    }
    return 0;
}
