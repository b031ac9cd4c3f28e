// The stand-in host's database: one JSON file (UTF-8) loaded into the host's
// own records, texts converted to Mazovia and cut to their rooms.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "plugin_names.h"

namespace welkor {

using Bytes = std::vector<char>;

struct Customer {
  int32_t id = 0;
  Bytes record;                                   // Kontrahent, 1536 bytes
  std::map<std::string, std::string> attributes;  // name -> value, both Mazovia
};

struct Goods {
  uint16_t ref1 = 0;
  uint16_t ref2 = 0;
  Bytes record;  // Towar, 1024 bytes
};

struct Invoice {
  Bytes header;                // Tspr, 1469 bytes
  std::vector<Bytes> lines;    // Tspr_dok, 515 bytes each, in scan order
  int32_t id() const;          // IdDokumentu
  std::string number() const;  // NrFaktury as stored (Mazovia)
};

struct MailConfig {
  std::string server;  // empty: no server
  int32_t port = 25;
  std::string from;      // Mazovia
  std::string fromName;  // Mazovia
};

struct TableKnob {
  bool absent = false;
  std::optional<int32_t> recordLength;
  // The table's object is given only to this many lookups (52256); later
  // ones find none, as if the table went away after the size check.
  std::optional<uint32_t> lookups;
};

// A service that raises a structured exception on one of its calls.
struct RaiseKnob {
  uint32_t service = 0;  // 51430 (print), 52028 (titled message) or 52480 (customer record)
  uint32_t code = 0;
  uint32_t call = 1;  // the first call raises, or this one
};

// Test knobs of the `host` section.
struct HostKnobs {
  std::vector<uint32_t> missingServices;
  int32_t features = 1;
  int32_t interfaceVersion = 112;
  std::optional<std::string> acceptText;  // set: the host rejects the module with this text (Mazovia)
  std::map<int32_t, TableKnob> tables;
  // Paths as the plug-in names them, `*` standing for any run of characters
  // (a temporary name holds a part of the writer's own).
  std::vector<std::string> failOpen;  // whose open fails
  std::vector<std::string> fullDisk;  // whose writes fail as on a full disk (natively only)
  std::optional<uint32_t> failAllocationSize;  // allocations of this size fail
  std::optional<RaiseKnob> raiseException;
  // The Nth call (counted from 1 since the start) fails; 0 for none.
  // Allocations count 21284, 21285 and 21286 together.
  uint32_t failAllocationCall = 0;
  uint32_t failOpenCall = 0;   // 52534
  uint32_t failWriteCall = 0;  // 52541
  uint32_t failCloseCall = 0;  // 52305: the file is closed all the same
};

struct Database {
  std::string path;  // where it was loaded from (customer changes are written back there)
  Bytes company;     // Firma, 2240 bytes
  std::map<int32_t, double> vatRates;
  std::vector<Customer> customers;
  std::vector<Goods> goods;
  std::vector<Invoice> invoices;
  MailConfig mail;
  HostKnobs knobs;
  nlohmann::ordered_json document;  // the file as read (its order kept), for writing customer changes back
};

// A database that cannot be used: the message names the file, the position or
// field, and what is wrong.
struct DatabaseError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

Database loadDatabase(const std::string& path);
Database parseDatabase(const std::string& jsonText, const std::string& pathForMessages);

// Writes what changed in one customer's record fields and attributes back
// into the database file, as it is now: under the file's lock, a new file,
// then a rename. Another process's changes to the file are kept.
void saveCustomer(Database& db, const Customer& customer);

}  // namespace welkor
