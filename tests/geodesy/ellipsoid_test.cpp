#include "geodesy/ellipsoid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace fenwix {
namespace {

void ExpectWgs84(const Ellipsoid& e) {
  EXPECT_EQ(e.name, "WGS 84");
  EXPECT_EQ(e.a, 6378137.0);
  EXPECT_EQ(e.inv_f, 298.257223563);
}

TEST(DatumEllipsoid, TakesSettingsInsideTheLimits) {
  const Ellipsoid bessel = ChooseDatumEllipsoid("Bessel 1841", 6377397.155, 299.1528128);
  EXPECT_EQ(bessel.name, "Bessel 1841");
  EXPECT_EQ(bessel.a, 6377397.155);
  EXPECT_EQ(bessel.inv_f, 299.1528128);
  // The limits themselves are inside.
  const Ellipsoid upper = ChooseDatumEllipsoid("X", 7000000.0, 250.0);
  EXPECT_EQ(upper.name, "X");
  EXPECT_EQ(upper.a, 7000000.0);
  EXPECT_EQ(upper.inv_f, 250.0);
  const Ellipsoid lower = ChooseDatumEllipsoid("Y", 6000000.0, 350.0);
  EXPECT_EQ(lower.a, 6000000.0);
  EXPECT_EQ(lower.inv_f, 350.0);
}

TEST(DatumEllipsoid, FallsBackToWgs84) {
  ExpectWgs84(ChooseDatumEllipsoid("Clarke 1866", 5999999.9, 294.9786982));
  ExpectWgs84(ChooseDatumEllipsoid("Clarke 1866", 7000000.1, 294.9786982));
  ExpectWgs84(ChooseDatumEllipsoid("Clarke 1866", 6378206.4, 350.1));
  ExpectWgs84(ChooseDatumEllipsoid("Clarke 1866", 6378206.4, 249.9));
  ExpectWgs84(ChooseDatumEllipsoid("", 6378206.4, 294.9786982));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  ExpectWgs84(ChooseDatumEllipsoid("Z", nan, 300.0));
  ExpectWgs84(ChooseDatumEllipsoid("Z", 6378137.0, nan));
  ExpectWgs84(ChooseDatumEllipsoid("Z", 6378137.0, std::numeric_limits<double>::infinity()));
}

TEST(PropagationEllipsoid, UsesTheFixedSemiMinorAxis) {
  const Ellipsoid grs80 = PropagationEllipsoid();
  EXPECT_EQ(grs80.a, 6378137.0);
  EXPECT_EQ(grs80.inv_f, 298.257222101);
  const double b = 6356752.314140356;
  EXPECT_EQ(PropagationEccentricitySquared(), 1.0 - b * b / (6378137.0 * 6378137.0));
  EXPECT_NEAR(PropagationEccentricitySquared(), 0.00669438002290, 1e-14);
}

TEST(EllipsoidConstants, DerivedValuesOfWgs84) {
  EXPECT_NEAR(SemiMinorAxis(WGS84_A, WGS84_INV_F), 6356752.314245, 1e-6);
  EXPECT_NEAR(EccentricitySquaredOf(WGS84_A, WGS84_INV_F), 0.00669437999014, 1e-14);
}

}  // namespace
}  // namespace fenwix
