// The stand-in host's mail: the message that service 52637 builds, written
// per platform, and its delivery by service 51525.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace welkor {

// Attachments are read from their files while the mail file is written, so
// that a long invoice is never held in memory whole.
struct MailAttachment {
  std::string name;         // the file's name, UTF-8
  std::string contentType;  // "application/pdf", ...
  std::string path;         // where the file is, UTF-8
};

// Every text in UTF-8.
struct MailMessage {
  std::string fromAddress;
  std::string fromName;
  std::string to;
  std::string subject;
  std::string body;
  std::vector<MailAttachment> attachments;
};

// Writes the mail file at `path` (UTF-8): an RFC 5322 MIME message natively,
// a plain record of the mail where no MIME library exists. The record keeps
// the message's "To:" header line, so that both can be sent alike.
bool writeMailFile(const MailMessage& message, const std::string& path);

// Sends the mail file over SMTP to server:port. 0 when the server accepted it.
int32_t sendOverSmtp(const std::string& path, const std::string& server, int32_t port, const std::string& from,
                     const std::vector<std::string>& recipients);

}  // namespace welkor
