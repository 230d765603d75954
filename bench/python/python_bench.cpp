// Detecting one 4096-bit E3PR4 frame (with its tail) with the Viterbi
// detector: in C++ through the detectors' interface, and from Python through
// the module, a Python loop of calls so that the interpreter's own work per
// call is counted too. The frame is the same noisy one in both. A 16-bit
// frame shows the fixed cost of a call, which the long frame's few percent
// are hard to tell from the machine's noise.
#include <benchmark/benchmark.h>
#include <pybind11/embed.h>
#include <pybind11/numpy.h>

#include <cstring>

#include "channel/noise.h"
#include "detectors/table.h"
#include "engine/chain.h"

namespace py = pybind11;

namespace {

constexpr int kCallsPerLoop = 64;

engine::Frame NoisyFrame(int bits) {
    // E3PR4 on the ideal channel, with its tail.
    const engine::ChannelDesign design = engine::DesignChannel(engine::ChainSettings{}, 0.45);
    engine::Chain chain(design, bits);
    engine::Frame frame = chain.MakeFrame();
    channel::NoiseSource source(1, 0);
    chain.Next(source, frame);
    return frame;
}

void BM_DetectInCpp(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    const engine::Frame frame = NoisyFrame(bits);
    const channel::Target target;
    auto detector =
        detectors::MakeDetector(detectors::Kind::kViterbi, target, {bits, target.Memory()});
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(bits));
    const float* y[] = {frame.received.data()};
    std::uint8_t* out[] = {raw.data()};
    for (auto _ : state) {
        detector->Detect(1, y, out);
        benchmark::DoNotOptimize(raw.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DetectInCpp)->Arg(4096)->Arg(16);

// kCallsPerLoop calls of `call` from a Python loop per iteration.
void PythonLoop(benchmark::State& state, const char* call) {
    const engine::Frame frame = NoisyFrame(static_cast<int>(state.range(0)));
    py::module_ quorvane = py::module_::import("quorvane");
    py::array_t<float> y(static_cast<py::ssize_t>(frame.received.size()));
    std::memcpy(y.mutable_data(), frame.received.data(), frame.received.size() * sizeof(float));
    py::dict scope;
    scope["quorvane"] = quorvane;
    scope["y"] = y;
    scope["target"] = quorvane.attr("Target")("e3pr4");
    scope["detector"] = quorvane.attr("Detector")("viterbi", scope["target"]);
    py::exec("def loop(n):\n    for _ in range(n):\n        " + std::string(call) + "\n", scope);
    const py::object loop = scope["loop"];
    for (auto _ : state) loop(kCallsPerLoop);
    state.SetItemsProcessed(state.iterations() * kCallsPerLoop);
}

void BM_DetectFromPython(benchmark::State& state) {
    PythonLoop(state, "detector.detect(y)");
}
BENCHMARK(BM_DetectFromPython)->Arg(4096)->Arg(16);

void BM_ViterbiFunctionFromPython(benchmark::State& state) {
    PythonLoop(state, "quorvane.viterbi(y, target)");
}
BENCHMARK(BM_ViterbiFunctionFromPython)->Arg(4096)->Arg(16);

} // namespace

int main(int argc, char** argv) {
    py::scoped_interpreter interpreter;
    py::module_::import("sys").attr("path").attr("insert")(0, QUORVANE_PYTHON_DIR);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
