#include "export/mail_step.h"

#include <cstring>
#include <string>

#include "data/dialog_templates.h"
#include "data/records.h"
#include "frame/helpers.h"
#include "frame/host_constants.h"
#include "frame/host_services.h"
#include "frame/mazovia_text.h"
#include "frame/own_file.h"
#include "frame/platform.h"
#include "data/messages.h"
#include "export/layer.h"

namespace kw::exporting {

namespace {

constexpr uint16_t kConfigure = hostabi::kKeyF3;  // F3 Konfig.
constexpr int16_t kItemChosen = 1;

constexpr int32_t kMailConfiguration = 34;
constexpr const char* kAttributeName = "e-mail";
constexpr int32_t kAttributeNameMax = 40;
constexpr int32_t kRecipientMax = 300;
constexpr int32_t kEmailMax = 80;
constexpr int32_t kSubjectMax = 60;

constexpr int32_t kReadRecord = -1;
constexpr int32_t kWriteRecord = 0;
constexpr int32_t kAnyIndex = -1;

constexpr size_t kPathSize = 300;
constexpr char kMailFileName[] = "m%s.tmp";
constexpr size_t kMailNameMax = 48;
constexpr size_t kWidePathSize = 520;

using WidePath = char[kWidePathSize];

// Copies a text into the recipient buffer, cut to the 300 characters it holds.
void putRecipient(char* buffer, const std::string& address) {
  size_t n = address.size() < static_cast<size_t>(kRecipientMax) ? address.size() : kRecipientMax;
  std::memcpy(buffer, address.data(), n);
  buffer[n] = '\0';
}

void toWide(WidePath& wide, const char* path, int32_t fromCode) {
  std::memset(wide, 0, sizeof wide);
  if (path) svc::convertText(wide, static_cast<int32_t>(sizeof wide), path, -1, fromCode, hostabi::kCodePageWide);
}

int32_t hostTextCode() {
  const int32_t* code = svc::currentTextCode();
  return code ? *code : hostabi::kCodePageHost;
}

}  // namespace

void _getRecipient(char* buffer, int32_t customer) {
  buffer[0] = '\0';
  char record[layout::Kontrahent::kSize] = {};
  svc::customerRecord(record, kReadRecord, customer, kAnyIndex);
  if (!rec::isEmpty(record, layout::Kontrahent::Email)) {
    // The field holds at most 80 characters; its 81st byte is its zero.
    putRecipient(buffer, rec::text(record, layout::Kontrahent::Email).substr(0, kEmailMax));
    return;
  }
  char attribute[layout::Attribute::kSize] = {};
  if (svc::readAttribute(0, customer, 0, hostabi::kEmailAttributeGroup, kAttributeName, attribute, 0) >= 0)
    putRecipient(buffer, rec::text(attribute, layout::Attribute::Value));
}

void _storeRecipient(const char* address, int32_t customer) {
  if (std::strlen(address) <= static_cast<size_t>(kEmailMax)) {
    char record[layout::Kontrahent::kSize] = {};
    if (svc::customerRecord(record, kReadRecord, customer, kAnyIndex) == 0) return;
    svc::copyBounded(rec::field(record, layout::Kontrahent::Email), address, kEmailMax);
    svc::customerRecord(record, kWriteRecord, customer, kAnyIndex);
    return;
  }
  char attribute[layout::Attribute::kSize] = {};
  rec::store<int32_t>(attribute, layout::Attribute::RecordNumber.offset, customer);
  rec::store<int16_t>(attribute, layout::Attribute::WordA.offset, hostabi::kAttributeWordA);
  rec::store<int16_t>(attribute, layout::Attribute::WordB.offset, hostabi::kAttributeWordB);
  svc::copyBounded(rec::field(attribute, layout::Attribute::Name), kAttributeName, kAttributeNameMax);
  svc::copyBounded(rec::field(attribute, layout::Attribute::Value), address, kRecipientMax);
  svc::writeAttribute(0, hostabi::kEmailAttributeGroup, attribute);
}

int32_t KW_CDECL _mailDialogKey(int16_t command, int16_t event) {
  if (event != kItemChosen || command != kConfigure) return 0;
  svc::configScreen(0, kMailConfiguration, 0);
  return hostabi::kCallbackKeepOpen;
}

namespace {

// The mail file of this one mail: "m<tag>.tmp" in the host's folder, created
// exclusively. One fixed name there would let a second user's mail, built
// before the first had gone out, reach the first user's customer.
class MailFile {
 public:
  MailFile() {
    const char* folder = svc::hostFolder();
    claimed_ = claimOwnFile(path, sizeof path, [folder](char* name, size_t, const char* tag) {
      // Room is kept for the separator and the file name that the host appends.
      std::memset(name, 0, kPathSize);
      if (folder) svc::copyBounded(name, folder, static_cast<int32_t>(kPathSize - kMailNameMax - 1));
      char fileName[kMailNameMax];
      _formatText(fileName, sizeof fileName, kMailFileName, tag);
      svc::appendFileName(name, fileName);
    });
    // Never a name that may be another's: the host then fails to build the
    // mail, and says so.
    if (!claimed_) path[0] = '\0';
  }
  // Once the host has answered, the file (with the attachments and the
  // address) has done its work: it does not stay in the shared folder.
  ~MailFile() {
    if (claimed_) platform::DeleteFileA(path);
  }
  MailFile(const MailFile&) = delete;
  MailFile& operator=(const MailFile&) = delete;

  char path[kPathSize] = {};

 private:
  bool claimed_ = false;
};

}  // namespace

void _sendInvoiceMail(const char* pdfPath, const char* dataPath, const char* invoiceNumber, const char* sellerName,
                      const char* sellerNip, int32_t customer) {
  MailFile mail;
  const char* mailPath = mail.path;

  const int32_t textCode = hostTextCode();
  WidePath wideMail, widePdf, wideData;
  toWide(wideMail, mailPath, textCode);
  toWide(widePdf, pdfPath, textCode);
  toWide(wideData, dataPath, textCode);

  char recipient[kRecipientBufferSize] = {};
  _getRecipient(recipient, customer);
  int16_t command =
      static_cast<int16_t>(svc::runDialog(kDialogTemplates.data(), hostabi::kMailDialog, recipient, &_mailDialogKey));
  if (command == hostabi::kCommandCancel) return;
  recipient[kRecipientBufferSize - 1] = '\0';  // whatever the dialog left there
  _storeRecipient(recipient, customer);

  // Read after the dialog: what F3 changed applies to this mail.
  char settings[layout::MailSettings::kSize] = {};
  svc::mailSettings(0, kMailConfiguration, settings, 0);

  char subject[1024];
  char body[1024];
  _formatText(subject, sizeof subject, "Faktura nr %s", invoiceNumber);
  _formatText(body, sizeof body, "Dokument wystawiony przez:\n%s\nNIP: %s", sellerName, sellerNip);
  svc::copyBounded(rec::field(settings, layout::MailSettings::Subject), subject, kSubjectMax);
  svc::copyBounded(rec::field(settings, layout::MailSettings::Recipient), recipient, kRecipientMax);

  if (svc::buildMailFile(settings, body, wideMail, widePdf, wideData, 0) == 0) {
    _showMessage(message::kNoticeTitle, message::kMailBuildFailed, 1, recipient);
    return;
  }
  int32_t sent = svc::sendMail(mailPath, 0, rec::field(settings, layout::MailSettings::Server),
                               rec::field(settings, layout::MailSettings::Sender),
                               rec::field(settings, layout::MailSettings::SenderName),
                               static_cast<int32_t>(rec::get(settings, layout::MailSettings::Port)));
  if (sent != 0) _showMessage(message::kNoticeTitle, message::kMailSendFailed, 1, recipient);
}

}  // namespace kw::exporting
