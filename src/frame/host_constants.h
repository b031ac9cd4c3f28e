// The fixed numbers of the host's binary interface: what the plug-in passes
// and the stand-in host checks, named once for both sides. Where the meaning
// of a value belongs to the host, the plug-in passes it unchanged.
#pragma once

#include <cstdint>

namespace kw::frame::hostabi {

// Each group of fixed numbers is a type of its own, so that a key cannot be
// passed where a table is meant; the constants still convert to the plain
// integers the services take.

// Tables by number (host service 52256).
enum Table : int32_t {
  kCustomerTable = 35,  // customer records, Kontrahent
  kInvoiceTable = 44,   // sales-invoice headers, Tspr: the register
  kLineTable = 45,      // sales document lines, Tspr_dok
  kK9Table = 49,        // k9: only its record length is checked
  kCompanyTable = 59,   // the seller's own company data, Firma
};

// Modes of host service 52465 (prepare a table).
constexpr int32_t kPrepareForReading = 255;  // records are read through the current-record buffer
constexpr int32_t kPrepareRegister = 0x6A;   // the register's positions and row array brought up to date

// Keys: the BIOS scan code in the high byte, the character in the low byte.
enum Key : uint16_t {
  kKeyF1 = 0x3B00,
  kKeyF2 = 0x3C00,
  kKeyF3 = 0x3D00,
  kKeyF4 = 0x3E00,
  kKeyF5 = 0x3F00,
  kKeyF12 = 0x8600,
  kKeyCtrlF3 = 0x6000,
  kKeyAltD = 0x2000,
  kKeyEsc = 0x001B,
  kKeyLetterA = 0x0041,  // a button's key given as its letter
};

// The host's code pages (host services 35387 and 52158).
enum CodePage : int32_t {
  kCodePageHost = 1,  // Mazovia, the host's own texts
  kCodePageWindows1250 = 3,
  kCodePageWide = 5,  // UTF-16, the Windows wide-character functions' paths
  kCodePageUtf8 = 6,
};

// The plug-in's dialogs (host service 52026) and the commands they return.
constexpr int32_t kExportDialog = 1001;  // "Eksport faktur"
constexpr int32_t kMailDialog = 1002;    // "Wysylanie poczty"
constexpr int32_t kIlnDialog = 1003;     // "Opcje eksportu"
enum DialogCommand : int16_t {
  kCommandToHost = 0x5001,  // the key goes on to the host's own handler
  kCommandCancel = 0x5002,  // Esc
};
constexpr int32_t kCallbackKeepOpen = -2;  // a dialog callback's answer: the dialog stays open

// The kinds of a dialog template's items; the frame is the dialog itself.
enum DialogItemKind : uint16_t {
  kItemButton = 0,
  kItemLabel = 3,
  kItemInput = 5,
  kItemFrame = 0xFFFF,
};
constexpr uint16_t kNoCommand = 0xFFFF;  // a label's command word

// Host services 52224 and 41399 (a setting of the host's store or of a named file).
enum SettingMode : int32_t {
  kSettingRead = 1,   // into the variable whose address follows
  kSettingWrite = 2,  // the value that follows
};

// The numbers a disk error's message carries ("Błąd operacji dyskowej nr …").
enum DiskError : int32_t {
  kDiskErrorLines = 1324,      // the line table (or the writer's tables) cannot be had
  kDiskErrorLineCount = 1335,  // the same, for the EDI++ line count
};

// Host service 52534 (open a file): the values after path and mode.
constexpr int32_t kOpenFileFlags = 0x40;  // the host's flags for a plug-in's output file
constexpr int32_t kOpenFileNoOwner = -1;  // the host's mark for a file no record owns

// Host service 35802: the host's own values of a "STOP!!!" load-report box.
constexpr int32_t kStopMessageNumber = 15000;
constexpr int32_t kStopMessageFlags = 0xF001;
constexpr int32_t kStopMessageContext = 0x6E2E;

// The feature entry (export 30006): (kFeatureSet, query) asks for the
// features the host lacks; (kFeatureSet, kFeatureReport) tells it that a load
// report is being shown.
constexpr int32_t kFeatureSet = 1;
constexpr int32_t kFeatureQuery = 1;
constexpr int32_t kFeatureReport = -1;

// Named customer attributes (host services 52350, 52351).
constexpr int32_t kEmailAttributeGroup = 431;  // the group of the "e-mail" attribute
constexpr int16_t kAttributeWordA = 1;         // the host's kind words of a text attribute
constexpr int16_t kAttributeWordB = 2;

// The line scan (host services 51425 and 52278).
constexpr int32_t kLineKeyDefinition = 812;  // the key of the lines by IdDokumentu
constexpr int32_t kLineIndex = 68;           // the index of table 45 that key belongs to

// Export 30010's answer while it has no forwarding target.
constexpr int32_t kEmptyForwardResult = -1234567890;

// The host memory block in which _fprintfUTF and _fprintf1250 compose a piece.
constexpr uint32_t kFormatBufferSize = 205825;

}  // namespace kw::frame::hostabi
