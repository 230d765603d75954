#include "detectors/table.h"

#include <cassert>

#include "detectors/forward_backward.h"
#include "detectors/npbcjr.h"
#include "detectors/npml.h"
#include "detectors/slicer.h"
#include "detectors/sova.h"
#include "detectors/viterbi.h"

namespace detectors {

const std::vector<Row>& Table() {
    static const std::vector<Row> rows = {
        {.kind = Kind::kSlicer,
         .name = "slicer",
         .title = "slicer",
         .label = "S&licer",
         .help = "symbol by symbol: the nearest level, its parity the raw bit",
         .colour = 0x1F5FD0,
         .soft = false,
         .byDefault = true,
         .columns = Columns::kAlways,
         .options = {},
         .whyNot = SlicerWhyNot,
         .make = MakeSlicerDetector},
        {.kind = Kind::kViterbi,
         .name = "viterbi",
         .title = "Viterbi",
         .label = "&Viterbi",
         .help = "maximum-likelihood sequence detection over the target's trellis",
         .colour = 0xD02020,
         .soft = false,
         .byDefault = true,
         .columns = Columns::kAlways,
         .options = {},
         .whyNot = ViterbiWhyNot,
         .make = MakeViterbiDetector},
        {.kind = Kind::kNpml,
         .name = "npml",
         .title = "NPML",
         .label = "NP&ML",
         .help = "noise-predictive: the Viterbi trellis with a whitening predictor along each "
                 "survivor",
         .colour = 0x209040,
         .soft = false,
         .byDefault = true,
         .columns = Columns::kOnHead,
         .options = {"predictor"},
         .whyNot = NpmlWhyNot,
         .make = MakeNpmlDetector},
        {.kind = Kind::kBcjr,
         .name = "bcjr",
         .title = "BCJR",
         .label = "BCJR (&1)",
         .help = "a-posteriori ratios by the forward-backward recursions over the target's "
                 "trellis, exact (log-MAP)",
         .colour = 0x8E44AD,
         .soft = true,
         .byDefault = false,
         .columns = Columns::kWhenAsked,
         .options = {},
         .whyNot = BcjrWhyNot,
         .make = MakeBcjrDetector},
        {.kind = Kind::kMaxlog,
         .name = "maxlog",
         .title = "max-log-MAP",
         .label = "Ma&xlog",
         .help = "the forward-backward recursions with max alone: ratios of best-path metric "
                 "differences",
         .colour = 0xE08A00,
         .soft = true,
         .byDefault = false,
         .columns = Columns::kWhenAsked,
         .options = {},
         .whyNot = BcjrWhyNot,
         .make = MakeMaxlogDetector},
        {.kind = Kind::kSova,
         .name = "sova",
         .title = "SOVA",
         .label = "SOVA (&2)",
         .help = "the soft-output Viterbi detector, Battail's rule, over the update depth "
                 "(--depth)",
         .colour = 0x17A2B8,
         .soft = true,
         .byDefault = false,
         .columns = Columns::kWhenAsked,
         .options = {"depth"},
         .whyNot = SovaWhyNot,
         .make = MakeSovaDetector},
        {.kind = Kind::kNpbcjr,
         .name = "npbcjr",
         .title = "NP-BCJR",
         .label = "NPBCJR (&3)",
         .help = "noise-predictive BCJR: the trellis widened by the predictor's taps, "
                 "whitened-error metrics",
         .colour = 0x6B4E16,
         .soft = true,
         .byDefault = false,
         .columns = Columns::kWhenAsked,
         .options = {"predictor"},
         .whyNot = NpbcjrWhyNot,
         .make = MakeNpbcjrDetector},
    };
    return rows;
}

const Row& RowOf(Kind kind) {
    for (const Row& row : Table())
        if (row.kind == kind) return row;
    assert(false && "every kind has a row");
    return Table().front();
}

const Row* Find(const std::string& name) {
    for (const Row& row : Table())
        if (name == row.name) return &row;
    return nullptr;
}

const char* KindName(Kind kind) {
    return RowOf(kind).name;
}

const char* KindTitle(Kind kind) {
    return RowOf(kind).title;
}

std::string WhyNot(Kind kind, const Where& where) {
    return RowOf(kind).whyNot(where);
}

std::vector<Kind> DefaultKinds(const Where& where) {
    std::vector<Kind> kinds;
    for (const Row& row : Table())
        if (row.byDefault && row.whyNot(where).empty()) kinds.push_back(row.kind);
    return kinds;
}

std::unique_ptr<Detector> Make(Kind kind, const Setup& setup) {
    if (setup.target.Memory() == 0 && RowOf(kind).soft)
        return MakeMemorylessSoftDetector(kind, setup);
    return RowOf(kind).make(setup);
}

} // namespace detectors
