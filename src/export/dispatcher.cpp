#include "export/dispatcher.h"

#include <cstring>
#include <string>

#include "data/dialog_templates.h"
#include "data/records.h"
#include "data/messages.h"
#include "export/finish.h"
#include "export/ksef_settings.h"
#include "export/ksef_step.h"
#include "formats/ksef.h"
#include "formats/writers.h"
#include "frame/host_constants.h"
#include "frame/host_services.h"
#include "frame/platform.h"
#include "export/layer.h"

namespace kw::exporting {

namespace {

// Keeps the host's current customer record for the length of one export:
// writers look other customers up into the same buffer. It is put back on
// every way out, a structured exception from the host included.
class CustomerRecordSaver {
 public:
  CustomerRecordSaver() {
    HostTable* t = svc::tableObject(hostabi::kCustomerTable);
    if (t && table::currentRecord(t)) {
      std::memcpy(saved_, table::currentRecord(t), sizeof saved_);
      taken_ = 1;
    }
  }
  ~CustomerRecordSaver() { restore(); }
  CustomerRecordSaver(const CustomerRecordSaver&) = delete;
  CustomerRecordSaver& operator=(const CustomerRecordSaver&) = delete;

 private:
  void restore() {
    if (!taken_) return;
    taken_ = 0;
    HostTable* t = svc::tableObject(hostabi::kCustomerTable);
    if (t && table::currentRecord(t)) std::memcpy(table::currentRecord(t), saved_, sizeof saved_);
  }

  char saved_[layout::Kontrahent::kSize];
  int16_t taken_ = 0;
  platform::UnwindGuard guard_{this, [](void* self) { static_cast<CustomerRecordSaver*>(self)->restore(); }};
};

// F5: the KSeF file, sent to KSeF when the settings say so. It has no
// printout and no mail: the buyer receives a KSeF invoice through KSeF.
void exportToKsef(char* invoice) {
  KsefSendSettings settings;
  const std::string refused = readKsefSendSettings(settings);
  if (!refused.empty()) {
    svc::showTitled(message::kErrorTitle, (std::string(message::kKsefSettingsRefused.c_str()) + refused).c_str(), 1);
    return;
  }
  if (!settings.on) {
    writers::ksef(invoice, nullptr);
    return;
  }
  if (!ksefSendNeedsNewFile(invoice, settings)) return;
  writers::ksef(invoice, [&](const writers::Written& written) { ksefSendWritten(written, settings); });
}

}  // namespace

void runWriter(InvoiceWriter writer, char* invoice, int16_t registerValue, int16_t* refreshFlag) {
  if (writer == &writers::ksef) return exportToKsef(invoice);
  writer(invoice, [=](const writers::Written& written) { finishExport(written, registerValue, refreshFlag); });
}

int32_t exportDispatcher(char* invoice, int16_t registerValue, int16_t* refreshFlag) {
  CustomerRecordSaver saver;
  platform::mkdir("FAKTURY");
  const bool ksef = ksefExportEnabled();
  const unsigned char* templates = ksef ? kDialogTemplatesKsef.data() : kDialogTemplates.data();
  int16_t code = static_cast<int16_t>(svc::runDialog(templates, hostabi::kExportDialog, nullptr, nullptr));
  InvoiceWriter writer = nullptr;
  switch (static_cast<uint16_t>(code)) {
    case hostabi::kKeyF1: writer = &writers::pcMarket; break;
    case hostabi::kKeyF2: writer = &writers::optima; break;
    case hostabi::kKeyF3: writer = &writers::comarchEdi; break;
    case hostabi::kKeyF4: writer = &writers::epp; break;
    case hostabi::kKeyF5: writer = ksef ? &writers::ksef : nullptr; break;
  }
  if (writer) runWriter(writer, invoice, registerValue, refreshFlag);
  return code;
}

}  // namespace kw::exporting
