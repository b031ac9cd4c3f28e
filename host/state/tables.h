// The host's open tables: table objects laid out as the plug-in reads them,
// their current-record buffers, and the sales-invoice register's browse
// window over the invoices of the database.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "database.h"
#include "frame/host_abi.h"

// The table object's bytes: int16 record length at 6, current-record pointer
// at 8, browse position at 80, 84 and 88, key handler at 104.
struct HostTable {
  unsigned char bytes[128];
};

namespace welkor {

struct Table {
  int32_t number = 0;
  HostTable object{};
  Bytes current;                        // the current-record buffer
  std::optional<uint32_t> lookupsLeft;  // through host service 52256; none: no limit
};

// One call of a key handler, as the host's own handler received it.
struct KeyCall {
  std::array<intptr_t, 11> args;
  Bytes currentInvoice;  // the register's current record at the time of the call
};

class Tables {
 public:
  // Builds the tables from the database (knobs: a table absent or with another
  // record length); the register's cursor on the first invoice.
  void open(const Database& db);
  // Null when the table does not exist.
  HostTable* object(int32_t number);
  Table* find(int32_t number);
  Table* fromObject(HostTable* object);

  // The sales-invoice register (table 44): its row array and cursor. The
  // position fields say which row is shown first and which one the cursor is on.
  void putCursor(size_t invoiceIndex);
  void putCursor(size_t invoiceIndex, size_t firstShown);
  char** rows() { return rows_.data(); }
  std::vector<KeyCall>& hostKeyCalls() { return hostKeyCalls_; }
  // The arguments of the key press under way.
  std::array<intptr_t, 11>& pressed() { return pressed_; }

 private:
  std::map<int32_t, std::unique_ptr<Table>> tables_;
  std::vector<char*> rows_;
  std::vector<KeyCall> hostKeyCalls_;
  std::array<intptr_t, 11> pressed_{};
};

Tables& tables();

// Reads and writes of the table object's fields.
int16_t recordLengthOf(const HostTable* t);
char* currentRecordOf(const HostTable* t);
KeyHandler keyHandlerOf(const HostTable* t);

// Presses a key in the sales-invoice register (which must exist) as the host
// does: through the key handler in its table object, with the register's row
// array and the refresh flag. Returns the handler's result.
int32_t pressRegisterKey(uint16_t key, int16_t* refreshFlag);

// The host's own key handler of the register: it records what it receives.
int32_t KW_CDECL hostRegisterKeyHandler(intptr_t key, intptr_t registerValue, intptr_t own3, intptr_t rows,
                                        intptr_t own5, intptr_t tableObject, intptr_t own7, intptr_t own8,
                                        intptr_t own9, intptr_t own10, intptr_t refreshFlag);

}  // namespace welkor
