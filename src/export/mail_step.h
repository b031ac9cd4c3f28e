// The e-mail step that closes every export: offers the data file and its
// PDF to the buyer through the host's mail services.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/host_abi.h"
#include "export/layer.h"

namespace kw::exporting {

// Room of the recipient buffer: up to 300 characters and a zero.
constexpr size_t kRecipientBufferSize = 304;

// Proposes the customer's address in dialog 1002, stores what the user
// confirmed with the customer and has the host build and send the mail.
void _sendInvoiceMail(const char* pdfPath, const char* dataPath, const char* invoiceNumber, const char* sellerName,
                      const char* sellerNip, int32_t customer);

// Fills `buffer` (kRecipientBufferSize bytes) with the customer's address:
// the record's Email, else the attribute "e-mail", else an empty text.
void _getRecipient(char* buffer, int32_t customer);

// Stores the address with the customer: up to 80 characters in the record's
// Email, a longer one in the attribute "e-mail".
void _storeRecipient(const char* address, int32_t customer);

// Key callback of dialog 1002: F3 opens the host's mail settings.
int32_t KW_CDECL _mailDialogKey(int16_t command, int16_t event);

}  // namespace kw::exporting
