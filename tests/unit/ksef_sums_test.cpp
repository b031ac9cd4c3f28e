// The KSeF sums: rounding halves away from zero, the two pricings, and which
// VAT codes and rates the document can carry.
#include <gtest/gtest.h>

#include <string>

#include "formats/ksef_sums.h"

namespace {

using namespace kw::formats::ksef;

TEST(KsefSums, RoundingTakesHalvesAwayFromZero) {
  struct Case {
    int64_t num, den, want;
  } cases[] = {{24150, 100, 242}, {-24150, 100, -242}, {24149, 100, 241}, {-24149, 100, -241},
               {0, 123, 0},       {5, 10, 1},          {-5, 10, -1},      {4, 10, 0}};
  for (const Case& c : cases) EXPECT_EQ(roundedDiv(c.num, c.den), c.want) << c.num << "/" << c.den;
}

TEST(KsefSums, LineValueIsQuantityTimesPriceToTheGrosz) {
  EXPECT_EQ(lineValue(2500, 123400), 3085);  // 2.5 x 12.34
  EXPECT_EQ(lineValue(2000, 12345), 247);    // 2 x 1.2345 = 2.469
  EXPECT_EQ(lineValue(1000, -5000), -50);    // a discount line
  EXPECT_EQ(lineValue(125, 500000), 625);    // 0.125 x 50
  EXPECT_EQ(lineValue(1000, 50), 1);         // 0.005 rounds up
  EXPECT_EQ(storedCents(308500.00000000006), 3085);
}

TEST(KsefSums, NetPricedTaxesTheNetSumAndGrossPricedTheGrossSum) {
  const RateClass* basic = rateClassOf(0, 23.0);
  ASSERT_NE(basic, nullptr);
  VatSums net(true);
  net.add(*basic, 350);
  net.add(*basic, 700);  // 10.50 -> VAT 2.415 -> 2.42, not 0.81 + 1.61 per line
  EXPECT_EQ(net.net(kSlot1), 1050);
  EXPECT_EQ(net.vat(kSlot1), 242);
  VatSums gross(false);
  gross.add(*basic, 7380);
  gross.add(*basic, 2620);  // 100.00 gross -> VAT 18.699 -> 18.70, net 81.30
  EXPECT_EQ(gross.vat(kSlot1), 1870);
  EXPECT_EQ(gross.net(kSlot1), 8130);
  EXPECT_EQ(gross.gross(), 10000);
  EXPECT_FALSE(gross.used(kSlot2));
}

TEST(KsefSums, RatesShareTheHostGroupsPairsAndCodesFiveAndNineGoApart) {
  struct Case {
    uint16_t code;
    double rate;
    const char* p12;  // null: refused
    Slot slot;
  } cases[] = {{0, 23, "23", kSlot1},   {7, 22, "22", kSlot1},      {1, 8, "8", kSlot2},
               {8, 7, "7", kSlot2},     {2, 5, "5", kSlot3},        {6, 3, "3", kSlot3},
               {3, 0, "0 KR", kSlot0},  {5, 23, "zw", kSlotExempt}, {9, 0, "np I", kSlotNotSubject},
               {4, 4, nullptr, kSlot0}, {10, 23.5, nullptr, kSlot0}};
  for (const Case& c : cases) {
    const RateClass* got = rateClassOf(c.code, c.rate);
    if (!c.p12) {
      EXPECT_EQ(got, nullptr) << c.code;
      continue;
    }
    ASSERT_NE(got, nullptr) << c.code;
    EXPECT_EQ(std::string(got->p12), c.p12);
    EXPECT_EQ(got->slot, c.slot) << c.code;
  }
  VatSums sums(true);
  sums.add(*rateClassOf(0, 23), 1000);
  sums.add(*rateClassOf(7, 22), 1000);  // each rate taxed on its own sum
  EXPECT_EQ(sums.vat(kSlot1), 230 + 220);
  sums.add(*rateClassOf(5, 0), 500);
  EXPECT_EQ(sums.vat(kSlotExempt), 0);
  EXPECT_EQ(sums.gross(), 2000 + 450 + 500);
}

}  // namespace
