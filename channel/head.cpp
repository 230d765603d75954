#include "channel/head.h"

#include <cassert>
#include <cmath>

namespace channel {

const std::vector<HeadRow>& Heads() {
    static const std::vector<HeadRow> rows = {
        {.kind = HeadKind::kLorentz,
         .name = "lorentz",
         .title = "Lorentzian head",
         .help = "longitudinal: g(t) = 1 / (1 + (2t/W)^2)",
         .make = MakeLorentzHead},
        {.kind = HeadKind::kErf,
         .name = "erf",
         .title = "erf head",
         .help = "perpendicular: g(t) = erf(2 sqrt(ln 2) t / W), whose derivative is W wide at "
                 "half height",
         .make = MakeErfHead},
    };
    return rows;
}

const HeadRow& HeadOf(HeadKind kind) {
    for (const HeadRow& row : Heads())
        if (row.kind == kind) return row;
    assert(false && "every head has a row");
    return Heads().front();
}

const HeadRow* FindHead(const std::string& name) {
    for (const HeadRow& row : Heads())
        if (name == row.name) return &row;
    return nullptr;
}

std::string HeadNames() {
    std::string text;
    const std::vector<HeadRow>& rows = Heads();
    for (std::size_t i = 0; i < rows.size(); ++i)
        text += std::string(i == 0 ? "" : i + 1 == rows.size() ? " or " : ", ") + rows[i].name;
    return text;
}

Head::Head(HeadKind kind, double density)
    : kind_(kind), w_(density), response_(HeadOf(kind).make(density)) {
    span_ = 40 + static_cast<int>(std::ceil(24 * std::pow(w_, 0.8)));
    energy_ = response_->BitEnergy();
}

double Head::LowPassTransition(double t) const {
    double v = 0;
    LowPassTransitionOnGrid(t, 0, 0, &v);
    return v;
}

} // namespace channel
