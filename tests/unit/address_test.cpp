// Splitting a one-line address and a bank text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/address.h"
#include "frame/host_services.h"
#include "mazovia.h"
#include "test_support.h"
#include "slots.h"

namespace {

using testing_support::HostTest;
using welkor::utf8ToMazovia;

std::vector<std::string> g_trimmed;  // what the clean-up service received, in order

char* KW_CDECL recordTrim(char* text) {
  g_trimmed.push_back(text);
  return text;
}

// Runs the split through the host with its clean-up observed (or replaced).
class Splitters : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    g_trimmed.clear();
  }
  SlotSwap<decltype(svc::trimText)> trim_{svc::trimText};
};

struct Parts {
  std::string street, postalCode, city;
};

// Output buffers of the smallest size allowed, each followed by a guard, and
// filled with leftovers that must not survive.
struct AddressBuffers {
  static constexpr size_t kGuard = 8;
  std::vector<char> street = std::vector<char>(256 + kGuard, 'Z');
  std::vector<char> postalCode = std::vector<char>(7 + kGuard, 'Z');
  std::vector<char> city = std::vector<char>(256 + kGuard, 'Z');

  Parts split(const std::string& source) {
    PodzielAdres(source.c_str(), street.data(), postalCode.data(), city.data());
    for (size_t i = 0; i < kGuard; ++i) {
      EXPECT_EQ(street[256 + i], 'Z');
      EXPECT_EQ(postalCode[7 + i], 'Z');
      EXPECT_EQ(city[256 + i], 'Z');
    }
    return Parts{street.data(), postalCode.data(), city.data()};
  }
};

struct AddressCase {
  const char* source;  // UTF-8, converted to the host code page
  Parts before;        // as handed to the clean-up (empty city and all: nothing recognised)
  Parts after;         // as the writers print them
};

const std::vector<AddressCase> kAddressCases = {
    // postal code, city, street
    {"00-950 Warszawa ul. Długa 5", {"ul. Długa 5", "00-950", "Warszawa "}, {"ul. Długa 5", "00-950", "Warszawa"}},
    // street, postal code, city
    {"ul. Długa 5, 00-950 Warszawa", {"ul. Długa 5, ", "00-950", "Warszawa"}, {"ul. Długa 5", "00-950", "Warszawa"}},
    {"Długa 5 00-950 Warszawa", {"Długa 5 ", "00-950", "Warszawa"}, {"Długa 5", "00-950", "Warszawa"}},
    {"UL. Długa 5, 00-950 Warszawa", {"UL. Długa 5, ", "00-950", "Warszawa"}, {"UL. Długa 5", "00-950", "Warszawa"}},
    {"Os. Tysiąclecia 3, 31-610 Kraków",
     {"Os. Tysiąclecia 3, ", "31-610", "Kraków"},
     {"Os. Tysiąclecia 3", "31-610", "Kraków"}},
    // a leading postal code without a prefix: the city is characters 7 to 24
    {"00-950 Warszawa, Mokotow Pulawska 12",
     {"Pulawska 12", "00-950", "Warszawa, Mokotow "},
     {"Pulawska 12", "00-950", "Warszawa, Mokotow"}},
    {"00-950 Warszawa Mokotowsk", {"", "00-950", "Warszawa Mokotowsk"}, {"", "00-950", "Warszawa Mokotowsk"}},
    {"00-950 Warszawa Mokotowska", {"a", "00-950", "Warszawa Mokotowsk"}, {"a", "00-950", "Warszawa Mokotowsk"}},
    {"00-950 Łódź", {"", "00-950", "Łódź"}, {"", "00-950", "Łódź"}},
    // nothing recognised: all of it is the city
    {"Warszawa, Długa 5", {"", "", "Warszawa, Długa 5"}, {"", "", "Warszawa, Długa 5"}},
    {"00-9500 Warszawa", {"", "", "00-9500 Warszawa"}, {"", "", "00-9500 Warszawa"}},
    {" ,Warszawa, ", {"", "", " ,Warszawa, "}, {"", "", "Warszawa"}},
    // arrangements that give nothing
    {"ul. Długa 5 Warszawa", {"", "", ""}, {"", "", ""}},
    {"ul. Długa 5 00-950", {"", "", ""}, {"", "", ""}},
    {"00-950", {"", "", ""}, {"", "", ""}},
    {"", {"", "", ""}, {"", "", ""}},
    // the postal code followed by one character only: an empty city
    {"ul. Długa 5 00-950 ", {"ul. Długa 5 ", "00-950", ""}, {"ul. Długa 5", "00-950", ""}},
    // the later of two postal codes, the later of two prefixes
    {"00-950 Warszawa 01-234 Wola", {"00-950 Warszawa ", "01-234", "Wola"}, {"00-950 Warszawa", "01-234", "Wola"}},
    {"ul. Krótka 1 os. Zielone 5, 00-950 Warszawa",
     {"os. Zielone 5, ", "00-950", "Warszawa"},
     {"os. Zielone 5", "00-950", "Warszawa"}},
    // a prefix inside a word still counts
    {"00-950 Warszawa Kos. 5", {"os. 5", "00-950", "Warszawa K"}, {"os. 5", "00-950", "Warszawa K"}},
    // a digit before the code is not looked at
    {"100-950 Warszawa", {"1", "00-950", "Warszawa"}, {"1", "00-950", "Warszawa"}},
};

Parts toHost(const Parts& p) {
  return Parts{utf8ToMazovia(p.street), utf8ToMazovia(p.postalCode), utf8ToMazovia(p.city)};
}

void expectParts(const Parts& actual, const Parts& expected) {
  EXPECT_EQ(actual.street, expected.street);
  EXPECT_EQ(actual.postalCode, expected.postalCode);
  EXPECT_EQ(actual.city, expected.city);
}

TEST_F(Splitters, AddressPartsBeforeTheCleanUpInItsOrder) {
  svc::trimText.fn = &recordTrim;
  for (const AddressCase& c : kAddressCases) {
    SCOPED_TRACE(c.source);
    g_trimmed.clear();
    AddressBuffers buffers;
    Parts parts = buffers.split(utf8ToMazovia(c.source));
    Parts expected = toHost(c.before);
    expectParts(parts, expected);
    // City, postal code and street, in this order.
    EXPECT_EQ(g_trimmed, (std::vector<std::string>{expected.city, expected.postalCode, expected.street}));
  }
}

TEST_F(Splitters, AddressPartsAsTheWritersPrintThem) {
  for (const AddressCase& c : kAddressCases) {
    SCOPED_TRACE(c.source);
    AddressBuffers buffers;
    expectParts(buffers.split(utf8ToMazovia(c.source)), toHost(c.after));
  }
}

TEST_F(Splitters, OnlyTheFirst255CharactersOfAnAddressCount) {
  svc::trimText.fn = &recordTrim;
  const std::string head(250, 'x');
  AddressBuffers buffers;
  // The postal code starts at 251 and so is cut off: all of it is the city.
  Parts parts = buffers.split(head + " 00-950 Warszawa");
  EXPECT_EQ(parts.city, head + " 00-9");
  EXPECT_EQ(parts.postalCode, "");
  // Fully within the limit it is found, and the city keeps to the limit.
  parts = buffers.split(head.substr(0, 240) + " 00-950 " + std::string(100, 'W'));
  EXPECT_EQ(parts.postalCode, "00-950");
  EXPECT_EQ(parts.city, std::string(255 - 248, 'W'));
  EXPECT_EQ(parts.street, head.substr(0, 240) + " ");
}

struct BankCase {
  std::string source;
  std::string bankName, accountNumber;
};

TEST_F(Splitters, BankTextSplitsBeforeItsFirstDigit) {
  const std::string longName(250, 'B');
  const std::vector<BankCase> cases = {
      {"Bank Rolny 12 3456 7890", "Bank Rolny ", "12 3456 7890"},
      {"Bank Rolny", "", ""},
      {"", "", ""},
      {"12 3456", "", "12 3456"},
      {"Bank 1 Rolny 12 3456", "Bank ", "1 Rolny 12 3456"},
      {utf8ToMazovia("Bank Śląski 10 2000"), utf8ToMazovia("Bank Śląski "), "10 2000"},
      // bytes above 127 are never digits, whatever they look like in the code page
      {"Bank\xFD\xB2\xE6 7", "Bank\xFD\xB2\xE6 ", "7"},
      // only the first 255 characters count
      {longName + "12345678901234567890", longName, "12345"},
      {longName + "-----12345", "", ""},
  };
  for (const BankCase& c : cases) {
    SCOPED_TRACE(c.source);
    std::vector<char> name(256 + 8, 'Z'), account(256 + 8, 'Z');
    PodzielBankKonto(c.source.c_str(), name.data(), account.data());
    EXPECT_EQ(std::string(name.data()), c.bankName);
    EXPECT_EQ(std::string(account.data()), c.accountNumber);
    for (size_t i = 256; i < name.size(); ++i) {
      EXPECT_EQ(name[i], 'Z');
      EXPECT_EQ(account[i], 'Z');
    }
  }
}

TEST_F(Splitters, BankTextIsNotCleanedUp) {
  svc::trimText.fn = &recordTrim;
  char name[256], account[256];
  PodzielBankKonto(" Bank, 12 ", name, account);
  EXPECT_TRUE(g_trimmed.empty());
  EXPECT_STREQ(name, " Bank, ");
  EXPECT_STREQ(account, "12 ");
}

}  // namespace
