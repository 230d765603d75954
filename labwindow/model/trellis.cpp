#include "labwindow/model/trellis.h"

#include <algorithm>

#include "channel/encoder.h"
#include "detectors/survivors.h"

namespace labmodel {

std::vector<int> StatesOf(const std::vector<std::uint8_t>& prec, int memory, int steps) {
    std::vector<int> states(static_cast<std::size_t>(steps));
    int s = 0;
    for (int k = 0; k < steps; ++k) {
        const int bit = k < static_cast<int>(prec.size()) ? prec[static_cast<std::size_t>(k)] : 0;
        s = (s >> 1) | (bit << (memory - 1));
        states[static_cast<std::size_t>(k)] = s;
    }
    return states;
}

TrellisView MakeTrellisView(const channel::Target& target, const std::vector<float>& received,
                            const std::vector<std::uint8_t>& prec, int n, int tail,
                            const std::vector<channel::ErrorEvent>& table) {
    TrellisView view;
    view.memory = target.Memory();
    view.states = target.States();
    view.bits = n;
    view.steps = n + tail;
    view.graph = target.GetTrellis();
    view.survivors = detectors::TraceSurvivors(target, received.data(), n, tail);
    view.truth = StatesOf(prec, view.memory, view.steps);

    // The precoder bits of both paths: the newest bit of each state.
    const int nu = view.memory;
    auto bitOf = [nu](int state) { return state >> (nu - 1); };
    std::vector<int> diff(static_cast<std::size_t>(view.steps));
    for (int k = 0; k < view.steps; ++k)
        diff[static_cast<std::size_t>(k)] =
            bitOf(view.survivors.path[static_cast<std::size_t>(k)]) -
            bitOf(view.truth[static_cast<std::size_t>(k)]);

    // An event ends where nu equal bits in a row bring both paths into one
    // state.
    std::vector<std::uint8_t> rawTruth(static_cast<std::size_t>(n));
    for (int k = 0; k < view.steps;) {
        if (diff[static_cast<std::size_t>(k)] == 0) {
            ++k;
            continue;
        }
        PathEvent ev;
        ev.first = ev.last = k;
        int zeros = 0;
        for (++k; k < view.steps && zeros < nu; ++k) {
            if (diff[static_cast<std::size_t>(k)] != 0) {
                ev.last = k;
                zeros = 0;
            } else {
                ++zeros;
            }
        }
        k = ev.last + 1;
        std::vector<std::int8_t> e;
        for (int j = ev.first; j <= ev.last; ++j)
            e.push_back(static_cast<std::int8_t>(diff[static_cast<std::size_t>(j)]));
        ev.negated = e.front() < 0;
        ev.event = channel::MakeErrorEvent(target, e);
        view.events.push_back(ev);
    }

    // Raw-bit errors: the detector's raw bits against the ones the true
    // precoder bits stand for (the inverse precoder of the truth).
    std::vector<std::uint8_t> truePrec(prec.begin(), prec.begin() + n);
    channel::FrameEncoder(target).InversePrecode(truePrec.data(), n, rawTruth.data());
    for (PathEvent& ev : view.events) {
        const int until = std::min(n - 1, ev.last + nu);
        for (int k = ev.first; k <= until; ++k)
            ev.rawErrors += view.survivors.raw[static_cast<std::size_t>(k)] !=
                            rawTruth[static_cast<std::size_t>(k)];
        for (std::size_t row = 0; row < table.size(); ++row) {
            if (table[row].e == ev.event.e) {
                ev.tableRow = static_cast<int>(row);
                break;
            }
        }
    }
    return view;
}

std::vector<channel::ErrorEvent> EventsTable(const channel::Target& target) {
    return channel::FindErrorEvents(target, 2 * target.D2Min(), 16);
}

EventPaths PathsOf(const channel::Target& target, const channel::ErrorEvent& event) {
    const int nu = target.Memory();
    EventPaths p;
    const std::size_t len = event.e.size() + 2 * static_cast<std::size_t>(nu);
    p.a.assign(len, 0);
    p.b.assign(len, 0);
    for (std::size_t i = 0; i < event.e.size(); ++i) {
        p.a[i + nu] = event.e[i] > 0 ? 1 : 0;
        p.b[i + nu] = event.e[i] < 0 ? 1 : 0;
    }
    const int steps = static_cast<int>(len);
    p.statesA = StatesOf(p.a, nu, steps);
    p.statesB = StatesOf(p.b, nu, steps);
    const std::vector<double>& f = target.Coefficients();
    for (int k = 0; k < steps; ++k) {
        double ya = 0, yb = 0;
        for (int m = 0; m <= nu && m <= k; ++m) {
            ya += f[static_cast<std::size_t>(m)] * p.a[static_cast<std::size_t>(k - m)];
            yb += f[static_cast<std::size_t>(m)] * p.b[static_cast<std::size_t>(k - m)];
        }
        p.outputA.push_back(ya);
        p.outputB.push_back(yb);
        p.d2 += (ya - yb) * (ya - yb);
    }
    return p;
}

} // namespace labmodel
