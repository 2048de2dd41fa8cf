#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "render/portable_pow.h"

namespace velmora {
namespace {

TEST(PortablePow, SpecialValues) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double base, exponent, result;
  } cases[] = {
      {0.0, 0.6, 0.0}, {0.0, 0.0, 1.0},  {0.0, -1.0, inf}, {1.0, 123.4, 1.0}, {0.3, 0.0, 1.0},
      {0.3, 1.0, 0.3}, {2.0, 10.0, 1024.0}, {0.25, 0.5, 0.5}, {4.0, -0.5, 0.5}, {1e-300, 3.0, 0.0},
      {2.0, 2000.0, inf},
  };
  for (const auto& c : cases) EXPECT_EQ(portable_pow(c.base, c.exponent), c.result) << c.base << " ^ " << c.exponent;
  EXPECT_TRUE(std::isnan(portable_pow(-1.0, 2.0)));
  EXPECT_TRUE(std::isnan(portable_pow(inf, 2.0)));
  EXPECT_TRUE(std::isnan(portable_pow(0.5, std::nan(""))));
}

// The historical style's table truncates; with header byte 100 it must be
// the identity, so nothing may land a hair below its integer.
TEST(PortablePow, UnitExponentTableIsExact) {
  for (int i = 0; i < 256; ++i) EXPECT_EQ(portable_pow(i / 255.0, 1.0) * 255.0, i) << i;
}

// Values where the C library's pow() is off by one ulp from the correctly
// rounded result (glibc 2.36); this one must not be.
TEST(PortablePow, CorrectlyRoundedWhereLibmIsNot) {
  EXPECT_EQ(portable_pow(129 / 255.0, 0.6), 0x1.542c417409193p-1);
  EXPECT_EQ(portable_pow(187 / 255.0, 0.95), 0x1.7d55ae4c74716p-1);
  EXPECT_EQ(portable_pow(254 / 255.0, 0.82), 0x1.fe5a5d5508974p-1);
}

}  // namespace
}  // namespace velmora
