// The host's invoice printout, laid out like its text-mode printer output:
// fixed columns of a monospace page, amounts with two decimals.
#include <cstdio>
#include <string>
#include <vector>

#include "data/record_layout.h"
#include "data/records.h"
#include "mazovia.h"
#include "printing.h"
#include "host_dates.h"
#include "utf8_columns.h"
#include "plugin_names.h"

namespace welkor {

namespace {

namespace T = layout::Tspr;
namespace L = layout::Tspr_dok;
namespace F = layout::Firma;

constexpr size_t kIndent = 13;

// A record text in UTF-8; control bytes print as blanks.
std::string field(const Bytes& record, layout::Text f) {
  std::string text = rec::text(record.data(), f);
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return mazoviaToUtf8(text);
}

std::string left(const std::string& text, size_t width) {
  std::string cut = utf8Head(text, width);
  return cut + std::string(width - utf8Columns(cut), ' ');
}

std::string right(const std::string& text, size_t width) {
  std::string cut = utf8Head(text, width);
  return std::string(width - utf8Columns(cut), ' ') + cut;
}

// Breaks a text into pieces of at most `width` characters, at blanks where
// it can.
std::vector<std::string> wrap(const std::string& text, size_t width) {
  std::vector<std::string> pieces;
  std::string rest = text;
  while (utf8Columns(rest) > width) {
    std::string part = utf8Head(rest, width);
    size_t blank = part.rfind(' ');
    if (blank != std::string::npos && blank > 0) part = part.substr(0, blank);
    pieces.push_back(part);
    rest = rest.substr(part.size());
    while (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
  }
  pieces.push_back(rest);
  return pieces;
}

std::string amount(double stored) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", stored * 0.0001);
  return text;
}

std::string dateText(const char* hostDate) { return displayDate(hostDate); }

std::string dueDate(const Bytes& header) {
  char due[layout::kDateSize + 1] = {};
  shiftedDate(rec::get(header.data(), T::DataWystawienia), rec::get(header.data(), T::TerminPlatnosci), due);
  return dateText(due);
}

std::string paymentFormName(int32_t code) {
  switch (code) {
    case 1: return "gotówka";
    case 2: return "przelew";
    case 3: return "czek";
    case 12: return "karta płatnicza";
    case 13: return "bon";
    default: return code >= 4 && code <= 11 ? "inna" : "nieokreślona";
  }
}

std::string rateText(const std::map<int32_t, double>& rates, int32_t code) {
  auto it = rates.find(code);
  char text[32];
  std::snprintf(text, sizeof text, "%g%%", it == rates.end() ? 0.0 : it->second);
  return text;
}

class Page {
 public:
  explicit Page(const PrintoutSink& emit) : emit_(emit) {}
  void line(const std::string& text = "") { emit_(text); }
  void rule(char c) { emit_(std::string(kPrintoutColumns, c)); }
  // A labelled block: the label in the indent, the texts wrapped beside it.
  void block(const std::string& label, const std::vector<std::string>& texts) {
    bool first = true;
    for (const std::string& text : texts) {
      if (text.empty()) continue;
      for (const std::string& piece : wrap(text, kPrintoutColumns - kIndent)) {
        line(left(first ? label : "", kIndent) + piece);
        first = false;
      }
    }
    if (first) line(label);
  }

 private:
  const PrintoutSink& emit_;
};

void header(Page& page, const PrintedInvoice& invoice) {
  const Bytes& h = invoice.header;
  page.line("FAKTURA VAT nr " + field(h, T::NrFaktury));
  page.rule('=');
  page.line(left("Data wystawienia: " + dateText(rec::get(h.data(), T::DataWystawienia)), 32) +
            left("Data sprzedaży: " + dateText(rec::get(h.data(), T::DataSprzedazy)), 32) +
            "Termin płatności: " + dueDate(h));
  page.line("Forma płatności: " + paymentFormName(rec::paymentForm(h.data())));
  page.line();
}

void parties(Page& page, const PrintedInvoice& invoice) {
  const Bytes& c = invoice.company;
  const Bytes& h = invoice.header;
  std::string street = field(c, F::Ulica);
  if (!rec::isEmpty(c.data(), F::NrDomu)) street += " " + field(c, F::NrDomu);
  std::string city = field(c, F::KodPocztowy);
  if (!rec::isEmpty(c.data(), F::Miejscowosc)) city += (city.empty() ? "" : " ") + field(c, F::Miejscowosc);
  std::string nip = field(c, F::Nip);
  std::string bank = field(c, F::BankKonto);
  page.block("Sprzedawca:",
             {field(c, F::Nazwa), street, city, nip.empty() ? "" : "NIP: " + nip, bank.empty() ? "" : "Bank: " + bank});
  page.line();
  std::string buyerNip = field(h, T::NipOdbiorcy);
  page.block("Nabywca:",
             {field(h, T::NazwaOdbiorcy), field(h, T::AdresOdbiorcy), buyerNip.empty() ? "" : "NIP: " + buyerNip});
  page.line();
}

// Lp., name, quantity, unit, net price, VAT rate, net value.
constexpr size_t kName = 38;
std::string lineRow(const std::string& lp, const std::string& name, const std::string& quantity,
                    const std::string& unit, const std::string& price, const std::string& rate,
                    const std::string& value) {
  return right(lp, 3) + " " + left(name, kName) + " " + right(quantity, 10) + " " + left(unit, 5) + " " +
         right(price, 12) + " " + right(rate, 4) + " " + right(value, 14);
}

void lines(Page& page, const PrintedInvoice& invoice) {
  bool net = rec::pricedNet(invoice.header.data());
  page.line(lineRow("Lp.", "Nazwa", "Ilość", "J.m.", "Cena netto", "VAT", "Wartość netto"));
  page.rule('-');
  int number = 0;
  static const std::vector<Bytes> kNoLines;
  for (const Bytes& line : invoice.lines ? *invoice.lines : kNoLines) {
    if (!rec::countingLine(line.data())) continue;
    const char* l = line.data();
    double quantity = static_cast<double>(rec::get(l, L::Ilosc)) * 0.001;
    double price = rec::get(l, net ? L::CenaDokumentu : L::CenaPrzeliczona) * 0.0001;
    char quantityText[64], priceText[64], valueText[64];
    std::snprintf(quantityText, sizeof quantityText, "%.3f", quantity);
    std::snprintf(priceText, sizeof priceText, "%.2f", price);
    std::snprintf(valueText, sizeof valueText, "%.2f", quantity * price);
    std::vector<std::string> name = wrap(field(line, L::Nazwa), kName);
    page.line(lineRow(std::to_string(++number) + ".", name[0], quantityText, field(line, L::Jm), priceText,
                      rateText(invoice.vatRates, rec::get(l, L::KodVat)), valueText));
    for (size_t i = 1; i < name.size(); ++i) page.line(std::string(4, ' ') + name[i]);
  }
  page.rule('-');
  page.line();
}

std::string groupRow(const std::string& label, const std::string& net, const std::string& vat,
                     const std::string& gross) {
  return left(label, 12) + right(net, 16) + right(vat, 16) + right(gross, 16);
}

void vatGroups(Page& page, const PrintedInvoice& invoice) {
  const char* h = invoice.header.data();
  page.line(groupRow("Stawka VAT", "Netto", "VAT", "Brutto"));
  page.line(
      groupRow("A", amount(rec::get(h, T::NettoA)), amount(rec::get(h, T::VatA)), amount(rec::get(h, T::BruttoA))));
  page.line(
      groupRow("B", amount(rec::get(h, T::NettoB)), amount(rec::get(h, T::VatB)), amount(rec::get(h, T::BruttoB))));
  page.line(
      groupRow("C", amount(rec::get(h, T::NettoC)), amount(rec::get(h, T::VatC)), amount(rec::get(h, T::BruttoC))));
  page.line(groupRow("0", amount(rec::get(h, T::Netto0)), amount(0.0), amount(rec::get(h, T::Netto0))));
  page.line(std::string(12, ' ') + std::string(48, '-'));
  page.line(groupRow("Razem", amount(rec::get(h, T::RazemNetto)), amount(rec::get(h, T::RazemVat)),
                     amount(rec::get(h, T::RazemBrutto))));
  page.line();
}

void totals(Page& page, const PrintedInvoice& invoice) {
  const Bytes& h = invoice.header;
  std::string currency = rec::isEmpty(h.data(), T::Waluta) ? "PLN" : field(h, T::Waluta);
  page.line(left("Razem brutto:", 16) + right(amount(rec::get(h.data(), T::RazemBrutto)), 16) + " " + currency);
  page.line(left("Zapłacono:", 16) + right(amount(rec::get(h.data(), T::Zaplacono)), 16) + " " + currency);
  page.line(left("Do zapłaty:", 16) + right(amount(rec::get(h.data(), T::KwotaDoZaplaty)), 16) + " " + currency);
  if (!rec::isEmpty(h.data(), T::Uwagi)) {
    page.line();
    page.block("Uwagi:", {field(h, T::Uwagi)});
  }
}

}  // namespace

void printout(const PrintedInvoice& invoice, const PrintoutSink& emit) {
  Page page(emit);
  header(page, invoice);
  parties(page, invoice);
  lines(page, invoice);
  vatGroups(page, invoice);
  totals(page, invoice);
}

}  // namespace welkor
