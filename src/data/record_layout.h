// Byte layouts of the host's records: every offset in one place. A text
// field's room is the distance to the next listed field (its terminating zero
// included); money is a double holding amount x 10000, a quantity an int32
// holding thousandths, a date the host's 9-byte date field.
#pragma once

#include <cstdint>

namespace layout {

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
constexpr uint16_t RecordLength = 6;  // int16
constexpr uint16_t CurrentRecord = 8;  // pointer
constexpr uint16_t Position80 = 80;  // int32: window start
constexpr uint16_t Position84 = 84;  // int32: first row shown
constexpr uint16_t Position88 = 88;  // int32: cursor row
constexpr uint16_t KeyHandler = 104;  // pointer
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

}  // namespace layout
