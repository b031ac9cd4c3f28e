// The VAT sums of a KSeF invoice, worked out from its lines by the Polish
// rule: per rate, the tax of the summed net values (net-priced invoice) or of
// the summed gross values (gross-priced), rounded half away from zero to the
// grosz. All amounts here are whole grosze (cents).
#pragma once

#include <cstdint>

#include "formats/layer.h"

namespace kw::formats::ksef {

// Where a line's rate goes in the document: its P_12 text and the P_13 field.
enum Slot { kSlot1, kSlot2, kSlot3, kSlot0, kSlotExempt, kSlotNotSubject, kSlotCount };

struct RateClass {
  const char* p12;  // "23", "zw", "np I", ...
  int32_t percent;
  Slot slot;
};

// The rate class of a line's VAT code and rate; null for a rate the document
// cannot carry. Code 5 is exempt and code 9 not subject, whatever their rate.
const RateClass* rateClassOf(uint16_t vatCode, double ratePercent);

// num / den rounded half away from zero (den > 0).
int64_t roundedDiv(int64_t num, int64_t den);

// A line's value in grosze: quantity (thousandths) x unit price (the host's
// amount x 10000), rounded half away from zero.
int64_t lineValue(int32_t quantity, int64_t price);

// Whether a record's money field (amount x 10000) holds a sum the document
// could carry: a number, of at most the document's 16 digits. Anything else
// is a damaged record, and storedCents must not be given it.
bool storedAmountSound(double stored);

// The money field of a record (amount x 10000) in grosze.
int64_t storedCents(double stored);

class VatSums {
 public:
  explicit VatSums(bool pricedNet) : pricedNet_(pricedNet) {}

  void add(const RateClass& rate, int64_t value);

  bool used(Slot slot) const;
  int64_t net(Slot slot) const;
  int64_t vat(Slot slot) const;
  int64_t gross() const;  // P_15: all slots

 private:
  int64_t rateNet(int32_t index) const;
  int64_t rateVat(int32_t index) const;

  bool pricedNet_;
  int64_t base_[9] = {};  // summed line values per rate class
  bool used_[9] = {};
};

}  // namespace kw::formats::ksef
