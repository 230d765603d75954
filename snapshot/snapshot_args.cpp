#include "snapshot/snapshot_args.h"

#include <CLI/CLI.hpp>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace snapshot {

const char* const kSnapshotUsage =
    "Usage: quorvane-snapshot [--runs N] [--png FILE] [--raster FILE] [--data FILE] "
    "[--wave FILE]\n"
    "Builds the Quorvane window off-screen, presses its button N times (default 1, 0 to\n"
    "1000000; 0 gives the window as first shown) and writes:\n"
    "  --png FILE     the window's client area as a PNG\n"
    "  --raster FILE  the plot's palette indices as a binary PGM, top row first\n"
    "  --data FILE    CSV run,k,raw,prec,nrzi,samp for every run\n"
    "  --wave FILE    CSV column,value of the last run's waveform\n"
    "  --help         this text\n"
    "  --version      the program's name and version\n"
    "A FILE of - is standard output (one output at most). Each file appears only when\n"
    "the whole job has succeeded. On a terminal, standard error shows the progress.\n"
    "Exit status: 0 done, 1 the job or an output failed, 2 a usage error.\n";

namespace {

// Parses a whole decimal count; false for anything else, including signs and
// blanks. Counts too long to hold come back as one past the limit.
bool ParseCount(std::string_view text, long& out) {
    if (text.empty()) return false;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        if (value <= kMaxSnapshotRuns) value = value * 10 + (c - '0');
    }
    out = value > kMaxSnapshotRuns ? kMaxSnapshotRuns + 1 : value;
    return true;
}

// A user's text as it may appear inside the one-line message: control bytes
// (line breaks among them) become '?', and long texts are cut.
std::string Shown(std::string_view text) {
    std::string out(text.substr(0, 200));
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return out;
}

// The option a word names: a long option's word without its "=value".
std::string_view OptionOf(std::string_view word) {
    if (word.size() > 2 && word.substr(0, 2) == "--") return word.substr(0, word.find('='));
    return word;
}

// CLI11 recognises the options and hands each its value, a value always
// being the next word when it is not given inline ("--png -" writes to
// standard output). Every option's check runs the moment CLI11 has read it
// (trigger_on_parse) and notes where its word stands, so the problem reported
// is the one met first from the left; a word that no option took is an
// unknown option at its own place. After the first problem nothing more is
// taken: what CLI11 reads from then on (such as the options it makes of the
// letters after "-h" in "-hx") cannot change the answer.
class Reader {
  public:
    explicit Reader(const std::vector<std::string_view>& args);
    SnapshotArgs Parse();

  private:
    using Take = std::function<void(std::size_t at, std::string_view value)>;

    void AddFlag(const std::string& longName, const std::string& shortName, bool& set);
    void AddValue(const std::string& name, Take take);
    void TakeFile(const std::string& name, std::string& file, std::size_t at,
                  std::string_view value);
    void TakeRuns(std::size_t at, std::string_view value);
    // Where the word CLI11 took last stands: it reads from the back of left_.
    std::size_t Last() const { return words_.size() - left_.size() - 1; }
    void Fail(std::size_t at, std::string message);
    bool Failed() const { return problemAt_ != SIZE_MAX; }
    // The unknown words, then what the options say together.
    SnapshotArgs Answer();

    std::vector<std::string> words_;
    std::vector<std::string> left_;
    std::vector<bool> taken_; // by an option, as its name or its value
    std::map<std::string, Take, std::less<>> values_;
    CLI::App app_;
    SnapshotOptions options_;
    bool runsGiven_ = false;
    std::size_t problemAt_ = SIZE_MAX;
    std::string problem_;
};

Reader::Reader(const std::vector<std::string_view>& args)
    : words_(args.begin(), args.end()), left_(words_.rbegin(), words_.rend()),
      taken_(words_.size(), false) {
    // --help is an option like the others here: it does not end the reading,
    // so a bad word after it is still reported.
    app_.set_help_flag();
    app_.allow_extras();
    AddFlag("--help", "-h", options_.help);
    AddFlag("--version", "", options_.version);
    AddFlag("--every-press", "", options_.everyPress);
    AddValue("--runs", [this](std::size_t at, std::string_view v) { TakeRuns(at, v); });
    for (auto [name, file] : {std::pair{"--png", &options_.png},
                              {"--raster", &options_.raster},
                              {"--data", &options_.data},
                              {"--wave", &options_.wave}}) {
        AddValue(name, [this, name = std::string(name), file = file](
                           std::size_t at, std::string_view v) { TakeFile(name, *file, at, v); });
    }
}

void Reader::Fail(std::size_t at, std::string message) {
    if (at < problemAt_) {
        problemAt_ = at;
        problem_ = std::move(message);
    }
}

void Reader::AddFlag(const std::string& longName, const std::string& shortName, bool& set) {
    // A flag whose callback sees every spelling, so that "--help=x" and
    // "-hx" are told apart from "--help" and "-h".
    const std::string names = shortName.empty() ? longName : shortName + "," + longName;
    CLI::Option* flag =
        app_.add_option(names, [this, longName, shortName, &set](const CLI::results_t&) {
            if (Failed()) return true;
            const std::size_t at = Last();
            const std::string& word = words_[at];
            taken_[at] = true;
            if (word == longName || (!shortName.empty() && word == shortName)) {
                set = true;
            } else if (word.rfind(longName + "=", 0) == 0) {
                Fail(at, longName + " takes no value");
            } else {
                Fail(at, "unknown option '" + Shown(OptionOf(word)) + "'");
            }
            return true;
        });
    flag->expected(0)->trigger_on_parse();
}

void Reader::AddValue(const std::string& name, Take take) {
    values_.emplace(name, take);
    auto check = [this, name, take](const std::string& value) {
        if (Failed()) return;
        const std::size_t at = Last();
        if (words_[at] == name + "=" + value) {
            taken_[at] = true;
            take(at, value);
        } else if (at > 0 && words_[at - 1] == name + "=") {
            // An empty inline value: CLI11 took the next word instead.
            taken_[at - 1] = true;
            take(at - 1, "");
        } else if (at > 0) {
            taken_[at - 1] = taken_[at] = true;
            take(at - 1, value);
        }
    };
    app_.add_option_function<std::string>(name, check)->trigger_on_parse();
}

void Reader::TakeRuns(std::size_t at, std::string_view value) {
    if (runsGiven_) return Fail(at, "--runs given twice");
    runsGiven_ = true;
    long n = 0;
    if (!ParseCount(value, n))
        return Fail(at,
                    "--runs needs a whole number from 0 to 1000000, not '" + Shown(value) + "'");
    if (n > kMaxSnapshotRuns)
        return Fail(at, "--runs " + std::string(value) + " is more than 1000000");
    options_.runs = n;
}

void Reader::TakeFile(const std::string& name, std::string& file, std::size_t at,
                      std::string_view value) {
    if (!file.empty()) return Fail(at, name + " given twice");
    if (value.empty()) return Fail(at, name + " needs a file name");
    if (value.find('\0') != std::string_view::npos)
        return Fail(at, name + " file name holds a NUL byte");
    file.assign(value);
}

SnapshotArgs Reader::Parse() {
    try {
        app_.parse(left_);
    } catch (const CLI::ArgumentMismatch& e) {
        // A value option as the last word, with no value to take.
        if (Failed()) return Answer();
        const std::size_t at = words_.size() - 1;
        const std::string& word = words_[at];
        const auto option = values_.find(OptionOf(word));
        taken_[at] = true;
        if (option == values_.end()) {
            Fail(at, e.what());
        } else if (word.size() > option->first.size()) {
            option->second(at, ""); // "--runs=" as the last word
        } else {
            Fail(at, word + " needs a value");
        }
    } catch (const CLI::Error& e) {
        Fail(words_.size(), e.what());
    }
    return Answer();
}

SnapshotArgs Reader::Answer() {
    for (std::size_t i = 0; i < words_.size() && i < problemAt_; ++i) {
        if (!taken_[i]) {
            Fail(i, "unknown option '" + Shown(OptionOf(words_[i])) + "'");
            break;
        }
    }

    SnapshotArgs result;
    result.options = options_;
    auto fail = [&result](std::string message) {
        for (char& c : message) {
            if (c == '\n') c = ' ';
        }
        result.error = std::move(message);
        return result;
    };
    if (Failed()) return fail(problem_);
    const SnapshotOptions& o = options_;
    if (o.help || o.version) {
        result.ok = true;
        return result;
    }
    if (o.png.empty() && o.raster.empty() && o.data.empty() && o.wave.empty())
        return fail("nothing to write: give --png, --raster, --data or --wave");
    // Two outputs on one stream would interleave into something neither is.
    if ((o.png == "-") + (o.raster == "-") + (o.data == "-") + (o.wave == "-") > 1)
        return fail("only one output can be standard output ('-')");
    result.ok = true;
    return result;
}

} // namespace

SnapshotArgs ParseSnapshotArgs(const std::vector<std::string_view>& args) {
    return Reader(args).Parse();
}

} // namespace snapshot
