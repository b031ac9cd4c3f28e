// One run of a plug-in dialog: its input fields in the caller's data area,
// its buttons and the callback protocol. Scripted steps and the terminal
// drive the same model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "dialog_template.h"
#include "frame/host_abi.h"
#include "plugin_names.h"

namespace welkor {

class DialogModel {
 public:
  // `data` holds the input fields one after another, each with room for its
  // maximum length and a zero; null when the dialog has none.
  DialogModel(DialogTemplate dialog, char* data, DialogCallback callback);

  const DialogTemplate& dialog() const { return dialog_; }

  // Input fields in item order; texts are Mazovia.
  size_t fieldCount() const { return data_ ? fields_.size() : 0; }
  const DialogItem& fieldItem(size_t index) const { return dialog_.items[fields_[index].item]; }
  std::string field(size_t index) const;
  // Cuts the text to the field's maximum length. False when there is no such field.
  bool setField(size_t index, const std::string& text);

  // The button that a key chooses: its own key, its hot letter, or for F12
  // and Enter the default button. Null when none.
  const DialogItem* chosenItem(uint16_t key) const;

  // Presses a key: Esc closes the dialog with hostabi::kCommandCancel; a key that
  // chooses an item calls the callback with (command, 1), and unless it
  // answers -2 closes the dialog with the item's command. Any other key
  // changes nothing. True when the dialog is closed.
  bool press(uint16_t key);
  // Closes the dialog as Esc does (a run that ends without a closing key).
  void cancel();

  bool closed() const { return closed_; }
  int32_t result() const { return result_; }
  // (command, result) of each callback call.
  const std::vector<std::pair<int32_t, int32_t>>& callbacks() const { return callbacks_; }

 private:
  struct Field {
    size_t item;  // index in the dialog's items
    size_t offset;
  };
  DialogTemplate dialog_;
  char* data_;
  DialogCallback callback_;
  std::vector<Field> fields_;
  bool closed_ = false;
  int32_t result_ = hostabi::kCommandCancel;
  std::vector<std::pair<int32_t, int32_t>> callbacks_;
};

// A button's key label (between 0x05 and 0x01) and hot letter (between '~')
// are markup; the text without it.
std::string buttonCaption(const std::string& text);
// The hot letter (upper case) of a button text, 0 when it has none.
char hotLetter(const std::string& text);

}  // namespace welkor
