// Formats whose writers are not built yet say so instead of writing nothing.
#include "host_services.h"
#include "writers.h"

namespace writers {

namespace {
void notYet() { svc::showText("Ten format eksportu nie jest jeszcze dostepny."); }
}  // namespace

void pcMarket(char*, int16_t, int16_t*) { notYet(); }
void optima(char*, int16_t, int16_t*) { notYet(); }
void comarchEdi(char*, int16_t, int16_t*) { notYet(); }
void epp(char*, int16_t, int16_t*) { notYet(); }

}  // namespace writers
