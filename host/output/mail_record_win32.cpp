// The mail file where no MIME library exists: a plain record of the mail,
// headers first as in a message, then the body and the attachments' names
// and sizes.
#include <cstdio>
#include <string>

#include "mail.h"
#include "utf8_file.h"

namespace welkor {

namespace {

// The file's length in bytes; -1 when it cannot be read.
long sizeOf(const std::string& path) {
  FilePtr file = openUtf8File(path, "rb");
  if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) return -1;
  return std::ftell(file.get());
}

}  // namespace

bool writeMailFile(const MailMessage& m, const std::string& path) {
  std::string text;
  text += "From: " + m.fromName + " <" + m.fromAddress + ">\r\n";
  text += "To: " + m.to + "\r\n";
  text += "Subject: " + m.subject + "\r\n";
  text += "X-Welkor: plain record of the mail (no MIME in this build)\r\n\r\n";
  for (char c : m.body) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
  text += "\r\n\r\n";
  for (const MailAttachment& a : m.attachments) {
    long size = sizeOf(a.path);
    if (size < 0) return false;
    text += "Attachment: " + a.name + " (" + a.contentType + ", " + std::to_string(size) + " bytes)\r\n";
  }
  return writeUtf8File(path, text);
}

}  // namespace welkor
