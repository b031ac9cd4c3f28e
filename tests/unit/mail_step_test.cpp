// The e-mail step against the host's mail services: which address is
// proposed and where a corrected one is kept, what the dialog's buttons do,
// and the mail that reaches the outbox or a real SMTP server.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "data/record_layout.h"
#include "data/records.h"
#include "database.h"
#include "export/mail_step.h"
#include "external_tools.h"
#include "frame/host_services.h"
#include "mazovia.h"
#include "service_impl.h"
#include "tables.h"
#include "test_support.h"
#include "slots.h"

#if defined(_WIN32)
#include <direct.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <nlohmann/json.hpp>
#endif

namespace {

using testing_support::readFile;
using testing_support::writeFile;

const char* kDatabase = R"({
  "customers": [
    {"Id": 42, "Nazwa": "Sklep", "Email": "sklep@example.com", "attributes": {"e-mail": "inny@example.com"}},
    {"Id": 43, "Nazwa": "Bez adresu"},
    {"Id": 44, "Nazwa": "Z atrybutem", "attributes": {"e-mail": "atrybut@example.com"}}
  ],
  "mail": {"server": "", "port": 25, "from": "biuro@hurtownia.example", "fromName": "Hurtownia Żółw"},
  "invoices": [{"IdDokumentu": 1, "NrFaktury": "FV/12/2024", "IdKontrahenta": 43}]
})";

const char* kBuildError = "Błąd podczas tworzenia pliku emaila!\nEmail do %s nie zostanie wysłany!";

bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

// The mail files ("m….tmp") left in the host's folder.
int mailFilesLeft() {
  std::error_code error;
  int left = 0;
  for (const auto& entry : std::filesystem::directory_iterator("TMP", error)) {
    const std::string name = entry.path().filename().string();
    left += name.size() > 5 && name[0] == 'm' && name.compare(name.size() - 4, 4, ".tmp") == 0;
  }
  return left;
}

std::string errorText(const char* format, const std::string& address) {
  std::string text = format;
  text.replace(text.find("%s"), 2, address);
  return welkor::utf8ToMazovia(text);
}

// Bytes that a careless mail file would mangle: every byte value, bare CR
// and LF, a lone dot on a line.
std::string pdfBytes() {
  std::string bytes = "%PDF-1.4\r\n.\r\n.\n";
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  return bytes;
}


std::vector<std::string> g_proposed;
int32_t KW_CDECL recordingDialog(const void* block, int32_t number, char* data, DialogCallback callback) {
  g_proposed.push_back(data ? data : "(no data)");
  return welkor_svc_52026(block, number, data, callback);
}

// The user changes the sender in the settings screen.
std::vector<std::vector<int32_t>> g_configCalls;
int32_t KW_CDECL editingConfigScreen(int32_t a, int32_t configuration, int32_t c) {
  g_configCalls.push_back({a, configuration, c});
  welkor::state().db.mail.from = "zmiana@example.com";
  welkor::state().db.mail.fromName = "Nowy Nadawca";
  return welkor_svc_52630(a, configuration, c);
}

class MailStep : public testing_support::HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    load(kDatabase);
#if defined(_WIN32)
    _mkdir("FAKTURY");
#else
    mkdir("FAKTURY", 0777);
#endif
    writeFile("FAKTURY/fakt1.pdf", pdfBytes());
    writeFile("FAKTURY/fakt1.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Faktura/>\n");
    g_proposed.clear();
    g_configCalls.clear();
  }
  void load(const std::string& json) {
    writeFile("db.json", json);
    welkor::state().db = welkor::loadDatabase("db.json");
    welkor::tables().open(welkor::state().db);
  }
  welkor::Customer reloaded(int32_t id) {
    for (const welkor::Customer& c : welkor::loadDatabase("db.json").customers)
      if (c.id == id) return c;
    return {};
  }
  void answer(std::vector<std::string> steps) { welkor::state().answers[1002].push_back(std::move(steps)); }
  void send(int32_t customer = 43, const std::string& invoiceNumber = "FV/12/2024") {
    _sendInvoiceMail("FAKTURY\\fakt1.pdf", "FAKTURY\\fakt1.xml", welkor::utf8ToMazovia(invoiceNumber).c_str(),
                         welkor::utf8ToMazovia("Hurtownia Żółw Sp. z o.o.").c_str(), "725-100-20-30", customer);
  }
  const std::vector<welkor::LoggedMessage>& messages() { return welkor::state().messages; }
};

TEST_F(MailStep, TheDialogProposesTheRecordsAddressThenTheAttributeThenNothing) {
  struct Case {
    int32_t customer;
    const char* proposed;
  };
  const Case cases[] = {{42, "sklep@example.com"}, {43, ""}, {44, "atrybut@example.com"}, {99, ""}};
  SlotSwap<decltype(svc::runDialog)> swap(svc::runDialog, &recordingDialog);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.customer);
    char buffer[kRecipientBufferSize];
    std::memset(buffer, 'x', sizeof buffer);
    _getRecipient(buffer, c.customer);
    EXPECT_STREQ(buffer, c.proposed);

    g_proposed.clear();
    answer({"Esc"});
    send(c.customer);
    ASSERT_EQ(g_proposed.size(), 1u);
    EXPECT_EQ(g_proposed[0], c.proposed);
  }

  // A record's address that fills its field to the last byte, without a zero.
  for (welkor::Customer& customer : welkor::state().db.customers)
    if (customer.id == 42)
      std::memset(rec::field(customer.record.data(), layout::Kontrahent::Email), 'b', layout::Kontrahent::Email.room);
  char buffer[kRecipientBufferSize];
  _getRecipient(buffer, 42);
  EXPECT_EQ(std::string(buffer), std::string(80, 'b'));
}

TEST_F(MailStep, UpToEightyCharactersGoIntoTheRecordLongerOnesIntoTheAttribute) {
  struct Case {
    size_t length;
    bool inRecord;
  };
  const Case cases[] = {{1, true}, {80, true}, {81, false}, {300, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    load(kDatabase);
    const welkor::Customer before = reloaded(43);
    const std::string address = std::string(c.length - 1, 'a') + "@";
    _storeRecipient(address.c_str(), 43);

    const welkor::Customer after = reloaded(43);
    if (c.inRecord) {
      EXPECT_EQ(rec::text(after.record.data(), layout::Kontrahent::Email), address);
      EXPECT_EQ(after.attributes.count("e-mail"), 0u);
    } else {
      EXPECT_EQ(after.record, before.record) << "the customer record stays untouched";
      ASSERT_EQ(after.attributes.count("e-mail"), 1u);
      EXPECT_EQ(after.attributes.at("e-mail"), address);
    }
    char proposed[kRecipientBufferSize];
    _getRecipient(proposed, 43);
    EXPECT_EQ(proposed, address);
  }
}

TEST_F(MailStep, AShortAddressOfACustomerThatCannotBeReadIsNotStored) {
  const std::string before = readFile("db.json");
  _storeRecipient("jan@example.com", 99);
  EXPECT_EQ(readFile("db.json"), before);
}

TEST_F(MailStep, AnulujStoresNothingSendsNothingAndSaysNothing) {
  const std::vector<std::vector<std::string>> runs = {{"A"}, {"Esc"}, {"1=nowy@example.com", "A"}};
  for (const auto& steps : runs) {
    SCOPED_TRACE(steps.back());
    const std::string before = readFile("db.json");
    welkor::state().dialogRuns.clear();
    answer(steps);
    send();
    ASSERT_EQ(welkor::state().dialogRuns.size(), 1u);
    EXPECT_EQ(welkor::state().dialogRuns[0].result, 0x5002);
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(readFile("db.json"), before);
    EXPECT_EQ(mailFilesLeft(), 0);
    EXPECT_FALSE(exists("OUTBOX"));
  }
}

TEST_F(MailStep, TheKeyCallbackOpensTheMailSettingsOnlyForF3Chosen) {
  struct Case {
    int16_t command;
    int16_t event;
    int32_t result;
    bool opens;
  };
  const Case cases[] = {{0x3D00, 1, -2, true},
                        {0x3D00, 0, 0, false},
                        {0x3D00, 2, 0, false},
                        {0x5001, 1, 0, false},
                        {0x5002, 1, 0, false}};
  SlotSwap<decltype(svc::configScreen)> swap(svc::configScreen, &editingConfigScreen);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.command) + "/" + std::to_string(c.event));
    g_configCalls.clear();
    EXPECT_EQ(_mailDialogKey(c.command, c.event), c.result);
    if (c.opens)
      EXPECT_EQ(g_configCalls, (std::vector<std::vector<int32_t>>{{0, 34, 0}}));
    else
      EXPECT_TRUE(g_configCalls.empty());
  }
}

TEST_F(MailStep, F3KeepsTheDialogOpenAndTheSettingsThenInForceAreUsed) {
  SlotSwap<decltype(svc::configScreen)> swap(svc::configScreen, &editingConfigScreen);
  answer({"1=jan@example.com", "F3", "F12"});
  send();
  ASSERT_EQ(welkor::state().dialogRuns.size(), 1u);
  const welkor::DialogRun& run = welkor::state().dialogRuns[0];
  EXPECT_EQ(run.callbacks, (std::vector<std::pair<int32_t, int32_t>>{{0x3D00, -2}, {0x5001, 0}}));
  EXPECT_EQ(run.result, 0x5001);
  EXPECT_EQ(g_configCalls, (std::vector<std::vector<int32_t>>{{0, 34, 0}}));
  EXPECT_TRUE(messages().empty());
  const std::string mail = readFile("OUTBOX/000001.eml");
  EXPECT_NE(mail.find("Nowy Nadawca <zmiana@example.com>"), std::string::npos) << mail;
}

TEST_F(MailStep, AMailFileThatCannotBeBuiltShowsTheBuildingError) {
  struct Case {
    const char* name;
    const char* missingFile;
    const char* typed;
  };
  const Case cases[] = {{"no PDF", "FAKTURY/fakt1.pdf", "jan@example.com"},
                        {"no data file", "FAKTURY/fakt1.xml", "jan@example.com"},
                        {"no recipient", nullptr, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    if (c.missingFile) std::remove(c.missingFile);
    answer({std::string("1=") + c.typed, "F12"});
    send();
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].title, "Uwaga");
    EXPECT_EQ(messages()[0].text, errorText(kBuildError, c.typed));
    EXPECT_EQ(messages()[0].numbers, (std::vector<int64_t>{0, 1}));
    EXPECT_FALSE(exists("OUTBOX"));
    EXPECT_EQ(rec::text(reloaded(43).record.data(), layout::Kontrahent::Email), c.typed)
        << "the address is stored before the mail is built";
    TearDown();
  }
  SetUp();
}

#if !defined(_WIN32)

using nlohmann::json;
using testing_support::BackgroundProcess;
using testing_support::capture;
using testing_support::python;
using testing_support::quoted;
using testing_support::testsFolder;

const char* kSendError = "Błąd podczas wysyłania emaila!\nEmail do %s nie zostanie wysłany!";

// The mail file as Python's email module reads it; attachments' bytes in
// `folder`/0, `folder`/1, ...
json summary(const std::string& mailFile, const std::string& folder) {
  int status = 0;
  std::string out = capture(
      python() + " " + quoted(testsFolder() + "/mail/mime_summary.py") + " " + quoted(mailFile) + " " + quoted(folder),
      status);
  EXPECT_EQ(status, 0) << out;
  return status == 0 ? json::parse(out) : json::object();
}

// What every invoice mail carries, whichever way it went.
void expectInvoiceMail(const std::string& mailFile, const char* from) {
  SCOPED_TRACE(mailFile);
  json mail = summary(mailFile, mailFile + ".parts");
  ASSERT_TRUE(mail.is_object());
  EXPECT_TRUE(mail["defects"].empty()) << mail["defects"];
  EXPECT_EQ(mail["mime_version"], "1.0");
  EXPECT_FALSE(mail["date"].is_null());
  EXPECT_EQ(mail["from"], from);
  EXPECT_EQ(mail["to"], "jan@example.com");
  EXPECT_EQ(mail["subject"], "Faktura nr FV/12/2024");
  EXPECT_EQ(mail["content_type"], "multipart/mixed");
  EXPECT_EQ(mail["body_type"], "text/plain");
  EXPECT_EQ(mail["body_charset"], "UTF-8");
  // Text travels with CR LF line ends; the lines are what count.
  std::string body;
  for (char c : mail["body"].get<std::string>())
    if (c != '\r') body += c;
  while (!body.empty() && body.back() == '\n') body.pop_back();
  EXPECT_EQ(body, "Dokument wystawiony przez:\nHurtownia Żółw Sp. z o.o.\nNIP: 725-100-20-30");
  ASSERT_EQ(mail["attachments"].size(), 2u);
  EXPECT_EQ(mail["attachments"][0]["name"], "fakt1.pdf");
  EXPECT_EQ(mail["attachments"][0]["type"], "application/pdf");
  EXPECT_EQ(mail["attachments"][0]["encoding"], "base64");
  EXPECT_EQ(mail["attachments"][1]["name"], "fakt1.xml");
  EXPECT_EQ(mail["attachments"][1]["encoding"], "base64");
  EXPECT_EQ(readFile(mailFile + ".parts/0"), readFile("FAKTURY/fakt1.pdf"));
  EXPECT_EQ(readFile(mailFile + ".parts/1"), readFile("FAKTURY/fakt1.xml"));
}

TEST_F(MailStep, WithoutAServerTheMailLandsInTheOutbox) {
  answer({"1=jan@example.com", "F12"});
  send();
  EXPECT_TRUE(messages().empty());
  expectInvoiceMail("OUTBOX/000001.eml", "Hurtownia Żółw <biuro@hurtownia.example>");
  EXPECT_EQ(rec::text(reloaded(43).record.data(), layout::Kontrahent::Email), "jan@example.com");

  EXPECT_EQ(mailFilesLeft(), 0) << "the mail file stays in the shared folder";
  const std::string file = readFile("OUTBOX/000001.eml");
  for (size_t i = file.find('\n'); i != std::string::npos; i = file.find('\n', i + 1))
    ASSERT_TRUE(i > 0 && file[i - 1] == '\r') << "a bare LF at " << i;

  answer({"F12"});
  send();
  EXPECT_TRUE(exists("OUTBOX/000002.eml")) << "a second mail does not replace the first";
  EXPECT_EQ(readFile("OUTBOX/000001.eml"), file);
}

TEST_F(MailStep, TheSubjectKeepsAtMostSixtyCharactersAndIsEncodedWhenNotAscii) {
  struct Case {
    std::string number;
    std::string subject;
    bool encoded;
  };
  const std::string longNumber = "FV/" + std::string(60, '9');
  const Case cases[] = {{"FV/12/2024", "Faktura nr FV/12/2024", false},
                        {longNumber, "Faktura nr " + longNumber.substr(0, 49), false},
                        {"FV/Łódź/7", "Faktura nr FV/Łódź/7", true}};
  int sent = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    answer({"1=jan@example.com", "F12"});
    send(43, c.number);
    char name[32];
    std::snprintf(name, sizeof name, "OUTBOX/%06d.eml", ++sent);
    json mail = summary(name, std::string(name) + ".parts");
    EXPECT_EQ(mail["subject"], c.subject);
    std::string raw = mail["subject_raw"];
    EXPECT_EQ(raw.find("=?UTF-8?") != std::string::npos, c.encoded) << raw;
  }
}

// A local SMTP server on a free port, saving what it accepts into `folder`.
class SmtpSink {
 public:
  SmtpSink(const std::string& folder, bool refuse) : process_(arguments(folder, refuse)), ready_(folder + ".port") {
    for (int i = 0; i < 200 && port_ == 0 && process_.running(); ++i) {
      std::string text = readFile(ready_);
      if (!text.empty())
        port_ = std::stoi(text);
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  int port() const { return port_; }

 private:
  static std::vector<std::string> arguments(const std::string& folder, bool refuse) {
    std::vector<std::string> args = {python(), testsFolder() + "/mail/smtp_sink.py", folder, folder + ".port"};
    if (refuse) args.push_back("--refuse");
    return args;
  }
  BackgroundProcess process_;
  std::string ready_;
  int port_ = 0;
};

void useServer(int port) {
  welkor::state().db.mail.server = "127.0.0.1";
  welkor::state().db.mail.port = port;
}

TEST_F(MailStep, TheMailReachesARealSmtpServer) {
  SmtpSink sink(dir_.string() + "/received", false);
  ASSERT_NE(sink.port(), 0) << "the SMTP server did not start";
  useServer(sink.port());
  answer({"1=jan@example.com", "F12"});
  send();
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(readFile("received/0001.rcpt"), "jan@example.com\n");
  expectInvoiceMail("received/0001.eml", "Hurtownia Żółw <biuro@hurtownia.example>");
  EXPECT_FALSE(exists("OUTBOX"));
}

// A port on which nothing listens: one the system just handed out and took back.
int closedPort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  close(s);
  return ntohs(address.sin_port);
}

TEST_F(MailStep, AMailThatCannotBeSentShowsTheSendingError) {
  SmtpSink refusing(dir_.string() + "/refused", true);
  ASSERT_NE(refusing.port(), 0) << "the SMTP server did not start";
  for (int port : {refusing.port(), closedPort()}) {
    SCOPED_TRACE(port);
    welkor::state().messages.clear();
    useServer(port);
    answer({"1=jan@example.com", "F12"});
    send();
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].title, "Uwaga");
    EXPECT_EQ(messages()[0].text, errorText(kSendError, "jan@example.com"));
    EXPECT_EQ(messages()[0].numbers, (std::vector<int64_t>{0, 1}));
  }
  EXPECT_FALSE(exists("refused/0001.eml"));
  EXPECT_FALSE(exists("OUTBOX"));
}

#endif

}  // namespace
