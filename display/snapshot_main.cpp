// quorvane-snapshot: the main window without a screen. It starts the window
// exactly as the program does, presses Button1 through its click handler and
// writes the picture, the raster and the data that a user asked for. Every
// output is written to a temporary file beside its target and renamed into
// place only when the whole job has succeeded, so a failed run leaves nothing
// half-written behind.
#include "channel/coding.h"
#include "channel/random.h"
#include "channel/waveform.h"
#include "display/form1.h"
#include "display/frame.h"
#include "display/snapshot_args.h"
#include "display/startup.h"
#include "platform/application.h"
#include "platform/canvas.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kProgram = "quorvane-snapshot";

// Temporary files not yet renamed into place, for the signal handler: an
// interrupted run removes them too. Plain arrays, written before any signal
// can need them and read only with async-signal-safe calls.
constexpr int kMaxPending = 4;
char pendingPaths[kMaxPending][4096];
volatile sig_atomic_t pendingCount = 0;

extern "C" void RemovePendingAndDie(int signal) {
    for (int i = 0; i < pendingCount; ++i) {
        if (pendingPaths[i][0] != '\0') unlink(pendingPaths[i]);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void Track(const std::string& temp, bool add) {
    for (int i = 0; i < pendingCount; ++i) {
        if (temp == pendingPaths[i]) {
            if (!add) pendingPaths[i][0] = '\0';
            return;
        }
    }
    if (add && pendingCount < kMaxPending && temp.size() < sizeof pendingPaths[0]) {
        std::memcpy(pendingPaths[pendingCount], temp.c_str(), temp.size() + 1);
        pendingCount = pendingCount + 1;
    }
}

// A temporary file beside its target, renamed over the target on Commit and
// removed otherwise.
class PendingFile {
  public:
    bool Open(const std::string& target) {
        target_ = target;
        temp_ = target + ".tmp.XXXXXX";
        const int fd = mkstemp(temp_.data());
        if (fd < 0) {
            error_ = std::strerror(errno);
            temp_.clear();
            return false;
        }
        Track(temp_, true);
        // mkstemp makes the file private; give it the mode a new file gets.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        file_ = fdopen(fd, "wb");
        if (file_ == nullptr) {
            error_ = std::strerror(errno);
            close(fd);
            return false;
        }
        return true;
    }
    std::FILE* get() const { return file_; }
    const std::string& target() const { return target_; }
    const std::string& temp() const { return temp_; }
    const std::string& error() const { return error_; }
    // Closes the stream (the caller may have written the temp by path instead).
    bool Finish() {
        if (file_ == nullptr) return true;
        const bool ok = std::ferror(file_) == 0;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!ok || !closed) error_ = "write failed";
        return ok && closed;
    }
    bool Commit() {
        if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
            error_ = std::strerror(errno);
            return false;
        }
        Track(temp_, false);
        temp_.clear();
        return true;
    }
    ~PendingFile() {
        if (file_ != nullptr) std::fclose(file_);
        if (!temp_.empty()) {
            std::remove(temp_.c_str());
            Track(temp_, false);
        }
    }

  private:
    std::string target_;
    std::string temp_;
    std::string error_;
    std::FILE* file_ = nullptr;
};

int CannotWrite(const PendingFile& f) {
    std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, f.target().c_str(),
                 f.error().c_str());
    return 1;
}

void WriteDataRows(std::FILE* out, long run) {
    for (int k = 0; k < channel::kBits; ++k) {
        std::fprintf(out, "%ld,%d,%d,%d,%d,%d\n", run, k, channel::rawData[k], channel::precData[k],
                     channel::nrziData[k], channel::sampData[k]);
    }
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
    const display::SnapshotArgs parsed = display::ParseSnapshotArgs(args);
    if (!parsed.ok) {
        std::fprintf(stderr, "%s: %s (see --help)\n", kProgram, parsed.error.c_str());
        return 2;
    }
    const display::SnapshotOptions& o = parsed.options;
    if (o.help) {
        std::fputs(display::kSnapshotUsage, stdout);
        return 0;
    }

    // An interrupted run leaves no temporary file behind either.
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, RemovePendingAndDie);

    // Claim every output first, so an unwritable path fails before any work.
    PendingFile png, ras, data, wave;
    if (!o.png.empty() && !png.Open(o.png)) return CannotWrite(png);
    if (!o.raster.empty() && !ras.Open(o.raster)) return CannotWrite(ras);
    if (!o.data.empty() && !data.Open(o.data)) return CannotWrite(data);
    if (!o.wave.empty() && !wave.Open(o.wave)) return CannotWrite(wave);

    // No screen needed: the off-screen platform unless the caller chose one.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Outside a desktop session there is no runtime folder, and the toolkit
    // would warn about it on every run; a private one for this run serves.
    std::string runtimeDir;
    if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
        char pattern[] = "/tmp/quorvane-runtime-XXXXXX";
        if (mkdtemp(pattern) != nullptr) {
            runtimeDir = pattern;
            setenv("XDG_RUNTIME_DIR", pattern, 1);
        }
    }
    struct RemoveDir {
        const std::string& dir;
        ~RemoveDir() {
            if (!dir.empty()) rmdir(dir.c_str());
        }
    } removeRuntimeDir{runtimeDir};

    // Nobody is there to close an error box: report on standard error and
    // fail instead.
    bool failed = false;
    platform::Application::SetErrorPresenter(
        [&failed](const std::string& caption, const std::string& text) {
            std::fprintf(stderr, "%s: %s: %s\n", kProgram, caption.c_str(), text.c_str());
            failed = true;
        });

    channel::SeedRandom(1);
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    platform::Application app(qtArgc, qtArgv);
    display::CreateMainWindow(app);
    display::TForm1& form = *display::Form1;
    form.Show();
    app.ProcessEvents();

    if (data.get() != nullptr) std::fputs("run,k,raw,prec,nrzi,samp\n", data.get());
    for (long run = 1; run <= o.runs && !failed; ++run) {
        form.Button1.Click();
        if (data.get() != nullptr) WriteDataRows(data.get(), run);
    }
    app.ProcessEvents();
    if (failed) return 1;

    if (ras.get() != nullptr) WriteRaster(ras.get());
    if (wave.get() != nullptr) WriteWave(wave.get());
    if (!data.Finish()) return CannotWrite(data);
    if (!ras.Finish()) return CannotWrite(ras);
    if (!wave.Finish()) return CannotWrite(wave);
    if (!o.png.empty()) {
        png.Finish();
        if (!platform::SavePng(form.GrabClient(), png.temp())) {
            std::fprintf(stderr, "%s: cannot write %s: PNG encoding failed\n", kProgram,
                         o.png.c_str());
            return 1;
        }
    }

    for (PendingFile* f : {&png, &ras, &data, &wave}) {
        if (!f->temp().empty() && !f->Commit()) return CannotWrite(*f);
    }
    return 0;
}
