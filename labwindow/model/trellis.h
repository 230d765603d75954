#pragma once
// The trellis view's model: the states of a block against time, every
// state's survivor, the Viterbi detector's decided path, the path the channel
// really took, and the error events where the two differ.
#include <cstdint>
#include <vector>

#include "channel/events.h"
#include "channel/target.h"
#include "detectors/survivors.h"

namespace labmodel {

// A stretch where the decided path leaves the true one and meets it again.
struct PathEvent {
    int first = 0; // the first and the last precoder bit that differ
    int last = 0;
    // The difference decided - true over first ... last, sign-normalised as
    // the events table lists it (negated when it starts with -1), with its
    // distance and the raw-bit errors the table gives it.
    channel::ErrorEvent event;
    bool negated = false;
    // Raw bits the detector got wrong from bit `first` on, up to the last one
    // the event's precoder bits reach (last + nu), within the data bits.
    int rawErrors = 0;
    int tableRow = -1; // its row in the events table, -1 when beyond it
};

struct TrellisView {
    int memory = 0;
    int states = 0;
    int bits = 0;
    int steps = 0;          // samples: bits and the tail
    channel::Trellis graph; // the target's
    detectors::Survivors survivors;
    std::vector<int> truth; // the true state after each sample
    std::vector<PathEvent> events;
};

// The true path of a frame's precoder bits: the state after each of its
// `steps` samples, the tail's zero bits included.
std::vector<int> StatesOf(const std::vector<std::uint8_t>& prec, int memory, int steps);

// The trellis of a frame (samples `received`, true precoder bits `prec`, n
// bits and the tail), with the events matched against `table` (the events
// view's list).
TrellisView MakeTrellisView(const channel::Target& target, const std::vector<float>& received,
                            const std::vector<std::uint8_t>& prec, int n, int tail,
                            const std::vector<channel::ErrorEvent>& table);

// The events the events view lists for a target: squared distance up to
// twice d2min and length up to 16, as `quorvane-lab events` by default.
std::vector<channel::ErrorEvent> EventsTable(const channel::Target& target);

// One pair of precoder paths whose difference is an event, padded with nu
// zeros on either side: where the event is +1 the first path writes 1 and
// the second 0, where it is -1 the other way round, where it is 0 both write
// 0. Their ideal samples and the distance between them (the event's d2).
struct EventPaths {
    std::vector<std::uint8_t> a, b;
    std::vector<int> statesA, statesB; // the state after each bit
    std::vector<double> outputA, outputB;
    double d2 = 0;
};
EventPaths PathsOf(const channel::Target& target, const channel::ErrorEvent& event);

} // namespace labmodel
