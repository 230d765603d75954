#pragma once
// Gaussian quadrature rules for the channel's integrals.
#include <vector>

namespace channel {

// Nodes and weights of n-point Gauss-Legendre quadrature on [-1, 1].
void GaussLegendre(int n, std::vector<double>& x, std::vector<double>& w);

// Int_a^b f(x) dx ~ Sum w_i f(x_i): `panels` equal panels of 16-point
// Gauss-Legendre, their nodes and weights appended.
void GaussLegendrePanels(double a, double b, int panels, std::vector<double>& x,
                         std::vector<double>& w);

// E[f(Z)] for Z ~ N(0, 1) ~ Sum w_i f(x_i): n-point Gauss-Hermite quadrature
// rescaled to the standard normal (weights sum to 1).
void GaussHermiteNormal(int n, std::vector<double>& x, std::vector<double>& w);

} // namespace channel
