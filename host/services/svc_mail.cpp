// Host services: mail. The settings of configuration 34 come from the
// database's `mail` section; a mail file is built from the settings record
// and sent over SMTP, or, with no server, delivered into the folder OUTBOX.
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/record_layout.h"
#include "data/records.h"
#include "frame/host_constants.h"
#include "host_state.h"
#include "mail.h"
#include "mazovia.h"
#include "service_impl.h"
#include "shared_file.h"
#include "utf8_file.h"

#if defined(_WIN32)
#include <direct.h>
#endif

using namespace welkor;

namespace {

namespace M = layout::MailSettings;

constexpr int32_t kMailConfiguration = 34;
constexpr int32_t kWidePathBytes = 520;
constexpr int32_t kDefaultPort = 25;
constexpr const char* kOutbox = "OUTBOX";
// A mail needs a sender; the stand-in host has one when the settings have none.
constexpr const char* kDefaultSender = "welkor@localhost";

void putText(char* record, layout::Text f, const std::string& text) {
  size_t n = text.size() < static_cast<size_t>(f.room) - 1 ? text.size() : f.room - 1u;
  std::memcpy(record + f.offset, text.data(), n);
  record[f.offset + n] = '\0';
}

std::string trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::string fromWide(const void* wide) {
  char utf8[kWidePathBytes * 2];
  convertText(utf8, sizeof utf8, static_cast<const char*>(wide), kWidePathBytes, kUtf16, kUtf8);
  return utf8;
}

std::string baseName(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string contentTypeOf(const std::string& name) {
  size_t dot = name.find_last_of('.');
  std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "pdf") return "application/pdf";
  if (extension == "xml") return "application/xml";
  if (extension == "txt") return "text/plain";
  return "application/octet-stream";
}

// An attachment that cannot be read fails the whole mail: a mail that
// silently lacks the invoice would be worse than none.
bool attach(MailMessage& message, const void* widePath) {
  if (!widePath) return false;
  std::string path = fromWide(widePath);
  if (path.empty()) return false;
  MailAttachment attachment;
  attachment.name = baseName(path);
  attachment.contentType = contentTypeOf(attachment.name);
  attachment.path = hostPath(path.c_str());
  // A folder or a device under the name would be read without end.
  if (!isRegularFile(attachment.path) || !openUtf8File(attachment.path, "rb")) return false;
  message.attachments.push_back(std::move(attachment));
  return true;
}

// The header block of a mail file: its lines up to the first empty one.
bool readHeaderBlock(const std::string& path, std::string& headers) {
  FilePtr file = openUtf8File(path, "rb");
  if (!file) return false;
  headers.clear();
  char line[4096];
  bool lineStart = true;  // a long line comes in several pieces
  while (std::fgets(line, sizeof line, file.get())) {
    if (lineStart && (std::strcmp(line, "\r\n") == 0 || std::strcmp(line, "\n") == 0)) break;
    headers += line;
    lineStart = headers.back() == '\n';
  }
  return std::ferror(file.get()) == 0;
}

// The addresses of the "To:" header of a mail file.
std::vector<std::string> recipientsOf(const std::string& mail) {
  std::vector<std::string> headerLines;
  size_t pos = 0;
  while (pos < mail.size()) {
    size_t end = mail.find('\n', pos);
    std::string line = mail.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    pos = end == std::string::npos ? mail.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) break;
    if ((line[0] == ' ' || line[0] == '\t') && !headerLines.empty())
      headerLines.back() += line;
    else
      headerLines.push_back(line);
  }
  std::vector<std::string> recipients;
  for (const std::string& header : headerLines) {
    if (header.size() < 3 || std::tolower(static_cast<unsigned char>(header[0])) != 't' ||
        std::tolower(static_cast<unsigned char>(header[1])) != 'o' || header[2] != ':')
      continue;
    std::string list = header.substr(3);
    for (size_t start = 0; start <= list.size();) {
      size_t comma = list.find(',', start);
      std::string entry = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      size_t open = entry.find('<'), close = entry.find('>');
      if (open != std::string::npos && close != std::string::npos && close > open)
        entry = entry.substr(open + 1, close - open - 1);
      entry = trimmed(entry);
      if (!entry.empty()) recipients.push_back(entry);
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  return recipients;
}

// Copies the mail file into OUTBOX under the first free number. Whatever
// picks the outbox up sees only whole mails: the copy is made under a name
// of this delivery's own, which is no mail's, and flushed to the disk. The
// number is then taken by renaming the copy to it in one step that fails
// where the number is taken, so that two deliveries at once never share a
// number and no mail ever replaces another.
bool deliverToOutbox(const std::string& mailPath) {
  makeFolder(kOutbox);
  std::string own;
  FilePtr copy = createOwnFile(std::string(kOutbox) + "/delivery", own);
  if (!copy) return false;
  bool copied = copyUtf8File(mailPath, copy.get());
  if (closeDurably(std::move(copy)) && copied)
    for (int number = 1; number < 1000000; ++number) {
      char name[64];
      std::snprintf(name, sizeof name, "%s/%06d.eml", kOutbox, number);
      if (renameToNew(own, name)) return true;
      if (!pathExists(name)) break;  // the number is free, but the rename failed
    }
  std::remove(own.c_str());
  return false;
}

}  // namespace

// buildMailFile: the message from the settings record (recipient, subject,
// sender), the body and the two attachments, at the wide mail-file path.
// 0 when it cannot be built: no recipient, an attachment that cannot be read,
// or a file that cannot be written.
int32_t WELKOR_SERVICE(52637, buildMailFile)(char* settings, const char* body, const void* wideMailPath,
                                             const void* widePdfPath, const void* wideDataPath, int32_t) {
  if (!settings || !wideMailPath) return 0;
  MailMessage message;
  message.fromAddress = trimmed(mazoviaToUtf8(rec::text(settings, M::Sender)));
  if (message.fromAddress.empty()) message.fromAddress = kDefaultSender;
  message.fromName = mazoviaToUtf8(rec::text(settings, M::SenderName));
  message.to = trimmed(mazoviaToUtf8(rec::text(settings, M::Recipient)));
  message.subject = mazoviaToUtf8(rec::text(settings, M::Subject));
  message.body = body ? mazoviaToUtf8(body) : "";
  if (message.to.empty()) return 0;
  // After a printout the mail carries it first and the data file second.
  const std::string pdfPath = widePdfPath ? hostPath(fromWide(widePdfPath).c_str()) : "";
  if (!state().printTarget.empty() && pdfPath != state().printTarget)
    protocolError(52637, "the first attachment is the printout just made (" + state().printTarget + "), not " +
                             (pdfPath.empty() ? "nothing" : pdfPath));
  if (!attach(message, widePdfPath) || !attach(message, wideDataPath)) return 0;
  std::string path = fromWide(wideMailPath);
  if (path.empty()) return 0;
  return writeMailFile(message, hostPath(path.c_str())) ? 1 : 0;
}

// sendMail: over SMTP to the server, or with no server into OUTBOX. 0 when
// delivered.
int32_t WELKOR_SERVICE(51525, sendMail)(const char* mailPath, int32_t options, const char* server, const char* sender,
                                        const char* senderName, int32_t port) {
  if (options != 0) protocolError(51525, "a mail is sent with 0 as its second argument");
  (void)senderName;  // the message carries it already
  if (!mailPath) return -1;
  const std::string path = mazoviaToUtf8(hostPath(mailPath));
  std::string headers;
  if (!readHeaderBlock(path, headers)) return -1;
  std::string host = trimmed(server ? mazoviaToUtf8(server) : "");
  if (host.empty()) return deliverToOutbox(path) ? 0 : -1;
  std::vector<std::string> recipients = recipientsOf(headers);
  if (recipients.empty()) return -1;
  std::string from = trimmed(sender ? mazoviaToUtf8(sender) : "");
  if (from.empty()) from = kDefaultSender;
  // The port is the record's 16-bit word, which the plug-in sign-extends.
  uint16_t portNumber = static_cast<uint16_t>(port);
  return sendOverSmtp(path, host, portNumber ? portNumber : kDefaultPort, from, recipients);
}

// mailSettings: configuration 34 from the database. 1 when filled.
int32_t WELKOR_SERVICE(52636, mailSettings)(int32_t, int32_t configuration, char* settings, int32_t) {
  if (!settings || configuration != kMailConfiguration) return 0;
  const MailConfig& mail = state().db.mail;
  std::memset(settings, 0, M::kSize);
  putText(settings, M::Server, mail.server);
  putText(settings, M::Sender, mail.from);
  putText(settings, M::SenderName, mail.fromName);
  rec::store<int16_t>(settings, M::Port.offset, static_cast<int16_t>(mail.port));
  return 1;
}

// configScreen: the mail settings screen. The front end runs in batch mode:
// it shows the settings in force and leaves them as they are.
int32_t WELKOR_SERVICE(52630, configScreen)(int32_t, int32_t configuration, int32_t) {
  if (configuration != kMailConfiguration) return 0;
  const HostState& s = state();
  const MailConfig& mail = s.db.mail;
  LoggedMessage shown;
  shown.service = 52630;
  shown.title = "Ustawienia poczty";
  shown.text = "serwer: " + mail.server + "\nport: " + std::to_string(mail.port) + "\nnadawca: " + mail.fromName +
               " <" + mail.from + ">";
  // The settings in force are shown and left as they are: a box on the
  // terminal, or a block on standard output.
  if (s.screen) {
    s.screen->showMessage(shown);
  } else if (s.echoMessages) {
    std::printf("[%s]\n%s\n", shown.title.c_str(), mazoviaToUtf8(shown.text).c_str());
    std::fflush(stdout);
  }
  return 1;
}
