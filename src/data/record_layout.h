// Byte layouts of the host's records: every offset in one place. A text
// field's room is the distance to the next listed field (its terminating zero
// included); money is a double holding amount x 10000, a quantity an int32
// holding thousandths, a date the host's 9-byte date field.
#pragma once

#include <cstddef>
#include <cstdint>

#include "data/layer.h"

namespace kw::data::layout {

struct Text {
  uint16_t offset;
  uint16_t room;
};
struct Money {
  uint16_t offset;
};
struct Int16 {
  uint16_t offset;
};
struct UInt16 {
  uint16_t offset;
};
struct Int32 {
  uint16_t offset;
};
struct Date {
  uint16_t offset;
};
constexpr uint16_t kDateSize = 9;

namespace Tspr {
constexpr uint16_t kSize = 1469;
constexpr Text NrFaktury{2, 34};
constexpr Text SymbolOdbiorcy{36, 17};
constexpr Text NazwaOdbiorcy{53, 101};
constexpr Text AdresOdbiorcy{154, 51};
constexpr Text NipOdbiorcy{205, 14};
constexpr Int16 RodzajCen{219};
constexpr Date DataSprzedazy{221};
constexpr Date DataWystawienia{230};
constexpr Money Zaplacono{239};
constexpr Money KwotaDoZaplaty{247};
constexpr UInt16 FormaPlatnosci{255};
constexpr UInt16 TerminPlatnosci{257};
constexpr Money RazemBrutto{259};
constexpr Money RazemNetto{267};
constexpr Money RazemVat{275};
constexpr Money BruttoA{283};
constexpr Money NettoA{291};
constexpr Money VatA{299};
constexpr Money BruttoB{307};
constexpr Money NettoB{315};
constexpr Money VatB{323};
constexpr Money BruttoC{331};
constexpr Money NettoC{339};
constexpr Money VatC{347};
constexpr Money Netto0{355};
constexpr Money WartoscOpakowan{379};
constexpr Text Uwagi{436, 145};
constexpr Text Waluta{581, 71};
constexpr Text SymbolDostawy{652, 17};
constexpr Text NazwaDostawy{669, 101};
constexpr Text AdresDostawy{770, 69};
constexpr Money KursWaluty{839};
constexpr Int16 RodzajTransakcji{995};
constexpr Int32 IdDostawy{1449};
constexpr Int32 IdKontrahenta{1453};
constexpr Int32 IdDokumentu{1465};
}  // namespace Tspr

namespace Tspr_dok {
constexpr uint16_t kSize = 515;
constexpr Text Nazwa{2, 121};
constexpr Text Kod{123, 17};
constexpr Int32 Ilosc{140};
constexpr Text Jm{144, 6};
constexpr Money CenaDokumentu{150};
constexpr UInt16 KodVat{166};
constexpr Money CenaPrzeliczona{192};
constexpr Text KodDostawcy{216, 64};
constexpr Text Pkwiu{280, 229};
constexpr UInt16 RefTowaru1{509};
constexpr UInt16 RefTowaru2{511};
}  // namespace Tspr_dok

namespace Kontrahent {
constexpr uint16_t kSize = 1536;
constexpr Text Symbol{2, 17};
constexpr Text Nazwa{19, 101};
constexpr Text Adres{120, 56};
constexpr Text Nip{176, 63};
constexpr Text BankKonto{239, 616};
constexpr Text Email{855, 81};
}  // namespace Kontrahent

namespace Firma {
constexpr uint16_t kSize = 2240;
constexpr Text Nazwa{42, 269};
constexpr Text Ulica{311, 21};
constexpr Text NrDomu{332, 14};
constexpr Text KodPocztowy{346, 7};
constexpr Text Miejscowosc{353, 158};
constexpr Text BankKonto{511, 1701};
constexpr Text Nip{2212, 14};
constexpr Text NipUE{2226, 14};
}  // namespace Firma

namespace Towar {
constexpr uint16_t kSize = 1024;
constexpr Text Kod{123, 17};
}  // namespace Towar

// The host's table object: only these fields are read.
namespace TableObject {
constexpr uint16_t RecordLength = 6;    // int16
constexpr uint16_t CurrentRecord = 8;   // pointer
constexpr uint16_t WindowStart = 80;    // int32: window start
constexpr uint16_t FirstShownRow = 84;  // int32: first row shown
constexpr uint16_t CursorRow = 88;      // int32: cursor row
constexpr uint16_t KeyHandler = 104;    // pointer
}  // namespace TableObject

// Attribute record of host services 52350 and 52351.
namespace Attribute {
constexpr uint16_t kSize = 404;
constexpr Int32 RecordNumber{0};
constexpr Int16 WordA{6};
constexpr Int16 WordB{10};
constexpr Text Name{62, 41};
constexpr Text Value{103, 301};
}  // namespace Attribute

// Mail settings record of host service 52636 (configuration 34).
namespace MailSettings {
constexpr uint16_t kSize = 1240;
constexpr Text Server{327, 63};
constexpr Text Sender{390, 61};
constexpr Text SenderName{451, 61};
constexpr Int16 Port{512};
constexpr Text Recipient{516, 362};
constexpr Text Subject{878, 362};
}  // namespace MailSettings

// Every field inside its record and no two fields sharing a byte: a typo in
// an offset above is caught by the compiler before any export runs.
namespace check {

struct Span {
  uint16_t offset;
  uint16_t size;
};
constexpr Span span(Text f) { return {f.offset, f.room}; }
constexpr Span span(Money f) { return {f.offset, 8}; }
constexpr Span span(Int16 f) { return {f.offset, 2}; }
constexpr Span span(UInt16 f) { return {f.offset, 2}; }
constexpr Span span(Int32 f) { return {f.offset, 4}; }
constexpr Span span(Date f) { return {f.offset, kDateSize}; }

template <size_t N>
constexpr bool disjointInside(const Span (&fields)[N], uint16_t recordSize) {
  for (size_t i = 0; i < N; ++i) {
    if (fields[i].size == 0 || fields[i].offset + fields[i].size > recordSize) return false;
    for (size_t j = i + 1; j < N; ++j)
      if (fields[i].offset < fields[j].offset + fields[j].size && fields[j].offset < fields[i].offset + fields[i].size)
        return false;
  }
  return true;
}

constexpr Span kTspr[] = {span(Tspr::NrFaktury),      span(Tspr::SymbolOdbiorcy),  span(Tspr::NazwaOdbiorcy),
                          span(Tspr::AdresOdbiorcy),  span(Tspr::NipOdbiorcy),     span(Tspr::RodzajCen),
                          span(Tspr::DataSprzedazy),  span(Tspr::DataWystawienia), span(Tspr::Zaplacono),
                          span(Tspr::KwotaDoZaplaty), span(Tspr::FormaPlatnosci),  span(Tspr::TerminPlatnosci),
                          span(Tspr::RazemBrutto),    span(Tspr::RazemNetto),      span(Tspr::RazemVat),
                          span(Tspr::BruttoA),        span(Tspr::NettoA),          span(Tspr::VatA),
                          span(Tspr::BruttoB),        span(Tspr::NettoB),          span(Tspr::VatB),
                          span(Tspr::BruttoC),        span(Tspr::NettoC),          span(Tspr::VatC),
                          span(Tspr::Netto0),         span(Tspr::WartoscOpakowan), span(Tspr::Uwagi),
                          span(Tspr::Waluta),         span(Tspr::SymbolDostawy),   span(Tspr::NazwaDostawy),
                          span(Tspr::AdresDostawy),   span(Tspr::KursWaluty),      span(Tspr::RodzajTransakcji),
                          span(Tspr::IdDostawy),      span(Tspr::IdKontrahenta),   span(Tspr::IdDokumentu)};
static_assert(disjointInside(kTspr, Tspr::kSize), "Tspr fields overlap or leave the record");

constexpr Span kTsprDok[] = {span(Tspr_dok::Nazwa),           span(Tspr_dok::Kod),
                             span(Tspr_dok::Ilosc),           span(Tspr_dok::Jm),
                             span(Tspr_dok::CenaDokumentu),   span(Tspr_dok::KodVat),
                             span(Tspr_dok::CenaPrzeliczona), span(Tspr_dok::KodDostawcy),
                             span(Tspr_dok::Pkwiu),           span(Tspr_dok::RefTowaru1),
                             span(Tspr_dok::RefTowaru2)};
static_assert(disjointInside(kTsprDok, Tspr_dok::kSize), "Tspr_dok fields overlap or leave the record");

constexpr Span kKontrahent[] = {span(Kontrahent::Symbol), span(Kontrahent::Nazwa),     span(Kontrahent::Adres),
                                span(Kontrahent::Nip),    span(Kontrahent::BankKonto), span(Kontrahent::Email)};
static_assert(disjointInside(kKontrahent, Kontrahent::kSize), "Kontrahent fields overlap or leave the record");

constexpr Span kFirma[] = {span(Firma::Nazwa),       span(Firma::Ulica),       span(Firma::NrDomu),
                           span(Firma::KodPocztowy), span(Firma::Miejscowosc), span(Firma::BankKonto),
                           span(Firma::Nip),         span(Firma::NipUE)};
static_assert(disjointInside(kFirma, Firma::kSize), "Firma fields overlap or leave the record");

constexpr Span kTowar[] = {span(Towar::Kod)};
static_assert(disjointInside(kTowar, Towar::kSize), "Towar fields leave the record");

constexpr Span kAttribute[] = {span(Attribute::RecordNumber), span(Attribute::WordA), span(Attribute::WordB),
                               span(Attribute::Name), span(Attribute::Value)};
static_assert(disjointInside(kAttribute, Attribute::kSize), "attribute fields overlap or leave the record");

constexpr Span kMailSettings[] = {span(MailSettings::Server),     span(MailSettings::Sender),
                                  span(MailSettings::SenderName), span(MailSettings::Port),
                                  span(MailSettings::Recipient),  span(MailSettings::Subject)};
static_assert(disjointInside(kMailSettings, MailSettings::kSize), "mail settings fields overlap or leave the record");

}  // namespace check

}  // namespace kw::data::layout
