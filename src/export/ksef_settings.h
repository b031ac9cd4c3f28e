// The [KSeF] settings of kwitom.ini that govern sending an invoice to KSeF.
#pragma once

#include <string>

#include "export/layer.h"

namespace kw::exporting {

struct KsefSendSettings {
  bool on = false;          // Wysylka=1 (with Eksport=1)
  std::string environment;  // Srodowisko=: TEST, DEMO or PRD, no default
  std::string token;        // Token= or the opened TokenChroniony=: never shown or written anywhere
  bool tokenPlain = false;  // it came from Token=, not yet protected
  std::string apiAddress;   // AdresAPI=: in place of the environment's address
  std::string caFile;       // CA=: a PEM file of one more trusted root (tests)
};

// Reads the settings. When sending is on but a setting is missing or does
// not fit the others, the result is the reason (host code page), naming the
// key; empty when sending is off or the settings can be used.
std::string readKsefSendSettings(KsefSendSettings& settings);

// After KSeF has accepted a plain token: where the system can protect it for
// this user (Windows), TokenChroniony= takes its protected form and Token= is
// emptied. Natively nothing changes.
void protectKsefToken(const KsefSendSettings& settings);

}  // namespace kw::exporting
