#pragma once
// The distributions the adjustment test needs: the standard normal and the χ² distribution.

namespace fenwix {

// P(Z > z) for a standard normal Z.
double NormalUpperTail(double z);
// z with P(Z > z) = p, 0 < p < 1; accurate to about 1e-9 relative.
double NormalUpperQuantile(double p);
// P(X > x) for X χ²-distributed with three degrees of freedom.
double ChiSquare3UpperTail(double x);
// x with P(X > x) = p for f degrees of freedom (Wilson-Hilferty; a few parts in a thousand of
// the exact value already at f = 3, closer as f grows).
double ChiSquareUpperQuantile(double f, double p);
// The critical |w| of each of n tests so that all of them together reject a sound job with
// probability family_alpha (Šidák).
double FamilyCriticalW(int n, double family_alpha);
// The normal |w| as probable as a χ² value x with three degrees of freedom.
double EquivalentW(double chi2_3);

}  // namespace fenwix
