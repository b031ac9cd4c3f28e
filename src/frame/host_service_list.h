// The 78 host services, each declared once, in slot order (the order of the
// load-time binding). Every service is reached only through its slot; the
// slots, binders, first-call entries and the stand-in host's exports are all
// generated from this list.
//
//   KW_SERVICE(ordinal, name, convention, result, (parameters))
//
// Parameters are named as the host means them ("reserved": the plug-in
// passes 0 there).
// Pointers are the host's: 32-bit in the Windows build, pointer-sized natively.
// 52224, 41399 and 35804 take their values as a va_list; 35802 and 52541 are
// variadic.

// clang-format off
#define KW_HOST_SERVICES(KW_SERVICE) \
  KW_SERVICE(30018, acceptModule,        KW_CDECL,    int32_t,     (void* module, char* reason, int32_t reasonSize)) \
  KW_SERVICE(35802, stopMessage,         KW_CDECL,    int32_t,     (int32_t number, const char* title, const char* format, int32_t flags, int32_t context, ...)) \
  KW_SERVICE(40008, unused40008,         KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(41611, unused41611,         KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(41613, unused41613,         KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(30005, unused30005,         KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(38417, exceptionReporter,   KW_CDECL,    ExceptionReportFn*, ()) \
  KW_SERVICE(52158, convertInPlace,      KW_CDECL,    int32_t,     (char* target, const char* source, int32_t fromCode, int32_t toCode)) \
  KW_SERVICE(52598, lookupGoods,         KW_CDECL,    int32_t,     (int32_t mode, int32_t reference1, int32_t reference2, char* record, int32_t options)) \
  KW_SERVICE(31012, addDays,             KW_CDECL,    int32_t,     (const char* date, char* shifted, int32_t days)) \
  KW_SERVICE(51525, sendMail,            KW_CDECL,    int32_t,     (const char* mailFile, int32_t options, const char* server, const char* sender, const char* senderName, int32_t port)) \
  KW_SERVICE(35387, convertText,         KW_CDECL,    int32_t,     (char* target, int32_t capacity, const char* source, int32_t sourceLength, int32_t fromCode, int32_t toCode)) \
  KW_SERVICE(52441, unused52441,         KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(52278, openScan,            KW_CDECL,    int32_t,     (char* scanBlock, HostTable* table, int32_t index, const char* key, int32_t reserved1, int32_t reserved2)) \
  KW_SERVICE(22900, printTarget,         KW_THISCALL, void*,       (void* self, int32_t output, const char* path, int32_t option1, int32_t option2, int32_t reserved1, int32_t reserved2, int32_t reserved3)) \
  KW_SERVICE(22934, printTargetStart,    KW_THISCALL, void*,       (void* self)) \
  KW_SERVICE(22935, printTargetOpen,     KW_THISCALL, void*,       (void* self)) \
  KW_SERVICE(22894, printObjectDispose,  KW_THISCALL, void,        (void* self)) \
  KW_SERVICE(22892, printObjectConstruct,KW_THISCALL, void*,       (void* self)) \
  KW_SERVICE(52178, amountNonZero,       KW_CDECL,    int32_t,     (double stored, int32_t resolution)) \
  KW_SERVICE(52305, closeFile,           KW_CDECL,    int32_t,     (HostFile* file)) \
  KW_SERVICE(52279, nextScan,            KW_CDECL,    int32_t,     (char* scanBlock)) \
  KW_SERVICE(34704, fatalError,          KW_CDECL,    void,        (int32_t code)) \
  KW_SERVICE(52030, showText,            KW_CDECL,    int32_t,     (const char* text)) \
  KW_SERVICE(32108, unused32108,         KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(40404, cleanText,           KW_CDECL,    char*,       (char* text)) \
  KW_SERVICE(32008, dateText,            KW_CDECL,    char*,       (char* text, const char* date)) \
  KW_SERVICE(22563, fileHolderDispose,   KW_THISCALL, void,        (void* self)) \
  KW_SERVICE(22567, fileHolderRelease,   KW_THISCALL, HostFile*,   (void* self)) \
  KW_SERVICE(22562, fileHolderConstruct, KW_THISCALL, void*,       (void* self, HostFile* file)) \
  KW_SERVICE(30204, today,               KW_CDECL,    char*,       (char* date)) \
  KW_SERVICE(52260, customerSearchKey,   KW_CDECL,    int32_t*,    ()) \
  KW_SERVICE(21602, scopeLeave,          KW_THISCALL, void,        (void* scope)) \
  KW_SERVICE(21601, scopeEnter,          KW_THISCALL, void,        (void* scope, const char* name, int32_t reserved)) \
  KW_SERVICE(38020, currentTextCode,     KW_CDECL,    int32_t*,    ()) \
  KW_SERVICE(52016, hostFolder,          KW_CDECL,    const char*, ()) \
  KW_SERVICE(52351, writeAttribute,      KW_CDECL,    int32_t,     (int32_t options, int32_t group, char* attribute)) \
  KW_SERVICE(52350, readAttribute,       KW_CDECL,    int32_t,     (int32_t options, int32_t customer, int32_t reserved1, int32_t group, const char* name, char* attribute, int32_t reserved2)) \
  KW_SERVICE(52026, runDialog,           KW_CDECL,    int32_t,     (const void* templates, int32_t dialog, char* data, DialogCallback callback)) \
  KW_SERVICE(21286, reallocate,          KW_CDECL,    void*,       (void* block, uint32_t size)) \
  KW_SERVICE(52023, showNotice,          KW_CDECL,    int32_t,     (int32_t number, int32_t* doNotShowAgain, int32_t reserved, const char* text)) \
  KW_SERVICE(52465, prepareTable,        KW_CDECL,    int32_t,     (HostTable* table, int32_t mode)) \
  KW_SERVICE(41399, namedSetting,        KW_CDECL,    int32_t,     (const char* file, int32_t mode, const char* section, const char* key, const char* format, va_list values)) \
  KW_SERVICE(52637, buildMailFile,       KW_CDECL,    int32_t,     (char* settings, const char* body, const void* mailFile, const void* pdfFile, const void* dataFile, int32_t options)) \
  KW_SERVICE(51594, interfaceVersion,    KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(51425, makeSearchKey,       KW_CDECL,    int32_t,     (int32_t keyDefinition, int32_t options, char* key, int32_t value)) \
  KW_SERVICE(50538, disposeScan,         KW_CDECL,    int32_t,     (char* scanBlock)) \
  KW_SERVICE(52015, appendFileName,      KW_CDECL,    char*,       (char* path, const char* name)) \
  KW_SERVICE(30908, unused30908,         KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(21284, allocate,            KW_CDECL,    void*,       (uint32_t size)) \
  KW_SERVICE(52262, printKeyValueA,      KW_CDECL,    int16_t*,    ()) \
  KW_SERVICE(52281, endScan,             KW_CDECL,    int32_t,     (char* scanBlock)) \
  KW_SERVICE(52064, printFinish,         KW_CDECL,    void,        ()) \
  KW_SERVICE(51430, printInvoice,        KW_CDECL,    int32_t,     (int32_t keyDefinition, const char* key, HostTable* lines)) \
  KW_SERVICE(52028, showTitled,          KW_CDECL,    int32_t,     (const char* title, const char* text, int32_t style)) \
  KW_SERVICE(52636, mailSettings,        KW_CDECL,    int32_t,     (int32_t options, int32_t configuration, char* settings, int32_t reserved)) \
  KW_SERVICE(52256, tableObject,         KW_CDECL,    HostTable*,  (int32_t table)) \
  KW_SERVICE(30520, splitDate,           KW_CDECL,    int32_t,     (const char* date, int16_t* year, int16_t* month, int16_t* day, int32_t options)) \
  KW_SERVICE(52534, openFile,            KW_CDECL,    HostFile*,   (const char* path, const char* mode, int32_t flags, int32_t reserved1, int32_t owner, int32_t reserved2, int32_t reserved3, int32_t reserved4, int32_t reserved5)) \
  KW_SERVICE(52466, loadCurrentRecord,   KW_CDECL,    int32_t,     (int32_t record, HostTable* table)) \
  KW_SERVICE(21287, release,             KW_CDECL,    void,        (void* block)) \
  KW_SERVICE(52003, printKeyDefinition,  KW_CDECL,    int32_t,     (int32_t registerValue)) \
  KW_SERVICE(52263, printKeyValueB,      KW_CDECL,    int16_t*,    ()) \
  KW_SERVICE(52161, copyBounded,         KW_CDECL,    char*,       (char* target, const char* source, int32_t limit)) \
  KW_SERVICE(30308, timeText,            KW_CDECL,    char*,       (char* text, int32_t form)) \
  KW_SERVICE(35804, showFormatted,       KW_CDECL,    int32_t,     (int32_t options, const char* title, const char* format, int32_t kind, va_list values)) \
  KW_SERVICE(37996, printEnd,            KW_CDECL,    void,        ()) \
  KW_SERVICE(52314, vatRate,             KW_CDECL,    double,      (int32_t code)) \
  KW_SERVICE(52224, hostSetting,         KW_CDECL,    int32_t,     (int32_t mode, const char* section, const char* key, const char* format, va_list values)) \
  KW_SERVICE(52133, trimText,            KW_CDECL,    char*,       (char* text)) \
  KW_SERVICE(21285, allocateZeroed,      KW_CDECL,    void*,       (uint32_t count, uint32_t size)) \
  KW_SERVICE(52352, lookupCustomer,      KW_CDECL,    int32_t,     (int32_t mode)) \
  KW_SERVICE(52541, writeFormatted,      KW_CDECL,    int32_t,     (HostFile* file, const char* format, ...)) \
  KW_SERVICE(52630, configScreen,        KW_CDECL,    int32_t,     (int32_t options, int32_t configuration, int32_t reserved)) \
  KW_SERVICE(52480, customerRecord,      KW_CDECL,    int32_t,     (char* record, int32_t operation, int32_t customer, int32_t index)) \
  KW_SERVICE(38511, unused38511,         KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(37974, unused37974,         KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(52029, unused52029,         KW_CDECL,    int32_t,     ())
// clang-format on
