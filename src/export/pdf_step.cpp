#include "export/pdf_step.h"

#include "frame/helpers.h"
#include "frame/host_constants.h"
#include "frame/host_services.h"
#include "frame/platform.h"
#include "data/messages.h"
#include "export/layer.h"

namespace kw::exporting {

namespace {

constexpr int32_t kFileOutput = 0x5600;
constexpr int32_t kSearchKeySize = 256;

// The host's print-output object, living in this object's own storage. While
// it exists and is set up for a file, the host's printing goes into that
// file; disposing of it completes the file, so it is disposed on every path,
// a structured exception from the host included.
class PrintOutput {
 public:
  PrintOutput() {
    svc::printObjectConstruct(storage_);
    live_ = true;
  }
  ~PrintOutput() { dispose(); }
  PrintOutput(const PrintOutput&) = delete;
  PrintOutput& operator=(const PrintOutput&) = delete;

  // A reference that the host does not hand back is not called on.
  void intoFile(const char* path) {
    void* target = svc::printTarget(storage_, kFileOutput, path, 1, 1, 0, 0, 0);
    if (!target) return;
    void* opened = svc::printTargetOpen(target);
    if (!opened) return;
    svc::printTargetStart(opened);
  }

 private:
  void dispose() {
    if (!live_) return;
    live_ = false;
    svc::printObjectDispose(storage_);
  }

  alignas(8) unsigned char storage_[1460];
  bool live_ = false;
  platform::UnwindGuard guard_{this, [](void* self) { static_cast<PrintOutput*>(self)->dispose(); }};
};

HostTable* preparedTable(int32_t number) {
  HostTable* table = svc::tableObject(number);
  if (table) svc::prepareTable(table, hostabi::kPrepareForReading);
  return table;
}

void storeKeyValue(int16_t* value, int16_t key) {
  if (value) *value = key;
}

}  // namespace

void _printToPdf(const char* pdfPath, int32_t documentNumber, int32_t keyDefinition, HostTable* lineTable,
                 int16_t* refreshFlag) {
  preparedTable(hostabi::kLineTable);
  if (!pdfPath) return;
  _showMessage(message::kNoticeTitle, message::kCreatingFile, 0x200, pdfPath);

  PrintOutput output;
  output.intoFile(pdfPath);
  if (!preparedTable(hostabi::kInvoiceTable)) return;

  storeKeyValue(svc::printKeyValueA(), hostabi::kKeyAltD);
  storeKeyValue(svc::printKeyValueB(), hostabi::kKeyEsc);
  char searchKey[kSearchKeySize] = {};
  svc::makeSearchKey(keyDefinition, 0, searchKey, documentNumber);
  svc::printInvoice(keyDefinition, searchKey, lineTable);
  svc::printEnd();
  if (refreshFlag) *refreshFlag = 1;
  svc::printFinish();
}

}  // namespace kw::exporting
