#include "export/ksef_settings.h"

#include <cstdint>
#include <cstring>

#include "data/messages.h"
#include "formats/ksef.h"
#include "frame/helpers.h"
#include "frame/host_constants.h"
#include "frame/platform.h"
#include "ksef/crypto.h"

namespace kw::exporting {

namespace {

bool flag(const char* key) {
  int32_t value = 0;
  return _fileSetting(kSettingsFile, hostabi::kSettingRead, kKsefSection, key, "%d", &value) == 0 && value != 0;
}

// A setting's text without the blanks around it; empty when it is not there.
std::string text(const char* key) {
  char value[1024] = {};
  if (_fileSetting(kSettingsFile, hostabi::kSettingRead, kKsefSection, key, "%s", value) != 0) return "";
  std::string out = value;
  const size_t first = out.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return out.substr(first, out.find_last_not_of(" \t\r\n") - first + 1);
}

std::string formatted(const char* format, const std::string& value) {
  char out[1024];
  _formatText(out, sizeof out, format, value.c_str());
  return out;
}

}  // namespace

std::string readKsefSendSettings(KsefSendSettings& settings) {
  settings = KsefSendSettings{};
  settings.on = flag("Wysylka");
  if (!settings.on) return "";
  if (!ksefExportEnabled()) return message::kKsefSendWithoutExport.c_str();
  settings.environment = text("Srodowisko");
  if (settings.environment.empty()) return message::kKsefNoEnvironment.c_str();
  if (settings.environment != "TEST" && settings.environment != "DEMO" && settings.environment != "PRD")
    return formatted(message::kKsefUnknownEnvironment, settings.environment.substr(0, 40));
  settings.token = text("Token");
  settings.tokenPlain = !settings.token.empty();
  if (settings.token.empty()) {
    const std::string stored = text("TokenChroniony");
    if (stored.empty()) return message::kKsefNoToken.c_str();
    std::string sealed;
    if (!ksef::crypto::fromBase64(stored, sealed) || !platform::unprotectForUser(sealed, settings.token) ||
        settings.token.empty())
      return message::kKsefProtectedTokenUnreadable.c_str();
  }
  settings.apiAddress = text("AdresAPI");
  if (!settings.apiAddress.empty() && settings.apiAddress.rfind("https://", 0) != 0)
    return message::kKsefAddressNotHttps.c_str();
  settings.caFile = text("CA");
  return "";
}

void protectKsefToken(const KsefSendSettings& settings) {
  std::string sealed;
  if (!settings.tokenPlain || !platform::protectForUser(settings.token, sealed)) return;
  // The protected form first: if the second write fails, both are there and
  // the plain one is protected again next time.
  const std::string stored = ksef::crypto::base64(sealed);
  if (_fileSetting(kSettingsFile, hostabi::kSettingWrite, kKsefSection, "TokenChroniony", "%s", stored.c_str()) != 0)
    return;
  _fileSetting(kSettingsFile, hostabi::kSettingWrite, kKsefSection, "Token", "%s", "");
}

}  // namespace kw::exporting
