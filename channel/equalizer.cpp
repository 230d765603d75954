#include "channel/equalizer.h"

#include <Eigen/Dense>
#include <cmath>
#include <cstring>
#include <limits>

namespace channel {

namespace {

using Matrix = Eigen::MatrixXd;
using Vector = Eigen::VectorXd;

// The equalizer's input covariance, E[v v'] for v = (x_{k+D}, ..., x_{k+D-N+1})
// less the mean: Toeplitz in the input's autocorrelation.
Matrix InputCovariance(const InputStatistics& s, int taps) {
    Matrix r(taps, taps);
    for (int i = 0; i < taps; ++i)
        for (int j = 0; j < taps; ++j) r(i, j) = s.Correlation(i - j);
    return r;
}

// E[v_i a_{k-m}] / 2 for tap i, delay D: q[D - i + m] / 2.
double Cross(const InputStatistics& s, int delay, int i, int m) {
    return 0.5 * s.Q(delay - i + m);
}

int LastQ(const InputStatistics& s) {
    return s.qFirst + static_cast<int>(s.q.size()) - 1;
}

// r(l) = E[e_k e_{k+l}] of e_k = w'v_k - d_k for the designed filter.
std::vector<double> ErrorCorrelation(const InputStatistics& s, const std::vector<double>& f,
                                     const Vector& w, int delay) {
    const int taps = static_cast<int>(w.size());
    const int nu = static_cast<int>(f.size()) - 1;
    std::vector<double> r;
    for (int l = 0; l < kErrorLags; ++l) {
        double v = 0;
        for (int i = 0; i < taps; ++i)
            for (int j = 0; j < taps; ++j) v += w(i) * w(j) * s.Correlation(l + i - j);
        for (int i = 0; i < taps; ++i) {
            double c1 = 0, c2 = 0;
            for (int m = 0; m <= nu; ++m) {
                c1 += 0.5 * f[static_cast<std::size_t>(m)] * s.Q(delay - i - l + m);
                c2 += 0.5 * f[static_cast<std::size_t>(m)] * s.Q(l + delay - i + m);
            }
            v -= w(i) * (c1 + c2);
        }
        for (int m = 0; m + l <= nu; ++m)
            v += 0.25 * f[static_cast<std::size_t>(m)] * f[static_cast<std::size_t>(m + l)];
        r.push_back(v);
    }
    return r;
}

Equalizer Finish(const InputStatistics& s, Target target, const Vector& w, int delay, double mse) {
    Equalizer e;
    e.errorCorrelation = ErrorCorrelation(s, target.Coefficients(), w, delay);
    e.target = std::move(target);
    e.taps.assign(w.data(), w.data() + w.size());
    e.delay = delay;
    e.offset = s.offset;
    e.mse = mse;
    return e;
}

} // namespace

Equalizer DesignEqualizer(const InputStatistics& s, const Target& target, int taps) {
    const std::vector<double>& f = target.Coefficients();
    const int nu = target.Memory();
    double energy = 0;
    for (double v : f) energy += 0.25 * v * v;
    const Eigen::LDLT<Matrix> solver(InputCovariance(s, taps));
    double best = std::numeric_limits<double>::infinity();
    Vector bestW;
    int bestDelay = 0;
    for (int delay = s.qFirst - nu; delay <= LastQ(s) + taps - 1; ++delay) {
        Vector p(taps);
        for (int i = 0; i < taps; ++i) {
            double v = 0;
            for (int m = 0; m <= nu; ++m)
                v += f[static_cast<std::size_t>(m)] * Cross(s, delay, i, m);
            p(i) = v;
        }
        const Vector w = solver.solve(p);
        const double mse = energy - p.dot(w);
        if (mse < best) {
            best = mse;
            bestW = w;
            bestDelay = delay;
        }
    }
    return Finish(s, target, bestW, bestDelay, best);
}

Equalizer DesignGeneralizedTarget(const InputStatistics& s, int length, int taps) {
    const Eigen::LDLT<Matrix> solver(InputCovariance(s, taps));
    double best = std::numeric_limits<double>::infinity();
    Vector bestW, bestF;
    int bestDelay = 0;
    for (int delay = s.qFirst - length; delay <= LastQ(s) + taps - 1; ++delay) {
        Matrix p(taps, length + 1);
        for (int i = 0; i < taps; ++i)
            for (int m = 0; m <= length; ++m) p(i, m) = Cross(s, delay, i, m);
        const Matrix x = solver.solve(p);
        // The error for target f and the filter best for it is f' M f.
        const Matrix m = 0.25 * Matrix::Identity(length + 1, length + 1) - p.transpose() * x;
        const Vector y = m.ldlt().solve(Vector::Unit(length + 1, 0));
        if (!(y(0) > 0)) continue;
        const double mse = 1 / y(0);
        if (mse < best) {
            best = mse;
            bestF = y / y(0);
            bestW = x * bestF;
            bestDelay = delay;
        }
    }
    std::vector<double> f(bestF.data(), bestF.data() + bestF.size());
    f[0] = 1; // monic by construction; exactly so
    return Finish(s, Target(f, "gpr" + std::to_string(length)), bestW, bestDelay, best);
}

std::vector<double> DesignPredictor(const std::vector<double>& r, int order) {
    Matrix a(order, order);
    Vector b(order);
    for (int i = 0; i < order; ++i) {
        b(i) = r[static_cast<std::size_t>(i + 1)];
        for (int j = 0; j < order; ++j) a(i, j) = r[static_cast<std::size_t>(std::abs(i - j))];
    }
    const Vector p = a.ldlt().solve(b);
    return std::vector<double>(p.data(), p.data() + p.size());
}

double PredictionVariance(const std::vector<double>& r, const std::vector<double>& p) {
    double v = r[0];
    for (std::size_t i = 0; i < p.size(); ++i) v -= p[i] * r[i + 1];
    return v;
}

namespace {

// z[k] = Sum_i w[i] x[k - i] + bias, k = 0 ... count - 1, the taps in order
// for every output: sixteen outputs at a time in one vector through all the
// taps (one AVX-512 register, two AVX2 or four SSE ones, whichever the
// processor has), the same float operations on every path.
typedef float Sixteen __attribute__((vector_size(64)));

__attribute__((target_clones("arch=x86-64-v4", "avx2", "default"))) void
Filter(const float* w, int taps, float bias, const float* x, int count, float* z) {
    constexpr int kBlock = 16;
    int k = 0;
    for (; k + kBlock <= count; k += kBlock) {
        Sixteen acc = {};
        for (int i = 0; i < taps; ++i) {
            Sixteen in;
            std::memcpy(&in, x + k - i, sizeof in);
            acc += w[i] * in;
        }
        acc += bias;
        std::memcpy(z + k, &acc, sizeof acc);
    }
    for (; k < count; ++k) {
        float acc = 0.0f;
        for (int i = 0; i < taps; ++i) acc += w[i] * x[k - i];
        z[k] = acc + bias;
    }
}

} // namespace

void Equalize(const Equalizer& e, const float* x, int first, int count, float* z) {
    const int taps = e.Taps();
    double sum = 0, level = 0;
    for (double w : e.taps) sum += w;
    for (double f : e.target.Coefficients()) level += 0.5 * f;
    const float bias = static_cast<float>(level - e.offset * sum);
    float w[kMaxTaps];
    for (int i = 0; i < taps; ++i) w[i] = static_cast<float>(e.taps[static_cast<std::size_t>(i)]);
    // Output k reads x[k + delay - i - first].
    Filter(w, taps, bias, x + (e.delay - first), count, z);
}

} // namespace channel
