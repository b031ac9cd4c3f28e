#include "export/finish.h"

#include "data/records.h"
#include "export/mail_step.h"
#include "export/pdf_step.h"
#include "frame/host_services.h"
#include "frame/mazovia_text.h"
#include "data/messages.h"
#include "export/layer.h"

namespace kw::exporting {

void finishExport(const writers::Written& written, int16_t registerValue, int16_t* refreshFlag) {
  const char* tspr = written.tspr;
  const char* firma = written.firma;
  int32_t document = rec::get(tspr, layout::Tspr::IdDokumentu);
  _printToPdf(written.pdfPath, document, svc::printKeyDefinition(registerValue), written.lines, refreshFlag);
  _sendInvoiceMail(written.pdfPath, written.dataPath, rec::text(tspr, layout::Tspr::NrFaktury).c_str(),
                   rec::text(firma, layout::Firma::Nazwa).c_str(), rec::text(firma, layout::Firma::Nip).c_str(),
                   rec::get(tspr, layout::Tspr::IdKontrahenta));
  svc::showTitled(message::kNoticeTitle, message::kDocumentSaved, 1);
}

}  // namespace kw::exporting
