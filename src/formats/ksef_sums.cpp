#include "formats/ksef_sums.h"

#include <cmath>

#include "formats/layer.h"

namespace kw::formats::ksef {

namespace {

// 23 and 22 % share the basic-rate field, 8 and 7 % the first reduced one,
// 5 and 3 % the second: the same pairs as the host's groups A, B and C.
constexpr RateClass kClasses[9] = {
    {"23", 23, kSlot1},  {"22", 22, kSlot1},     {"8", 8, kSlot2},
    {"7", 7, kSlot2},    {"5", 5, kSlot3},       {"3", 3, kSlot3},
    {"0 KR", 0, kSlot0}, {"zw", 0, kSlotExempt}, {"np I", 0, kSlotNotSubject},
};
constexpr uint16_t kExemptCode = 5;
constexpr uint16_t kNotSubjectCode = 9;

int32_t indexOf(const RateClass& rate) { return static_cast<int32_t>(&rate - kClasses); }

}  // namespace

const RateClass* rateClassOf(uint16_t vatCode, double ratePercent) {
  if (vatCode == kExemptCode) return &kClasses[7];
  if (vatCode == kNotSubjectCode) return &kClasses[8];
  for (int32_t i = 0; i < 7; ++i)
    if (std::fabs(ratePercent - kClasses[i].percent) < 0.001) return &kClasses[i];
  return nullptr;
}

int64_t roundedDiv(int64_t num, int64_t den) {
  int64_t half = den / 2;
  return num >= 0 ? (num + half) / den : -((-num + half) / den);
}

int64_t lineValue(int32_t quantity, int64_t price) {
  // thousandths x ten-thousandths: 10^7 per unit, 10^5 per grosz
  return roundedDiv(static_cast<int64_t>(quantity) * price, 100000);
}

bool storedAmountSound(double stored) { return std::isfinite(stored) && std::fabs(stored) < 1e18; }

int64_t storedCents(double stored) { return std::llround(stored / 100.0); }

void VatSums::add(const RateClass& rate, int64_t value) {
  base_[indexOf(rate)] += value;
  used_[indexOf(rate)] = true;
}

int64_t VatSums::rateVat(int32_t index) const {
  int64_t percent = kClasses[index].percent;
  if (pricedNet_) return roundedDiv(base_[index] * percent, 100);
  return roundedDiv(base_[index] * percent, 100 + percent);
}

int64_t VatSums::rateNet(int32_t index) const { return pricedNet_ ? base_[index] : base_[index] - rateVat(index); }

bool VatSums::used(Slot slot) const {
  for (int32_t i = 0; i < 9; ++i)
    if (kClasses[i].slot == slot && used_[i]) return true;
  return false;
}

int64_t VatSums::net(Slot slot) const {
  int64_t sum = 0;
  for (int32_t i = 0; i < 9; ++i)
    if (kClasses[i].slot == slot) sum += rateNet(i);
  return sum;
}

int64_t VatSums::vat(Slot slot) const {
  int64_t sum = 0;
  for (int32_t i = 0; i < 9; ++i)
    if (kClasses[i].slot == slot) sum += rateVat(i);
  return sum;
}

int64_t VatSums::gross() const {
  int64_t sum = 0;
  for (int32_t i = 0; i < 9; ++i) sum += rateNet(i) + rateVat(i);
  return sum;
}

}  // namespace kw::formats::ksef
