// The [KSeF] settings of kwitom.ini that govern sending an invoice to KSeF.
#pragma once

#include <string>

#include "export/layer.h"

namespace kw::exporting {

struct KsefSendSettings {
  bool on = false;          // Wysylka=1 (with Eksport=1)
  std::string environment;  // Srodowisko=: TEST, DEMO or PRD, no default
  std::string token;        // Token=: the KSeF token, never shown or written anywhere
  std::string apiAddress;   // AdresAPI=: in place of the environment's address
  std::string caFile;       // CA=: a PEM file of one more trusted root (tests)
};

// Reads the settings. When sending is on but a setting is missing or does
// not fit the others, the result is the reason (host code page), naming the
// key; empty when sending is off or the settings can be used.
std::string readKsefSendSettings(KsefSendSettings& settings);

}  // namespace kw::exporting
