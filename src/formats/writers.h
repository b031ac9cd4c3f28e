// The format writers, each called by the export dispatcher with the
// invoice record under the cursor, the register value and the refresh flag.
#pragma once

#include <cstdint>

namespace writers {

void pcMarket(char* invoice, int16_t registerValue, int16_t* refreshFlag);    // F1
void optima(char* invoice, int16_t registerValue, int16_t* refreshFlag);      // F2
void comarchEdi(char* invoice, int16_t registerValue, int16_t* refreshFlag);  // F3
void epp(char* invoice, int16_t registerValue, int16_t* refreshFlag);         // F4
void ksef(char* invoice, int16_t registerValue, int16_t* refreshFlag);        // F5, when switched on

}  // namespace writers
