#pragma once
// The distributions the adjustment test needs: the standard normal, the χ² distribution and the
// non-central χ² with three degrees of freedom, and the constants of Baarda's B-method that tie
// the w-test's critical value to the minimal detectable bias.

namespace fenwix {

// P(Z > z) for a standard normal Z.
double NormalUpperTail(double z);
// z with P(Z > z) = p, 0 < p < 1; accurate to about 1e-9 relative.
double NormalUpperQuantile(double p);
// P(X > x) for X χ²-distributed with three degrees of freedom.
double ChiSquare3UpperTail(double x);
// P(X > x) for X χ²-distributed with f degrees of freedom (f > 0, not necessarily whole), from
// the regularised incomplete gamma function.
double ChiSquareUpperTail(double f, double x);
// x with P(X > x) = p for f degrees of freedom, to about 1e-10 relative.
double ChiSquareUpperQuantile(double f, double p);
// P(X > x) for X non-central χ² with three degrees of freedom and non-centrality lambda: the
// squared length of a normal 3-vector of unit variance whose mean has length √lambda.
double NonCentralChiSquare3UpperTail(double x, double lambda);
// The critical |w| of each of n tests so that all of them together reject a sound job with
// probability family_alpha (Šidák).
double FamilyCriticalW(int n, double family_alpha);
// The normal |w| as probable as a χ² value x with three degrees of freedom.
double EquivalentW(double chi2_3);

// The B-method's constants of one round of tests.
struct TestLevels {
  double alpha0 = 0.0;         // level of each two-sided w-test
  double critical_w = 0.0;     // its critical |w|
  double beta0 = 0.0;          // power the minimal detectable bias is found with
  double delta0 = 0.0;         // non-centrality of w at that power: critical |w| + z(β0)
  double critical_chi2 = 0.0;  // of a vector's test with three degrees of freedom at α0
  double lambda0 = 0.0;        // the vector test's non-centrality at the same power
};
TestLevels LevelsFor(double critical_w, double beta0);

}  // namespace fenwix
