// The mail file where no MIME library exists: a plain record of the mail,
// headers first as in a message, then the body and the attachments' names
// and sizes.
#include <string>

#include "mail.h"
#include "utf8_file.h"

namespace welkor {

bool writeMailFile(const MailMessage& m, const std::string& path) {
  std::string text;
  text += "From: " + m.fromName + " <" + m.fromAddress + ">\r\n";
  text += "To: " + m.to + "\r\n";
  text += "Subject: " + m.subject + "\r\n";
  text += "X-Welkor: plain record of the mail (no MIME in this build)\r\n\r\n";
  for (char c : m.body) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
  text += "\r\n\r\n";
  for (const MailAttachment& a : m.attachments)
    text += "Attachment: " + a.name + " (" + a.contentType + ", " + std::to_string(a.size) + " bytes)\r\n";
  return writeUtf8File(path, text);
}

}  // namespace welkor
