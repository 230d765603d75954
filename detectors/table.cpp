#include "detectors/table.h"

#include <cassert>

#include "detectors/npml.h"
#include "detectors/slicer.h"
#include "detectors/viterbi.h"

namespace detectors {

const std::vector<Row>& Table() {
    static const std::vector<Row> rows = {
        {Kind::kSlicer,
         "slicer",
         "slicer",
         "symbol by symbol: the nearest level, its parity the raw bit",
         0x1F5FD0,
         false,
         true,
         Columns::kAlways,
         {},
         SlicerWhyNot,
         MakeSlicerDetector},
        {Kind::kViterbi,
         "viterbi",
         "Viterbi",
         "maximum-likelihood sequence detection over the target's trellis",
         0xD02020,
         false,
         true,
         Columns::kAlways,
         {},
         ViterbiWhyNot,
         MakeViterbiDetector},
        {Kind::kNpml,
         "npml",
         "NPML",
         "noise-predictive: the Viterbi trellis with a whitening predictor along each survivor",
         0x209040,
         false,
         true,
         Columns::kOnHead,
         {"predictor"},
         NpmlWhyNot,
         MakeNpmlDetector},
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

std::string WhyNot(Kind kind, const channel::Target& target, bool coloured) {
    return WhyNot(kind, Where{&target, target.Name(), coloured, 0});
}

std::vector<Kind> KindsFor(const channel::Target& target, bool coloured) {
    return DefaultKinds(Where{&target, target.Name(), coloured, 0});
}

std::vector<Kind> AllKinds() {
    std::vector<Kind> kinds;
    for (const Row& row : Table()) kinds.push_back(row.kind);
    return kinds;
}

std::unique_ptr<Detector> Make(Kind kind, const Setup& setup) {
    return RowOf(kind).make(setup);
}

} // namespace detectors
