// Every text the plug-in shows, once: its name and its words, written in
// UTF-8 and turned into the host's code page at compile time. The users'
// guide check reads this table, one X(name, text) entry after another; a
// format's numbered messages (the disk errors) take their numbers from
// hostabi::DiskError.
#pragma once

#include "frame/mazovia_text.h"
#include "data/layer.h"

// clang-format off
#define KW_MESSAGES(X) \
  X(kErrorTitle, "Błąd") \
  X(kNoticeTitle, "Uwaga") \
  X(kStopTitle, "STOP!!!") \
  X(kDiskError, "Błąd operacji dyskowej nr %d we wtyczce kwitomat!\nOperacja niekompletna!") \
  X(kNoMemoryForUtf8, "Nie udało się zająć pamięci dla zmiennej w funkcji _fprintfUTF") \
  X(kDocumentSaved, "Dokument został zapisany") \
  X(kMailBuildFailed, "Błąd podczas tworzenia pliku emaila!\nEmail do %s nie zostanie wysłany!") \
  X(kMailSendFailed, "Błąd podczas wysyłania emaila!\nEmail do %s nie zostanie wysłany!") \
  X(kMissingService, "funkcję o numerze %hu") \
  X(kMissingServices, "Wtyczka \"%s\" potrzebuje zaimportować\n%s z modułu głównego,\njednak moduł główny %s nie posiada. Aby " \
    "naprawić tę sytuację\nzainstaluj aktualizację programu oraz wtyczki.\n\nWTYCZKA NIE ZOSTANIE " \
    "ZAŁADOWANA!!!\n") \
  X(kRecordSizesDiffer, "Rozmiary rekordów niektórych tabel nie zgadzają się\nmiędzy programem a wtyczką '%s' (moduł '%s'):\n\n" \
    "\x01tl18l33\x01TABELA\tWE WTYCZCE\tW PROGRAMIE\n") \
  X(kModuleNotLoaded, "\nModuł \x02%s\x01\nNIE zostanie załadowany!") \
  X(kInstalled, "Zainstalowano wtyczkę do programu:\n%s") \
  X(kMissingFeatures, "Program nie obsługuje cech 0x%08X,\nktóre są niezbędne dla modułu '%s'.") \
  X(kVersionsDiffer, "Moduł \"%s\" i program występują w różnych wersjach!\n\nZostał zakualizowany tylko program albo tylko " \
    "moduł,\na nie oba jednocześnie! Aby naprawić tę sytuację\nzainstaluj aktualizację programu wraz z " \
    "modułem \"%s\".\n\nMODUŁ NIE ZOSTANIE ZAŁADOWANY!!!\n") \
  X(kNotInitialised, "Moduł \"%s\" nie został poprawnie zainicjowany,\nwięc NIE BĘDZIE AKTYWNY!") \
  X(kOpenFailed, "Nie udało się otworzyć pliku eksportu faktury") \
  X(kEppOpenFailed, "Nie udało się otworzyć pliku eksportu faktury EPP") \
  X(kKsefNotSaved, "Faktura nie została zapisana do wysłania do KSeF.\n") \
  X(kKsefLineWithoutName, "Pozycja %d nie ma nazwy.") \
  X(kKsefNegativeQuantity, "Pozycja %d (%s) ma ujemną ilość %s, a faktura VAT nie może jej zawierać.") \
  X(kKsefUnknownRate, "Pozycja %d (%s) ma kod VAT %u (stawka %g%%), którego faktura KSeF nie zna.\n" \
    "Znane są stawki 23, 22, 8, 7, 5, 3 i 0%% oraz kody 5 (zwolniona) i 9 (niepodlegająca).") \
  X(kKsefDamagedPrice, "Cena pozycji %d (%s) zapisana na fakturze jest uszkodzona: nie jest liczbą.") \
  X(kKsefLineTooLarge, "Wartość pozycji %d (%s) jest za duża dla faktury KSeF.") \
  X(kKsefDamagedAmount, "Kwota %s zapisana na fakturze jest uszkodzona: nie jest liczbą albo jest za duża.") \
  X(kKsefGroupSumsDiffer, "Sumy grupy VAT %s różnią się od zapisanych na fakturze:\n" \
    "z pozycji netto %s, VAT %s; na fakturze netto %s, VAT %s.\n" \
    "Faktura KSeF nie może różnić się od wydrukowanej.") \
  X(kKsefSellerNipNotTenDigits, "NIP sprzedawcy (%s) nie jest numerem z 10 cyfr.") \
  X(kKsefSellerNipCheckDigit, "NIP sprzedawcy (%s) ma błędną cyfrę kontrolną: to nie jest prawidłowy NIP.") \
  X(kKsefIssueDateOutOfRange, "Data wystawienia faktury (%s) wypada poza okresem od 2006-01-01 do 2050-01-01,\n" \
    "który przyjmuje faktura KSeF.") \
  X(kKsefIssueDateInFuture, "Data wystawienia faktury (%s) jest późniejsza niż dzisiejsza data (%s),\n" \
    "a KSeF nie przyjmuje faktury wystawionej z datą z przyszłości.") \
  X(kKsefSaleDateOutOfRange, "Data sprzedaży (%s) wypada poza okresem od 2006-01-01 do 2050-01-01,\n" \
    "który przyjmuje faktura KSeF.") \
  X(kKsefDueDateOutOfRange, "Termin płatności (%s, liczba dni od wystawienia: %u) wypada poza okresem\n" \
    "od 2016-07-01 do 2050-01-01, który przyjmuje faktura KSeF.") \
  X(kKsefBuyerNipNotTenDigits, "NIP nabywcy (%s) nie jest numerem z 10 cyfr.") \
  X(kKsefBuyerNipCheckDigit, "NIP nabywcy (%s) ma błędną cyfrę kontrolną: to nie jest prawidłowy NIP.") \
  X(kKsefBuyerTaxNumberUnknown, "Numer podatkowy nabywcy (%s) nie jest ani polskim NIP-em, ani numerem\n" \
    "poprzedzonym kodem kraju (np. DE123456789 dla nabywcy z Niemiec).") \
  X(kKsefCurrencyNotACode, "Waluta faktury (%s) nie jest trzyliterowym kodem waluty (ISO 4217).") \
  X(kKsefCurrencyUnknown, "Waluty faktury (%s) nie ma w wykazie walut faktury KSeF (ISO 4217).") \
  X(kKsefNoExchangeRate, "Faktura w walucie %s nie ma kursu waluty, a VAT trzeba podać w złotych.") \
  X(kKsefTooManyLines, "Faktura ma %d pozycji, a faktura KSeF może ich mieć najwyżej 10000.") \
  X(kKsefGrossDiffers, "Kwota brutto z pozycji (%s) różni się od kwoty brutto na fakturze (%s).\n" \
    "Faktura KSeF nie może różnić się od wydrukowanej.") \
  X(kKsefSaved, "Faktura KSeF została zapisana w pliku %s.\nPlik należy wysłać do KSeF.") \
  X(kKsefOffline, "\nData wystawienia jest wcześniejsza niż dzisiejsza: KSeF uzna fakturę za wystawioną offline.") \
  X(kKsefNoSellerNip, "W danych firmy brak NIP sprzedawcy.") \
  X(kKsefNoSellerName, "W danych firmy brak nazwy sprzedawcy.") \
  X(kKsefNoSellerAddress, "W danych firmy brak adresu sprzedawcy.") \
  X(kKsefNoNumber, "Faktura nie ma numeru.") \
  X(kKsefNoIssueDate, "Faktura nie ma daty wystawienia.") \
  X(kKsefNoBuyerName, "Faktura nie ma nazwy nabywcy.") \
  X(kKsefNoBuyerAddress, "Faktura nie ma adresu nabywcy.") \
  X(kKsefNoLines, "Faktura nie ma żadnej pozycji z ilością i nazwą.") \
  X(kKsefAmountsTooLarge, "Kwoty faktury są za duże dla faktury KSeF.") \
  X(kKsefNoExemptionBasis, "Faktura zawiera sprzedaż zwolnioną z VAT, a w pliku kwitom.ini brak podstawy prawnej\n" \
    "zwolnienia (sekcja [KSeF], klucz PodstawaZwolnienia=).") \
  X(kKsefExemptionBasisTooLong, "Podstawa prawna zwolnienia w pliku kwitom.ini jest dłuższa niż 256 znaków.") \
  X(kFileReplaced, "Plik %s zawiera fakturę %s.\nZostanie zastąpiony plikiem faktury %s.") \
  X(kWriteFailed, "Nie udało się zapisać pliku eksportu faktury") \
  X(kCreatingFile, "Tworzenie pliku %s") \
  X(kKsefSendWithoutExport, "W pliku kwitom.ini w sekcji [KSeF] jest Wysylka=1, ale brak Eksport=1:\n" \
    "wysyłać można tylko fakturę zapisaną przez F5.") \
  X(kKsefNoEnvironment, "W pliku kwitom.ini w sekcji [KSeF] brak klucza Srodowisko=.\n" \
    "Przy Wysylka=1 trzeba wskazać środowisko KSeF: TEST, DEMO albo PRD.") \
  X(kKsefUnknownEnvironment, "Klucz Srodowisko= w sekcji [KSeF] pliku kwitom.ini ma wartość \"%s\";\n" \
    "dozwolone są TEST, DEMO i PRD.") \
  X(kKsefNoToken, "W pliku kwitom.ini w sekcji [KSeF] brak klucza Token= (token KSeF),\n" \
    "a bez niego nie można wysłać faktury do KSeF.") \
  X(kKsefAddressNotHttps, "Klucz AdresAPI= w sekcji [KSeF] pliku kwitom.ini musi zaczynać się od https://.") \
  X(kKsefSettingsRefused, "Faktura nie została zapisana ani wysłana do KSeF.\n") \
  X(kKsefSending, "Wysyłanie faktury %s do KSeF...") \
  X(kKsefProtectedTokenUnreadable, "Zapisanego tokenu KSeF (klucz TokenChroniony= w sekcji [KSeF] pliku kwitom.ini)\n" \
    "nie można odczytać: zapisał go inny użytkownik albo inny komputer.\n" \
    "Wpisz token KSeF ponownie w kluczu Token=.") \
  X(kKsefAccepted, "Faktura %s została przyjęta przez KSeF.\nNumer KSeF: %s\n" \
    "Urzędowe poświadczenie odbioru (UPO): %s") \
  X(kKsefAcceptedBefore, "Faktura %s została już wcześniej przyjęta przez KSeF; nie wysłano jej ponownie.\n" \
    "Numer KSeF: %s\nUrzędowe poświadczenie odbioru (UPO): %s") \
  X(kKsefRejected, "KSeF odrzucił fakturę %s (kod %s):\n%s\n" \
    "Faktura nie została wystawiona. Popraw ją i wyślij ponownie (Ctrl+F3, F5).") \
  X(kKsefOutcomeUnknown, "Nie wiadomo jeszcze, czy KSeF przyjął fakturę %s: odpowiedź nie nadeszła.\n" \
    "Jej stan zostanie sprawdzony przy następnym eksporcie F5; nie wysyłaj jej w inny sposób.") \
  X(kKsefBeingSent, "Faktura %s jest właśnie wysyłana do KSeF z innego stanowiska.\n" \
    "Jej numer KSeF pokaże następny eksport F5.") \
  X(kKsefNotSent, "Faktura %s nie została wysłana do KSeF.\n") \
  X(kKsefNoConnection, "Nie udało się połączyć z KSeF albo KSeF nie odpowiedział w wyznaczonym czasie.\n" \
    "Spróbuj ponownie później (Ctrl+F3, F5).") \
  X(kKsefUntrustedServer, "Serwer nie przedstawił zaufanego certyfikatu KSeF, więc połączenie zostało przerwane.\n" \
    "Sprawdź klucz AdresAPI= w pliku kwitom.ini oraz datę i godzinę w komputerze.") \
  X(kKsefTokenRefused, "KSeF nie przyjął tokenu z pliku kwitom.ini (klucz Token=): token jest błędny,\n" \
    "wygasł, został unieważniony albo nie należy do firmy z faktury.") \
  X(kKsefServerFailed, "KSeF zgłosił błąd po swojej stronie. Spróbuj ponownie później (Ctrl+F3, F5).") \
  X(kKsefLocalFailure, "Nie udało się zapisać dziennika wysyłki FAKTURY\\ksef-wysylka.txt\n" \
    "albo odczytać pliku faktury. Sprawdź folder FAKTURY i spróbuj ponownie.") \
  X(kKsefSystemFailure, "System nie udostępnił wtyczce połączeń sieciowych albo liczb losowych\n" \
    "potrzebnych do wysyłania. Sprawdź, czy nie blokuje ich program zabezpieczający.") \
  X(kNeedsNewerPlugin, "Program wymaga nowszej wtyczki!")
// clang-format on

namespace kw::data::message {

#define KW_DEFINE_MESSAGE(name, text) inline constexpr auto name = KW_MAZ(text);
KW_MESSAGES(KW_DEFINE_MESSAGE)
#undef KW_DEFINE_MESSAGE

}  // namespace kw::data::message
