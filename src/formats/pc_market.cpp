// Not built yet: says so instead of writing nothing.
#include "host_services.h"
#include "writers.h"

namespace writers {

void pcMarket(char*, int16_t, int16_t*) { svc::showText("Ten format eksportu nie jest jeszcze dostepny."); }

}  // namespace writers
