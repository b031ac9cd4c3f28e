// Export 30001 (register / unregister) and 30008 (load report): the checks
// that decide whether the plug-in fits the host, and the one message::kStopTitle
// message that explains a refusal.
#include "export/registration.h"

#include <algorithm>
#include <cstring>

#include "data/records.h"
#include "export/register_hook.h"
#include "export/exports.h"
#include "frame/helpers.h"
#include "formats/ksef.h"
#include "frame/host_constants.h"
#include "frame/host_services.h"
#include "frame/mazovia_text.h"
#include "frame/module_state.h"
#include "frame/platform.h"
#include "data/messages.h"
#include "export/layer.h"

namespace kw::exporting {

namespace {

SizeMismatch* g_mismatches = nullptr;
int32_t g_mismatchCount = -1;

constexpr int32_t kInterfaceVersion = 112;
constexpr size_t kReportSize = 3072;
constexpr size_t kListSize = 256;

template <typename... A>
void showStop(const char* format, A... values) {
  svc::stopMessage(hostabi::kStopMessageNumber, message::kStopTitle, format, hostabi::kStopMessageFlags,
                   hostabi::kStopMessageContext, values...);
}

// The list of missing ordinals and its message; returns the missing count.
int32_t missingServiceText(char* report) {
  report[0] = '\0';
  int32_t n = g_missing.count;
  if (n == 0) return 0;
  char list[kListSize] = {};
  if (n == 1) {
    _formatTextN(list, kListSize - 1, message::kMissingService, g_missing.ordinals[0]);
  } else {
    int32_t recorded = n < 8 ? n : 8;
    uint16_t ordinals[8];
    std::copy(g_missing.ordinals, g_missing.ordinals + recorded, ordinals);
    // Descending, so that reading from the last position gives ascending order.
    for (int32_t i = 1; i < recorded; ++i)
      for (int32_t j = i; j > 0 && ordinals[j - 1] < ordinals[j]; --j) std::swap(ordinals[j - 1], ordinals[j]);
    _formatTextN(list, kListSize - 1, "funkcje o numerach");
    for (int32_t i = recorded - 1; i >= 0; --i) {
      size_t used = std::strlen(list);
      _formatTextN(list + used, kListSize - 1 - used, " %hu,", ordinals[i]);
    }
    size_t used = std::strlen(list);
    if (used > 0 && list[used - 1] == ',') list[used - 1] = '\0';
  }
  _formatTextN(report, kReportSize - 1, message::kMissingServices, kPluginTitle, list, n == 1 ? "jej" : "ich");
  return n;
}

// The table of size mismatches; -1 when there is one.
int32_t mismatchText(char* report) {
  report[0] = '\0';
  if (!g_mismatches) return 0;
  char* end = report + platform::wsprintfA(report, message::kRecordSizesDiffer, kPluginTitle, state().baseName);
  for (SizeMismatch* entry = g_mismatches; entry; entry = entry->next) {
    char found[16] = "brak";
    if (entry->found != 0) platform::wsprintfA(found, "%d", entry->found);
    end += platform::wsprintfA(end, "\x01tp25p40\x01%s\t%d\t%s\n", entry->name, entry->expected, found);
  }
  platform::wsprintfA(end, message::kModuleNotLoaded, state().baseName);
  return -1;
}

int32_t featureCheck() {
  ModuleState& s = state();
  uint32_t result = s.featureEntry ? static_cast<uint32_t>(s.featureEntry(hostabi::kFeatureSet, hostabi::kFeatureQuery))
                                   : 0xFFFFFFFFu;
  s.unsupportedMask = result & ~1u;
  return s.unsupportedMask == 0 ? 0 : -1;
}

// Steps 1 to 4 of the registration: features, acceptance, version, sizes.
int32_t compatibilityChecks(bool refuseMissingServices) {
  if (featureCheck() != 0) return -1;
  // A host that lacks a service would make a later call reach nothing.
  if (refuseMissingServices && g_missing.count != 0) return -1;
  if (svc::acceptModule(state().ownModule, nullptr, 0) != 0) return -1;
  if (svc::interfaceVersion() != kInterfaceVersion) return -1;
  if (recordSizeCheck() != 0) return -1;
  return 0;
}

}  // namespace

void appendMismatch(SizeMismatch* entry) {
  SizeMismatch** link = &g_mismatches;
  for (; *link; link = &(*link)->next)
    if (*link == entry) return;
  entry->next = nullptr;
  *link = entry;
}

int32_t recordSizeCheck() {
  if (g_mismatchCount != -1) return g_mismatchCount;
  static SizeMismatch entries[] = {{layout::Tspr::kSize, 0, "Tspr", nullptr},
                                   {layout::Tspr_dok::kSize, 0, "Tspr_dok", nullptr},
                                   {1024, 0, "k9", nullptr}};
  static const int32_t tables[] = {hostabi::kInvoiceTable, hostabi::kLineTable, hostabi::kK9Table};
  for (int i = 0; i < 3; ++i) {
    HostTable* t = svc::tableObject(tables[i]);
    int32_t found = t ? table::recordLength(t) : 0;
    if (found != entries[i].expected) {
      entries[i].found = found;
      appendMismatch(&entries[i]);
    }
  }
  int32_t count = 0;
  for (SizeMismatch* e = g_mismatches; e; e = e->next) ++count;
  g_mismatchCount = count;
  return count;
}

void showInstallNotice() {
  int32_t value = 0;
  int16_t flag = 0;
  if (_fileSetting(kSettingsFile, hostabi::kSettingRead, "kwitom", "Pytaj", "%d", &value) == 0)
    flag = static_cast<int16_t>(value);
  if (flag != 0) return;
  char text[1024];
  _formatText(text, sizeof text, message::kInstalled, kPluginTitle);
  value = flag;
  svc::showNotice(1668, &value, 0, text);
  _fileSetting(kSettingsFile, hostabi::kSettingWrite, "kwitom", "Pytaj", "%d",
               static_cast<int32_t>(static_cast<int16_t>(value)));
}

int32_t registrationChecks() {
  if (compatibilityChecks(true) != 0) return -1;
  if (hook::install() != 0) {
    hook::remove();
    svc::showText(message::kNeedsNewerPlugin);
    return -1;
  }
  showInstallNotice();
  return 0;
}

void loadReport() {
  ModuleState& s = state();
  if (s.featureEntry) s.featureEntry(hostabi::kFeatureSet, hostabi::kFeatureReport);
  char report[kReportSize] = {};
  if (s.unsupportedMask != 0) {
    _formatText(report, kReportSize, message::kMissingFeatures, s.unsupportedMask, kPluginTitle);
    showStop("%s", report);
  } else if (missingServiceText(report) != 0) {
    showStop("%s", report);
  } else if (mismatchText(report) != 0) {
    showStop("%s", report);
  } else if (svc::acceptModule(s.ownModule, report, static_cast<int32_t>(kReportSize)) != 0) {
    showStop("%s", report);
  } else if (compatibilityChecks(false) != 0) {
    showStop(message::kVersionsDiffer.c_str(), s.baseName, s.baseName);
  } else {
    showStop(message::kNotInitialised.c_str(), s.baseName);
  }
}

}  // namespace kw::exporting

extern "C" int32_t KW_CDECL kwRegister(FeatureEntry entry, char* title) {
  if (!entry) {
    kw::exporting::hook::remove();
    return 0;
  }
  kw::frame::state().featureEntry = entry;
  if (title) std::memcpy(title, kw::frame::kPluginTitle, sizeof kw::frame::kPluginTitle);
  return kw::exporting::registrationChecks();
}

extern "C" int32_t KW_CDECL kwLoadReport(int32_t flag) {
  if (flag != 0) kw::exporting::loadReport();
  return 0;
}
