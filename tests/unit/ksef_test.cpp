// The KSeF writer against records the schema cannot hold or that are damaged,
// and against the rules KSeF itself checks: each refusal comes before a file
// is opened, with its reason; at each bound the last value taken is written,
// and the file validates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "database.h"
#include "export/dispatcher.h"
#include "external_tools.h"
#include "data/record_layout.h"
#include "formats/writers.h"
#include "host_state.h"
#include "mazovia.h"
#include "scan_checks.h"
#include "tables.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Sums that agree with the lines; no payment term, so due on the issue day.
// Code 2 is 0 %, code 5 exempt and code 9 not subject to Polish VAT.
const char* kDatabase = R"({"company": {"Nazwa": "Hurtownia", "Nip": "123-456-32-18", "Ulica": "ul. Polna",
    "NrDomu": "1", "KodPocztowy": "00-950", "Miejscowosc": "Warszawa"},
  "vatRates": {"0": 23, "1": 8, "2": 0, "5": 0, "9": 0},
  "invoices": [{"IdDokumentu": 7, "NrFaktury": "FV/7", "NazwaOdbiorcy": "Sklep",
    "AdresOdbiorcy": "ul. Długa 5, 00-950 Warszawa", "DataWystawienia": "2024-03-05",
    "DataSprzedazy": "2024-03-05", "RodzajCen": 1, "RazemBrutto": 35.4, "NettoA": 20.0, "VatA": 4.6,
    "NettoB": 10.0, "VatB": 0.8,
    "lines": [{"Nazwa": "S\u00f3l", "Ilosc": 2, "CenaDokumentu": 10.0, "KodVat": 0},
              {"Nazwa": "Pieprz", "Ilosc": 1, "CenaDokumentu": 10.0, "KodVat": 1}]}]})";

// Raw doubles: a quiet NaN, and the infinities.
#define KW_NAN "00 00 00 00 00 00 F8 7F"
#define KW_INF "00 00 00 00 00 00 F0 7F"
#define KW_MINUS_INF "00 00 00 00 00 00 F0 FF"

struct Case {
  const char* name;
  const char* invoice;                   // merged into the invoice, or null
  const char* line;                      // merged into its first line, or null
  int32_t lines;                         // that many 1.00 lines at 23 % instead of the two, or 0
  const char* refusal;                   // the reason shown, or null: the file is written
  const char* now = "2026-03-05 10:30";  // the host's clock
};

const Case kCases[] = {
    {"issue date on the first day", R"({"DataWystawienia": "2006-01-01", "TerminPlatnosci": 3834})", nullptr, 0,
     nullptr},
    {"issue date the day before", R"({"DataWystawienia": "2005-12-31", "TerminPlatnosci": 3835})", nullptr, 0,
     "Data wystawienia faktury (2005-12-31) wypada poza okresem od 2006-01-01 do 2050-01-01,\n"
     "który przyjmuje faktura KSeF."},
    {"issue and due date on the last day", R"({"DataWystawienia": "2050-01-01"})", nullptr, 0, nullptr,
     "2050-01-01 12:00"},
    {"issue date the day after", R"({"DataWystawienia": "2050-01-02"})", nullptr, 0,
     "Data wystawienia faktury (2050-01-02) wypada poza okresem od 2006-01-01 do 2050-01-01,\n"
     "który przyjmuje faktura KSeF."},
    {"issue date whose due date the host cannot give", R"({"DataWystawienia": "9999-12-31", "TerminPlatnosci": 1})",
     nullptr, 0,
     "Data wystawienia faktury (9999-12-31) wypada poza okresem od 2006-01-01 do 2050-01-01,\n"
     "który przyjmuje faktura KSeF."},
    {"sale date on the first day", R"({"DataSprzedazy": "2006-01-01"})", nullptr, 0, nullptr},
    {"sale date the day before", R"({"DataSprzedazy": "2005-12-31"})", nullptr, 0,
     "Data sprzedaży (2005-12-31) wypada poza okresem od 2006-01-01 do 2050-01-01,\n"
     "który przyjmuje faktura KSeF."},
    {"sale date on the last day", R"({"DataSprzedazy": "2050-01-01"})", nullptr, 0, nullptr},
    {"sale date the day after", R"({"DataSprzedazy": "2050-01-02"})", nullptr, 0,
     "Data sprzedaży (2050-01-02) wypada poza okresem od 2006-01-01 do 2050-01-01,\n"
     "który przyjmuje faktura KSeF."},
    {"due date the day before", R"({"DataWystawienia": "2016-06-30"})", nullptr, 0,
     "Termin płatności (2016-06-30, liczba dni od wystawienia: 0) wypada poza okresem\n"
     "od 2016-07-01 do 2050-01-01, który przyjmuje faktura KSeF."},
    {"due date the day after", R"({"DataWystawienia": "2049-12-31", "TerminPlatnosci": 2})", nullptr, 0,
     "Termin płatności (2050-01-02, liczba dni od wystawienia: 2) wypada poza okresem\n"
     "od 2016-07-01 do 2050-01-01, który przyjmuje faktura KSeF.",
     "2049-12-31 12:00"},
    {"the longest payment term", R"({"TerminPlatnosci": 65535})", nullptr, 0,
     "Termin płatności (2203-08-10, liczba dni od wystawienia: 65535) wypada poza okresem\n"
     "od 2016-07-01 do 2050-01-01, który przyjmuje faktura KSeF."},
    {"first currency of the schema", R"({"Waluta": "AED", "KursWaluty": 1.1})", nullptr, 0, nullptr},
    {"last currency of the schema", R"({"Waluta": "ZWL", "KursWaluty": 0.01})", nullptr, 0, nullptr},
    {"three capitals that are no currency", R"({"Waluta": "PLZ", "KursWaluty": 1.0})", nullptr, 0,
     "Waluty faktury (PLZ) nie ma w wykazie walut faktury KSeF (ISO 4217)."},
    {"as many lines as the schema takes", nullptr, nullptr, 10000, nullptr},
    {"one line more", nullptr, nullptr, 10001,
     "Faktura ma 10001 pozycji, a faktura KSeF może ich mieć najwyżej 10000."},
    {"gross total NaN", R"({"rawBytes": [{"offset": 259, "hex": ")" KW_NAN R"("}]})", nullptr, 0,
     "Kwota brutto zapisana na fakturze jest uszkodzona: nie jest liczbą albo jest za duża."},
    {"gross total infinite", R"({"rawBytes": [{"offset": 259, "hex": ")" KW_INF R"("}]})", nullptr, 0,
     "Kwota brutto zapisana na fakturze jest uszkodzona: nie jest liczbą albo jest za duża."},
    {"gross total 1e300", R"({"RazemBrutto": 1e296})", nullptr, 0,
     "Kwota brutto zapisana na fakturze jest uszkodzona: nie jest liczbą albo jest za duża."},
    {"group A net NaN", R"({"rawBytes": [{"offset": 291, "hex": ")" KW_NAN R"("}]})", nullptr, 0,
     "Kwota netto grupy VAT A (23%) zapisana na fakturze jest uszkodzona: nie jest liczbą albo jest za duża."},
    {"group A net minus infinity", R"({"rawBytes": [{"offset": 291, "hex": ")" KW_MINUS_INF R"("}]})", nullptr, 0,
     "Kwota netto grupy VAT A (23%) zapisana na fakturze jest uszkodzona: nie jest liczbą albo jest za duża."},
    {"group A net -1e300", R"({"NettoA": -1e296})", nullptr, 0,
     "Kwota netto grupy VAT A (23%) zapisana na fakturze jest uszkodzona: nie jest liczbą albo jest za duża."},
    {"line price NaN", nullptr, R"({"rawBytes": [{"offset": 150, "hex": ")" KW_NAN R"("}]})", 0,
     "Cena pozycji 1 (Sól) zapisana na fakturze jest uszkodzona: nie jest liczbą."},
    {"line price infinite", nullptr, R"({"rawBytes": [{"offset": 150, "hex": ")" KW_INF R"("}]})", 0,
     "Cena pozycji 1 (Sól) zapisana na fakturze jest uszkodzona: nie jest liczbą."},
    {"line price 1e300", nullptr, R"({"CenaDokumentu": 1e296})", 0,
     "Wartość pozycji 1 (Sól) jest za duża dla faktury KSeF."},
};

// The writer's own rules at their edges. A written rule names texts that
// the document or the notice shown after it must hold, and texts that they
// must lack, each list separated by "|".
struct Rule {
  const char* name;
  const char* company;  // merged into the company, or null
  const char* invoice;  // merged into the invoice, or null
  const char* line;     // merged into its first line, or null
  const char* refusal;  // the reason shown, or null: the file is written
  const char* holds;
  const char* lacks;
  const char* ini = nullptr;  // kwitom.ini, as stored
};

// The first line at 0 %, exempt or not subject instead of 23 %: the sums without it.
#define KW_ONLY_GROUP_B R"({"NettoA": 0, "VatA": 0, "RazemBrutto": 30.8)"
#define KW_ZERO_LINE R"({"KodVat": 2})"
#define KW_NOT_SUBJECT_LINE R"({"KodVat": 9})"
#define KW_EXEMPT_LINE R"({"KodVat": 5})"
#define KW_CZECH R"(, "NipOdbiorcy": "CZ7103192745"})"
#define KW_SWISS R"(, "NipOdbiorcy": "CHE123456789"})"
#define KW_POLISH R"(, "NipOdbiorcy": "6770065406"})"
#define KW_OFFLINE "KSeF uzna fakturę za wystawioną offline"
// An exemption basis in the settings file: UTF-8, and the same in Windows-1250.
#define KW_BASIS "§ 3 ust. 1 pkt 1 rozporządzenia – dostawa towarów"
#define KW_BASIS_1250               \
  "\xA7 3 ust. 1 pkt 1 rozporz\xB9" \
  "dzenia \x96 dostawa towar\xF3w"
#define KW_16 "żółć-gęślą-jaźń."
#define KW_256 KW_16 KW_16 KW_16 KW_16 KW_16 KW_16 KW_16 KW_16 KW_16 KW_16 KW_16 KW_16 KW_16 KW_16 KW_16 KW_16

const Rule kRules[] = {
    // NIP shapes and check digits
    {"seller NIP with a 0 second and 1 third digit", R"({"Nip": "101-000-00-02"})", nullptr, nullptr, nullptr,
     "<NIP>1010000002</NIP>", nullptr},
    {"seller NIP with a 1 second and 0 third digit", R"({"Nip": "1100000000"})", nullptr, nullptr, nullptr,
     "<NIP>1100000000</NIP>", nullptr},
    {"seller NIP with 0 second and third digits", R"({"Nip": "1000000000"})", nullptr, nullptr,
     "NIP sprzedawcy (1000000000) nie jest numerem z 10 cyfr.", nullptr, nullptr},
    {"seller NIP starting with 0", R"({"Nip": "0123456789"})", nullptr, nullptr,
     "NIP sprzedawcy (0123456789) nie jest numerem z 10 cyfr.", nullptr, nullptr},
    {"seller NIP of 11 digits", R"({"Nip": "12345632180"})", nullptr, nullptr,
     "NIP sprzedawcy (12345632180) nie jest numerem z 10 cyfr.", nullptr, nullptr},
    {"seller NIP of 9 digits", R"({"Nip": "123456321"})", nullptr, nullptr,
     "NIP sprzedawcy (123456321) nie jest numerem z 10 cyfr.", nullptr, nullptr},
    {"seller NIP with PL before it", R"({"Nip": "PL1234563218"})", nullptr, nullptr, nullptr, "<NIP>1234563218</NIP>",
     nullptr},
    {"seller NIP with one digit wrong", R"({"Nip": "123-456-32-19"})", nullptr, nullptr,
     "NIP sprzedawcy (123-456-32-19) ma błędną cyfrę kontrolną: to nie jest prawidłowy NIP.", nullptr, nullptr},
    {"seller NIP whose remainder is 10", R"({"Nip": "1234567890"})", nullptr, nullptr,
     "NIP sprzedawcy (1234567890) ma błędną cyfrę kontrolną: to nie jest prawidłowy NIP.", nullptr, nullptr},

    // every form of the buyer's number
    {"buyer NIP", nullptr, R"({"NipOdbiorcy": "677-00-65-406"})", nullptr, nullptr,
     "<NIP>6770065406</NIP>\n<Nazwa>Sklep</Nazwa>|<KodKraju>PL</KodKraju>\n<AdresL1>ul. Długa 5</AdresL1>", nullptr},
    {"buyer NIP after a small pl", nullptr, R"({"NipOdbiorcy": "pl 6770065406"})", nullptr, nullptr,
     "<NIP>6770065406</NIP>", nullptr},
    {"buyer NIP with one digit wrong", nullptr, R"({"NipOdbiorcy": "677-00-65-407"})", nullptr,
     "NIP nabywcy (677-00-65-407) ma błędną cyfrę kontrolną: to nie jest prawidłowy NIP.", nullptr, nullptr},
    {"buyer digits that are no NIP", nullptr, R"({"NipOdbiorcy": "PL 12345"})", nullptr,
     "NIP nabywcy (PL 12345) nie jest numerem z 10 cyfr.", nullptr, nullptr},
    {"buyer with a Czech VAT number", nullptr, R"({"NipOdbiorcy": "CZ7103192745"})", nullptr, nullptr,
     "<KodUE>CZ</KodUE>\n<NrVatUE>7103192745</NrVatUE>\n<Nazwa>Sklep</Nazwa>\n</DaneIdentyfikacyjne>\n"
     "<Adres>\n<KodKraju>CZ</KodKraju>",
     "<NIP>7103192745</NIP>"},
    {"buyer with a Greek VAT number in small letters", nullptr, R"({"NipOdbiorcy": "el 123-456789"})", nullptr, nullptr,
     "<KodUE>EL</KodUE>\n<NrVatUE>123456789</NrVatUE>|<KodKraju>GR</KodKraju>", nullptr},
    {"buyer with a Greek VAT number under the country code", nullptr, R"({"NipOdbiorcy": "GR123456789"})", nullptr,
     nullptr, "<KodUE>EL</KodUE>\n<NrVatUE>123456789</NrVatUE>|<KodKraju>GR</KodKraju>", nullptr},
    {"buyer in Northern Ireland", nullptr, R"({"NipOdbiorcy": "XI 123456789"})", nullptr, nullptr,
     "<KodUE>XI</KodUE>\n<NrVatUE>123456789</NrVatUE>|<KodKraju>XI</KodKraju>", nullptr},
    {"buyer with the longest EU VAT number", nullptr, R"({"NipOdbiorcy": "FR12345678901"})", nullptr, nullptr,
     "<KodUE>FR</KodUE>\n<NrVatUE>12345678901</NrVatUE>", nullptr},
    {"buyer with a Swiss number", nullptr, R"({"NipOdbiorcy": "CHE123456789"})", nullptr, nullptr,
     "<KodKraju>CH</KodKraju>\n<NrID>CHE123456789</NrID>\n<Nazwa>Sklep</Nazwa>|<Adres>\n<KodKraju>CH</KodKraju>",
     nullptr},
    {"buyer with a number of another country", nullptr, R"({"NipOdbiorcy": "US 12-3456789"})", nullptr, nullptr,
     "<KodKraju>US</KodKraju>\n<NrID>US 12-3456789</NrID>|<Adres>\n<KodKraju>US</KodKraju>", nullptr},
    {"buyer without digits", nullptr, R"({"NipOdbiorcy": "brak"})", nullptr, nullptr,
     "<BrakID>1</BrakID>\n<Nazwa>Sklep</Nazwa>|<KodKraju>PL</KodKraju>", nullptr},
    {"buyer with an unknown country code", nullptr, R"({"NipOdbiorcy": "XX123"})", nullptr,
     "Numer podatkowy nabywcy (XX123) nie jest ani polskim NIP-em, ani numerem\n"
     "poprzedzonym kodem kraju (np. DE123456789 dla nabywcy z Niemiec).",
     nullptr, nullptr},
    {"buyer with letters after PL", nullptr, R"({"NipOdbiorcy": "PL12AB"})", nullptr,
     "Numer podatkowy nabywcy (PL12AB) nie jest ani polskim NIP-em, ani numerem\n"
     "poprzedzonym kodem kraju (np. DE123456789 dla nabywcy z Niemiec).",
     nullptr, nullptr},
    {"buyer with a sign that no EU VAT number has", nullptr, R"({"NipOdbiorcy": "DE12/345"})", nullptr,
     "Numer podatkowy nabywcy (DE12/345) nie jest ani polskim NIP-em, ani numerem\n"
     "poprzedzonym kodem kraju (np. DE123456789 dla nabywcy z Niemiec).",
     nullptr, nullptr},
    {"buyer with digits before letters", nullptr, R"({"NipOdbiorcy": "123CZ"})", nullptr,
     "Numer podatkowy nabywcy (123CZ) nie jest ani polskim NIP-em, ani numerem\n"
     "poprzedzonym kodem kraju (np. DE123456789 dla nabywcy z Niemiec).",
     nullptr, nullptr},
    {"buyer without a name", nullptr, R"({"NazwaOdbiorcy": " "})", nullptr, "Faktura nie ma nazwy nabywcy.", nullptr,
     nullptr},
    {"buyer without an address", nullptr, R"({"AdresOdbiorcy": ""})", nullptr, "Faktura nie ma adresu nabywcy.",
     nullptr, nullptr},

    // 0 % and not subject follow the buyer
    {"0 % to a Polish buyer", nullptr, KW_ONLY_GROUP_B KW_POLISH, KW_ZERO_LINE, nullptr,
     "<P_13_6_1>20.00</P_13_6_1>|<P_12>0 KR</P_12>|<P_18>2</P_18>", "PrefiksPodatnika"},
    {"0 % to a buyer without a number", nullptr, KW_ONLY_GROUP_B "}", KW_ZERO_LINE, nullptr,
     "<P_13_6_1>20.00</P_13_6_1>|<P_12>0 KR</P_12>", "PrefiksPodatnika"},
    {"0 % to an EU business", nullptr, KW_ONLY_GROUP_B KW_CZECH, KW_ZERO_LINE, nullptr,
     "<Podmiot1>\n<PrefiksPodatnika>PL</PrefiksPodatnika>\n<DaneIdentyfikacyjne>|<P_13_6_2>20.00</P_13_6_2>|"
     "<P_12>0 WDT</P_12>|<P_18>2</P_18>",
     "P_13_6_1"},
    {"0 % to a buyer outside the EU", nullptr, KW_ONLY_GROUP_B KW_SWISS, KW_ZERO_LINE, nullptr,
     "<P_13_6_3>20.00</P_13_6_3>|<P_12>0 EX</P_12>", "PrefiksPodatnika|P_13_6_1"},
    {"not subject to a Polish buyer", nullptr, KW_ONLY_GROUP_B KW_POLISH, KW_NOT_SUBJECT_LINE, nullptr,
     "<P_13_8>20.00</P_13_8>|<P_12>np I</P_12>|<P_18>2</P_18>", "PrefiksPodatnika"},
    {"not subject to an EU business", nullptr, KW_ONLY_GROUP_B KW_CZECH, KW_NOT_SUBJECT_LINE, nullptr,
     "<PrefiksPodatnika>PL</PrefiksPodatnika>|<P_13_9>20.00</P_13_9>|<P_12>np II</P_12>|<P_18>1</P_18>", "P_13_8"},
    {"not subject to a buyer outside the EU", nullptr, KW_ONLY_GROUP_B KW_SWISS, KW_NOT_SUBJECT_LINE, nullptr,
     "<P_13_8>20.00</P_13_8>|<P_12>np I</P_12>|<P_18>2</P_18>", "PrefiksPodatnika"},
    {"only taxed lines to an EU business", nullptr, R"({"NipOdbiorcy": "CZ7103192745"})", nullptr, nullptr,
     "<P_12>23</P_12>|<P_18>2</P_18>", "PrefiksPodatnika"},

    // account numbers: the schema takes 10 to 34 characters
    {"account of 9 characters", R"({"BankKonto": "Bank Lokalny 123456789"})", nullptr, nullptr, nullptr, nullptr,
     "RachunekBankowy"},
    {"account of 10 characters", R"({"BankKonto": "Bank Lokalny 12345-67890"})", nullptr, nullptr, nullptr,
     "<RachunekBankowy>\n<NrRB>1234567890</NrRB>\n<NazwaBanku>Bank Lokalny</NazwaBanku>", nullptr},
    {"account of 34 characters", R"({"BankKonto": "Bank 1234567890123456789012345678901234"})", nullptr, nullptr,
     nullptr, "<NrRB>1234567890123456789012345678901234</NrRB>", nullptr},
    {"account of 35 characters", R"({"BankKonto": "Bank 12345678901234567890123456789012345"})", nullptr, nullptr,
     nullptr, nullptr, "RachunekBankowy"},

    // currencies, with and without a rate
    {"zloty by default", nullptr, nullptr, nullptr, nullptr, "<KodWaluty>PLN</KodWaluty>", "KursWaluty|P_14_1W"},
    {"zloty as zł", nullptr, R"({"Waluta": "zł"})", nullptr, nullptr, "<KodWaluty>PLN</KodWaluty>", "KursWaluty"},
    {"zloty as ZŁ", nullptr, R"({"Waluta": " ZŁ "})", nullptr, nullptr, "<KodWaluty>PLN</KodWaluty>", "KursWaluty"},
    {"zloty as zl", nullptr, R"({"Waluta": "zl"})", nullptr,
     "Waluta faktury (zl) nie jest trzyliterowym kodem waluty (ISO 4217).", nullptr, nullptr},
    {"euro with a rate", nullptr, R"({"Waluta": "EUR", "KursWaluty": 4.3125})", nullptr, nullptr,
     "<KodWaluty>EUR</KodWaluty>|<P_14_1W>19.84</P_14_1W>|<P_14_2W>3.45</P_14_2W>|"
     "<P_12>23</P_12>\n<KursWaluty>4.3125</KursWaluty>\n</FaWiersz>|<P_12>8</P_12>\n<KursWaluty>4.3125</KursWaluty>",
     nullptr},
    {"euro without a rate", nullptr, R"({"Waluta": "EUR", "KursWaluty": 0})", nullptr,
     "Faktura w walucie EUR nie ma kursu waluty, a VAT trzeba podać w złotych.", nullptr, nullptr},
    {"euro with a negative rate", nullptr, R"({"Waluta": "EUR", "KursWaluty": -4.3})", nullptr,
     "Faktura w walucie EUR nie ma kursu waluty, a VAT trzeba podać w złotych.", nullptr, nullptr},

    // dates: KSeF takes no invoice from the future, and one from the past as issued offline
    {"issued today, sold the same day", nullptr, R"({"DataWystawienia": "2026-03-05", "DataSprzedazy": "2026-03-05"})",
     nullptr, nullptr, "<P_1>2026-03-05</P_1>", KW_OFFLINE "|<P_6>"},
    {"issued today, sold the day before", nullptr,
     R"({"DataWystawienia": "2026-03-05", "DataSprzedazy": "2026-03-04"})", nullptr, nullptr,
     "<P_1>2026-03-05</P_1>\n<P_2>FV/7</P_2>\n<P_6>2026-03-04</P_6>", KW_OFFLINE},
    {"issued the day before today", nullptr, R"({"DataWystawienia": "2026-03-04"})", nullptr, nullptr,
     "<P_1>2026-03-04</P_1>|Plik należy wysłać do KSeF.\nData wystawienia jest wcześniejsza niż dzisiejsza: " KW_OFFLINE
     ".",
     nullptr},
    {"issued the day after today", nullptr, R"({"DataWystawienia": "2026-03-06"})", nullptr,
     "Data wystawienia faktury (2026-03-06) jest późniejsza niż dzisiejsza data (2026-03-05),\n"
     "a KSeF nie przyjmuje faktury wystawionej z datą z przyszłości.",
     nullptr, nullptr},

    // the exemption basis as a Windows editor writes it
    {"exemption basis in UTF-8", nullptr, KW_ONLY_GROUP_B "}", KW_EXEMPT_LINE, nullptr,
     "<P_19>1</P_19>\n<P_19A>" KW_BASIS "</P_19A>", nullptr, "[KSeF]\r\nPodstawaZwolnienia=" KW_BASIS "\r\n"},
    {"exemption basis in Windows-1250", nullptr, KW_ONLY_GROUP_B "}", KW_EXEMPT_LINE, nullptr,
     "<P_19>1</P_19>\n<P_19A>" KW_BASIS "</P_19A>", nullptr, "[KSeF]\r\nPodstawaZwolnienia=" KW_BASIS_1250 "\r\n"},
    {"exemption basis with noncharacters", nullptr, KW_ONLY_GROUP_B "}", KW_EXEMPT_LINE, nullptr,
     "<P_19A>art. 43 ust. 1 lit. a</P_19A>", nullptr,
     "[KSeF]\r\nPodstawaZwolnienia=art. 43\xEF\xB7\x90ust. 1\xF0\x9F\xBF\xBE"
     "lit.\xC2\x85"
     "a\r\n"},
    {"exemption basis of 256 characters in UTF-8", nullptr, KW_ONLY_GROUP_B "}", KW_EXEMPT_LINE, nullptr,
     "<P_19A>" KW_256 "</P_19A>", nullptr, "[KSeF]\r\nPodstawaZwolnienia=" KW_256 "\r\n"},
    {"exemption basis of 257 characters in UTF-8", nullptr, KW_ONLY_GROUP_B "}", KW_EXEMPT_LINE,
     "Podstawa prawna zwolnienia w pliku kwitom.ini jest dłuższa niż 256 znaków.", nullptr, nullptr,
     "[KSeF]\r\nPodstawaZwolnienia=" KW_256 "x\r\n"},
};

json databaseWith(const char* company, const char* invoicePatch, const char* line) {
  json db = json::parse(kDatabase);
  if (company) db["company"].merge_patch(json::parse(company));
  if (invoicePatch) db["invoices"][0].merge_patch(json::parse(invoicePatch));
  if (line) db["invoices"][0]["lines"][0].merge_patch(json::parse(line));
  return db;
}

// The case's database; a long invoice keeps one line here and gets the rest
// as copies of its record (`longer`): ten thousand lines through JSON cost
// seconds under the sanitizers and test nothing more.
std::string databaseOf(const Case& c) {
  json db = json::parse(kDatabase);
  json& invoice = db["invoices"][0];
  if (c.lines > 0) {
    invoice["lines"] = json::array({{{"Nazwa", "Sól"}, {"Ilosc", 1}, {"CenaDokumentu", 1.0}, {"KodVat", 0}}});
    invoice.merge_patch(
        {{"NettoA", c.lines}, {"VatA", c.lines * 0.23}, {"NettoB", 0}, {"VatB", 0}, {"RazemBrutto", c.lines * 1.23}});
  }
  if (c.invoice) invoice.merge_patch(json::parse(c.invoice));
  if (c.line) invoice["lines"][0].merge_patch(json::parse(c.line));
  return db.dump();
}

void longer(const Case& c, welkor::Database& db) {
  if (c.lines > 0) db.invoices.at(0).lines.resize(c.lines, db.invoices.at(0).lines.at(0));
}

#if !defined(_WIN32)
// The schema set beside the sources (../shared/ksef), or empty when it is not there.
fs::path schemaFolder() {
  const fs::path schemas = fs::path(testing_support::testsFolder()).parent_path().parent_path() / "shared/ksef/schemas";
  return fs::exists(schemas / "schemat.xsd") ? schemas : fs::path();
}
#endif

constexpr const char* kLead = "Faktura nie została zapisana do wysłania do KSeF.\n";
constexpr const char* kSaved = "Faktura KSeF została zapisana w pliku FAKTURY\\ksef7.xml.\nPlik należy wysłać do KSeF.";

class KsefRefusals : public testing_support::HostTest {
 protected:
  void TearDown() override {
    testing_support::setNow(nullptr);
    validateWritten();
    HostTest::TearDown();
  }

  // Every document written by the test goes through xmllint in one run at its
  // end: one start per document made the byte sweep seconds long.
  void keepForSchema(const std::string& label) {
#if !defined(_WIN32)
    if (schemaFolder().empty()) return;
    fs::create_directories("validate");
    fs::copy_file("FAKTURY/ksef7.xml", "validate/" + std::to_string(written_.size()) + ".xml");
    written_.push_back(label);
#else
    (void)label;
#endif
  }

  void validateWritten() {
#if !defined(_WIN32)
    if (written_.empty()) return;
    const fs::path schemas = schemaFolder();
    std::string command = "XML_CATALOG_FILES=" + testing_support::quoted((schemas / "catalog.xml").string()) +
                          " xmllint --nonet --noout --schema " +
                          testing_support::quoted((schemas / "schemat.xsd").string());
    for (size_t i = 0; i < written_.size(); ++i) command += " validate/" + std::to_string(i) + ".xml";
    int status = 0;
    const std::string out = testing_support::capture(command + " 2>&1", status);
    for (size_t i = 0; i < written_.size(); ++i)
      EXPECT_EQ(out.find("validate/" + std::to_string(i) + ".xml fails"), std::string::npos)
          << written_[i] << " does not validate:\n" << out;
    EXPECT_EQ(status, 0) << out;
    written_.clear();
    fs::remove_all("validate");
#endif
  }

  // Exports invoice 7 of `db` at the host's moment `now`, with `ini` as
  // kwitom.ini (none when null), after whatever `change` does to the loaded
  // records; checks that nothing is left open or broken, and gives the title
  // and text (UTF-8) of the message shown last.
  template <typename Change>
  std::pair<std::string, std::string> exportWith(const std::string& db, const char* now, const char* ini,
                                                 Change change) {
    fs::remove_all("FAKTURY");
    fs::create_directory("FAKTURY");
    fs::remove("kwitom.ini");
    if (ini) testing_support::writeFile("kwitom.ini", ini);
    testing_support::setNow(now);
    welkor::state() = welkor::HostState{};
    welkor::state().db = welkor::parseDatabase(db, "test");
    change(welkor::state().db);
    welkor::tables().open(welkor::state().db);
    welkor::scanChecks() = {};  // `change` comes between the parse and the open
    const size_t scanBlocks = welkor::liveScanBlocks();
    int16_t refresh = 0;
    runWriter(&writers::ksef, welkor::state().db.invoices.at(0).header.data(), 0, &refresh);
    EXPECT_EQ(welkor::state().counts.liveBlocks, 0);
    EXPECT_EQ(welkor::state().counts.openFiles, 0);
    EXPECT_EQ(welkor::liveScanBlocks(), scanBlocks);
    EXPECT_EQ(welkor::scanChecks().protocolErrors, 0);
    EXPECT_EQ(welkor::state().protocolErrors, 0);
    const auto& messages = welkor::state().messages;
    if (messages.empty()) return {"", ""};
    return {welkor::mazoviaToUtf8(messages.back().title), welkor::mazoviaToUtf8(messages.back().text)};
  }
  std::pair<std::string, std::string> exportWith(const std::string& db, const char* now, const char* ini) {
    return exportWith(db, now, ini, [](welkor::Database&) {});
  }

  // A refusal: its reason shown, no file opened.
  void expectRefused(const std::pair<std::string, std::string>& shown, const char* reason) {
    EXPECT_EQ(shown.first, "Błąd");
    EXPECT_EQ(shown.second, std::string(kLead) + reason);
    EXPECT_EQ(welkor::state().counts.opens, 0u);
    EXPECT_FALSE(fs::exists("FAKTURY/ksef7.xml"));
  }

  // A written document, validated at the test's end (`label` names it then);
  // its text, lines ending in LF.
  std::string expectWritten(const std::pair<std::string, std::string>& shown, const std::string& label) {
    EXPECT_EQ(shown.first, "Uwaga");
    EXPECT_EQ(shown.second.substr(0, std::strlen(kSaved)), kSaved);
    keepForSchema(label);
    std::string text = testing_support::readFile("FAKTURY/ksef7.xml");
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
  }

 private:
  std::vector<std::string> written_;
};

// Each of a "|"-separated list of texts.
std::vector<std::string> each(const char* list) {
  std::vector<std::string> texts;
  if (!list) return texts;
  std::string text;
  std::istringstream in(list);
  while (std::getline(in, text, '|')) texts.push_back(text);
  return texts;
}

TEST_F(KsefRefusals, RecordsTheSchemaCannotHoldOrThatAreDamagedAreRefusedBeforeAFileIsOpened) {
  // The 10,000-line invoices take most of the time under the sanitizers: the
  // developer's loop leaves them to the full command.
  const bool loop = std::getenv("KW_LOOP") != nullptr;
  for (const Case& c : kCases) {
    if (loop && c.lines > 0) continue;
    SCOPED_TRACE(c.name);
    const auto shown = exportWith(databaseOf(c), c.now, nullptr, [&](welkor::Database& db) { longer(c, db); });
    if (c.refusal)
      expectRefused(shown, c.refusal);
    else
      expectWritten(shown, c.name);
  }
}

TEST_F(KsefRefusals, TheWritersRulesHoldAtTheirEdges) {
  for (const Rule& rule : kRules) {
    SCOPED_TRACE(rule.name);
    const auto shown =
        exportWith(databaseWith(rule.company, rule.invoice, rule.line).dump(), "2026-03-05 10:30", rule.ini);
    if (rule.refusal) {
      expectRefused(shown, rule.refusal);
      continue;
    }
    const std::string seen = expectWritten(shown, rule.name) + shown.second;
    for (const std::string& text : each(rule.holds)) EXPECT_NE(seen.find(text), std::string::npos) << text;
    for (const std::string& text : each(rule.lacks)) EXPECT_EQ(seen.find(text), std::string::npos) << text;
  }
}

// The code points of a UTF-8 text; -1 for a malformed sequence.
std::vector<int64_t> codePointsOf(const std::string& text) {
  std::vector<int64_t> out;
  for (size_t at = 0; at < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || at + length > text.size()) return {-1};
    int64_t codePoint = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (size_t i = 1; i < length; ++i) codePoint = (codePoint << 6) | (text[at + i] & 0x3F);
    out.push_back(codePoint);
    at += length;
  }
  return out;
}

// What KSeF's verification rejects, and the control characters.
bool rejected(int64_t codePoint) {
  return codePoint < 0 || (codePoint < 0x20 && codePoint != '\n' && codePoint != '\r') ||
         (codePoint >= 0x7F && codePoint <= 0x9F) || (codePoint >= 0xFDD0 && codePoint <= 0xFDEF) ||
         (codePoint & 0xFFFE) == 0xFFFE;
}

void setText(welkor::Bytes& record, layout::Text field, const std::string& text) {
  ASSERT_LT(text.size(), field.room);
  std::memset(record.data() + field.offset, 0, field.room);
  std::memcpy(record.data() + field.offset, text.data(), text.size());
}

// Every text the document copies, with every byte value in it: no character
// that KSeF rejects reaches the document, and every other one arrives as the
// host's code page has it.
TEST_F(KsefRefusals, NoByteOfACopiedTextPutsACharacterThatKsefRejectsIntoTheDocument) {
  namespace T = layout::Tspr;
  namespace D = layout::Tspr_dok;
  namespace F = layout::Firma;
  // An exempt line (the basis is copied too), a buyer outside the EU (the
  // number is copied as typed).
  const std::string db = databaseWith(nullptr, KW_ONLY_GROUP_B "}", KW_EXEMPT_LINE).dump();
  for (int32_t value = 1; value <= 0xFF; ++value) {
    const std::string b(1, static_cast<char>(value));
    SCOPED_TRACE(value);
    // From 0x80 on the basis holds the byte after 0xC2: UTF-8 of U+0080 to
    // U+00BF (the C1 controls among them), Windows-1250 from 0xC0 on.
    const std::string ini = "[KSeF]\r\nPodstawaZwolnienia=art." + (value < 0x80 ? b : "\xC2" + b) + "43\r\n";
    const auto shown = exportWith(db, "2026-03-05 10:30", ini.c_str(), [&](welkor::Database& records) {
      setText(records.company, F::Nazwa, "Hurt" + b + "ownia");
      setText(records.company, F::Ulica, "ul." + b + "Polna");
      setText(records.company, F::NrDomu, "1" + b + "2");
      setText(records.company, F::KodPocztowy, "0" + b + "-950");
      setText(records.company, F::Miejscowosc, "Wars" + b + "zawa");
      setText(records.company, F::BankKonto, "Ba" + b + "nk 12 1020 1026 0000 0402 0000 1234");
      welkor::Invoice& invoice = records.invoices.at(0);
      setText(invoice.header, T::NrFaktury, "FV/" + b + "/7");
      setText(invoice.header, T::NazwaOdbiorcy, "Sk" + b + "lep");
      setText(invoice.header, T::AdresOdbiorcy, "ul. D" + b + "uga 5, 00-950 Warszawa");
      setText(invoice.header, T::NipOdbiorcy, "CHE12" + b + "3");
      setText(invoice.lines.at(0), D::Nazwa, "S" + b + "ol");
      setText(invoice.lines.at(0), D::Jm, "k" + b + "g");
    });
    const std::string document = expectWritten(shown, "byte " + std::to_string(value));
    for (int64_t codePoint : codePointsOf(document)) ASSERT_FALSE(rejected(codePoint)) << codePoint;
    // Controls become blanks; the markup characters are escaped as always.
    std::string arrived = value < 0x20 || value == 0x7F ? " " : welkor::mazoviaToUtf8(b);
    if (arrived == "&") arrived = "&amp;";
    if (arrived == "<") arrived = "&lt;";
    if (arrived == ">") arrived = "&gt;";
    EXPECT_NE(document.find("<P_7>S" + arrived + "ol</P_7>"), std::string::npos);
  }
}

}  // namespace
