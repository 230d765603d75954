#include "channel/quadrature.h"

#include <cmath>

namespace channel {

namespace {
constexpr double kPi = 3.141592653589793;
} // namespace

void GaussLegendre(int n, std::vector<double>& x, std::vector<double>& w) {
    // Newton's method on the Legendre polynomial from the usual first guesses.
    x.assign(static_cast<std::size_t>(n), 0.0);
    w.assign(static_cast<std::size_t>(n), 0.0);
    for (int i = 0; i < (n + 1) / 2; ++i) {
        double z = std::cos(kPi * (i + 0.75) / (n + 0.5));
        double dp = 0;
        for (int iteration = 0; iteration < 100; ++iteration) {
            double p0 = 1, p1 = 0;
            for (int j = 1; j <= n; ++j) {
                const double p2 = p1;
                p1 = p0;
                p0 = ((2.0 * j - 1) * z * p1 - (j - 1.0) * p2) / j;
            }
            dp = n * (z * p0 - p1) / (z * z - 1);
            const double step = p0 / dp;
            z -= step;
            if (std::fabs(step) < 1e-15) break;
        }
        const std::size_t lo = static_cast<std::size_t>(i),
                          hi = static_cast<std::size_t>(n - 1 - i);
        x[lo] = -z;
        x[hi] = z;
        w[lo] = w[hi] = 2 / ((1 - z * z) * dp * dp);
    }
}

void GaussLegendrePanels(double a, double b, int panels, std::vector<double>& x,
                         std::vector<double>& w) {
    std::vector<double> gx, gw;
    GaussLegendre(16, gx, gw);
    const double width = (b - a) / panels;
    for (int p = 0; p < panels; ++p) {
        const double mid = a + (p + 0.5) * width;
        for (std::size_t i = 0; i < gx.size(); ++i) {
            x.push_back(mid + 0.5 * width * gx[i]);
            w.push_back(0.5 * width * gw[i]);
        }
    }
}

void GaussHermiteNormal(int n, std::vector<double>& x, std::vector<double>& w) {
    // Newton's method on the orthonormal Hermite polynomials (weight
    // exp(-t^2)), from the usual first guesses; then t = x / sqrt(2) turns
    // the rule into one for the standard normal.
    x.assign(static_cast<std::size_t>(n), 0.0);
    w.assign(static_cast<std::size_t>(n), 0.0);
    const double pim4 = std::pow(kPi, -0.25);
    double z = 0;
    for (int i = 0; i < (n + 1) / 2; ++i) {
        if (i == 0)
            z = std::sqrt(2.0 * n + 1) - 1.85575 * std::pow(2.0 * n + 1, -0.16667);
        else if (i == 1)
            z -= 1.14 * std::pow(n, 0.426) / z;
        else if (i == 2)
            z = 1.86 * z - 0.86 * x[0];
        else if (i == 3)
            z = 1.91 * z - 0.91 * x[1];
        else
            z = 2 * z - x[static_cast<std::size_t>(i - 2)];
        double pp = 0;
        for (int iteration = 0; iteration < 100; ++iteration) {
            double p1 = pim4, p2 = 0;
            for (int j = 0; j < n; ++j) {
                const double p3 = p2;
                p2 = p1;
                p1 = z * std::sqrt(2.0 / (j + 1)) * p2 - std::sqrt(double(j) / (j + 1)) * p3;
            }
            pp = std::sqrt(2.0 * n) * p2;
            const double step = p1 / pp;
            z -= step;
            if (std::fabs(step) < 1e-15) break;
        }
        x[static_cast<std::size_t>(i)] = z;
        x[static_cast<std::size_t>(n - 1 - i)] = -z;
        w[static_cast<std::size_t>(i)] = w[static_cast<std::size_t>(n - 1 - i)] = 2 / (pp * pp);
    }
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] *= std::sqrt(2.0);
        w[i] /= std::sqrt(kPi);
    }
}

} // namespace channel
