// The mail file as an RFC 5322 MIME message (GMime): a text/plain UTF-8 body
// and the attachments in base64, under their file names; CR LF line ends.
// The message goes straight from the attached files into the mail file.
#include <fcntl.h>
#include <gmime/gmime.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "mail.h"
#include "utf8_file.h"

namespace welkor {

namespace {

struct Unref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GPtr = std::unique_ptr<T, Unref>;

struct OptionsFree {
  void operator()(GMimeFormatOptions* options) const { g_mime_format_options_free(options); }
};

void initialiseOnce() {
  static const bool initialised = (g_mime_init(), true);
  (void)initialised;
}

// Names that need encoding are encoded as UTF-8, like the subject.
void addMailbox(InternetAddressList* list, const std::string& name, const std::string& address) {
  GPtr<InternetAddress> mailbox(internet_address_mailbox_new(name.c_str(), address.c_str()));
  internet_address_set_charset(mailbox.get(), "UTF-8");
  internet_address_list_add(list, mailbox.get());
}

GPtr<GMimeTextPart> bodyPart(const std::string& body) {
  GPtr<GMimeTextPart> text(g_mime_text_part_new_with_subtype("plain"));
  g_mime_text_part_set_text(text.get(), body.c_str());
  g_mime_object_set_content_type_parameter(GMIME_OBJECT(text.get()), "charset", "UTF-8");
  g_mime_part_set_content_encoding(GMIME_PART(text.get()), GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
  return text;
}

// The part reads its file only when the message is written; null when the
// file cannot be opened or is no regular file (a folder or a device would
// be read without end). A descriptor stream, because GMime's stdio stream
// takes a read error for "no data yet" and retries for ever.
GPtr<GMimePart> attachmentPart(const MailAttachment& attachment) {
  int fd = open(attachment.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  std::string type = attachment.contentType;
  size_t slash = type.find('/');
  GPtr<GMimePart> part(g_mime_part_new_with_type(type.substr(0, slash).c_str(), type.substr(slash + 1).c_str()));
  GPtr<GMimeStream> stream(g_mime_stream_fs_new(fd));
  GPtr<GMimeDataWrapper> content(g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(part.get(), content.get());
  g_mime_part_set_filename(part.get(), attachment.name.c_str());
  g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
  return part;
}

}  // namespace

bool writeMailFile(const MailMessage& m, const std::string& path) {
  initialiseOnce();
  GPtr<GMimeMessage> message(g_mime_message_new(TRUE));
  addMailbox(g_mime_message_get_from(message.get()), m.fromName, m.fromAddress);
  addMailbox(g_mime_message_get_to(message.get()), "", m.to);
  g_mime_message_set_subject(message.get(), m.subject.c_str(), "UTF-8");
  GDateTime* now = g_date_time_new_now_local();
  g_mime_message_set_date(message.get(), now);
  g_date_time_unref(now);
  char* id = g_mime_utils_generate_message_id("welkor.invalid");
  g_mime_message_set_message_id(message.get(), id);
  g_free(id);

  GPtr<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
  g_mime_multipart_add(mixed.get(), GMIME_OBJECT(bodyPart(m.body).get()));
  for (const MailAttachment& attachment : m.attachments) {
    GPtr<GMimePart> part = attachmentPart(attachment);
    if (!part) return false;
    g_mime_multipart_add(mixed.get(), GMIME_OBJECT(part.get()));
  }
  g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(mixed.get()));

  std::unique_ptr<GMimeFormatOptions, OptionsFree> options(g_mime_format_options_new());
  g_mime_format_options_set_newline_format(options.get(), GMIME_NEWLINE_FORMAT_DOS);
  FilePtr file = openUtf8File(path, "wb");
  if (!file) return false;
  bool written;
  {
    GPtr<GMimeStream> out(g_mime_stream_file_new(file.get()));
    g_mime_stream_file_set_owner(GMIME_STREAM_FILE(out.get()), FALSE);
    written = g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), options.get(), out.get()) >= 0 &&
              g_mime_stream_flush(out.get()) == 0;
  }
  // A cut mail file is no use to anyone; the caller is told it failed.
  if (closeWritten(std::move(file)) && written) return true;
  std::remove(path.c_str());
  return false;
}

}  // namespace welkor
