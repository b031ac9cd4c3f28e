// A growable list of 260-byte blocks from the host's memory, whose operations
// run inside the host's diagnostic scopes.
#pragma once

#include <cstdint>

#include "data/layer.h"

namespace kw::data {

class _CCabFileList final {
 public:
  _CCabFileList();
  // A structured exception inside is reported to the host and passes on.
  ~_CCabFileList() noexcept(false);
  _CCabFileList(const _CCabFileList&) = delete;
  _CCabFileList& operator=(const _CCabFileList&) = delete;

  // Makes room at index Liczba and empties that entry for the caller's own
  // block; Liczba itself is the caller's to advance.
  virtual void PrzygotujPozycje();
  // Grows the array by one step when every slot is in use.
  void Reallokuj();

  void** Pozycje;     // null while there is no capacity
  int32_t Liczba;     // slots in use
  int32_t Pojemnosc;  // slots allocated
  int32_t Indeks;     // the destructor's position

  static constexpr int32_t kGrowth = 50;
  static constexpr uint32_t kBlockSize = 260;
  static constexpr int32_t kOutOfMemory = 3426;

 private:
  void undoGrowth(void** grown, int32_t old, int32_t made);
};

}  // namespace kw::data
