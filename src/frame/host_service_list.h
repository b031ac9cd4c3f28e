// The 78 host services, each declared once, in slot order (the order of the
// load-time binding). Every service is reached only through its slot; the
// slots, binders, first-call entries and the stand-in host's exports are all
// generated from this list.
//
//   KW_SERVICE(ordinal, name, convention, result, (parameters))
//
// Parameters are unnamed so that the same list can declare definitions.
// Pointers are the host's: 32-bit in the Windows build, pointer-sized natively.
// 52224, 41399 and 35804 take their values as a va_list; 35802 and 52541 are
// variadic.

// clang-format off
#define KW_HOST_SERVICES(KW_SERVICE) \
  KW_SERVICE(30018, acceptModule,        KW_CDECL,    int32_t,     (void*, char*, int32_t)) \
  KW_SERVICE(35802, stopMessage,         KW_CDECL,    int32_t,     (int32_t, const char*, const char*, int32_t, int32_t, ...)) \
  KW_SERVICE(40008, unused40008,         KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(41611, unused41611,         KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(41613, unused41613,         KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(30005, unused30005,         KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(38417, exceptionReporter,   KW_CDECL,    ExceptionReportFn*, ()) \
  KW_SERVICE(52158, convertInPlace,      KW_CDECL,    int32_t,     (char*, const char*, int32_t, int32_t)) \
  KW_SERVICE(52598, lookupGoods,         KW_CDECL,    int32_t,     (int32_t, int32_t, int32_t, char*, int32_t)) \
  KW_SERVICE(31012, addDays,             KW_CDECL,    int32_t,     (const char*, char*, int32_t)) \
  KW_SERVICE(51525, sendMail,            KW_CDECL,    int32_t,     (const char*, int32_t, const char*, const char*, const char*, int32_t)) \
  KW_SERVICE(35387, convertText,         KW_CDECL,    int32_t,     (char*, int32_t, const char*, int32_t, int32_t, int32_t)) \
  KW_SERVICE(52441, unused52441,         KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(52278, openScan,            KW_CDECL,    int32_t,     (char*, HostTable*, int32_t, const char*, int32_t, int32_t)) \
  KW_SERVICE(22900, printTarget,         KW_THISCALL, void*,       (void*, int32_t, const char*, int32_t, int32_t, int32_t, int32_t, int32_t)) \
  KW_SERVICE(22934, printTargetStart,    KW_THISCALL, void*,       (void*)) \
  KW_SERVICE(22935, printTargetOpen,     KW_THISCALL, void*,       (void*)) \
  KW_SERVICE(22894, printObjectDispose,  KW_THISCALL, void,        (void*)) \
  KW_SERVICE(22892, printObjectConstruct,KW_THISCALL, void*,       (void*)) \
  KW_SERVICE(52178, amountNonZero,       KW_CDECL,    int32_t,     (double, int32_t)) \
  KW_SERVICE(52305, closeFile,           KW_CDECL,    int32_t,     (HostFile*)) \
  KW_SERVICE(52279, nextScan,            KW_CDECL,    int32_t,     (char*)) \
  KW_SERVICE(34704, fatalError,          KW_CDECL,    void,        (int32_t)) \
  KW_SERVICE(52030, showText,            KW_CDECL,    int32_t,     (const char*)) \
  KW_SERVICE(32108, unused32108,         KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(40404, cleanText,           KW_CDECL,    char*,       (char*)) \
  KW_SERVICE(32008, dateText,            KW_CDECL,    char*,       (char*, const char*)) \
  KW_SERVICE(22563, fileHolderDispose,   KW_THISCALL, void,        (void*)) \
  KW_SERVICE(22567, fileHolderRelease,   KW_THISCALL, HostFile*,   (void*)) \
  KW_SERVICE(22562, fileHolderConstruct, KW_THISCALL, void*,       (void*, HostFile*)) \
  KW_SERVICE(30204, today,               KW_CDECL,    char*,       (char*)) \
  KW_SERVICE(52260, customerSearchKey,   KW_CDECL,    int32_t*,    ()) \
  KW_SERVICE(21602, scopeLeave,          KW_THISCALL, void,        (void*)) \
  KW_SERVICE(21601, scopeEnter,          KW_THISCALL, void,        (void*, const char*, int32_t)) \
  KW_SERVICE(38020, currentTextCode,     KW_CDECL,    int32_t*,    ()) \
  KW_SERVICE(52016, hostFolder,          KW_CDECL,    const char*, ()) \
  KW_SERVICE(52351, writeAttribute,      KW_CDECL,    int32_t,     (int32_t, int32_t, char*)) \
  KW_SERVICE(52350, readAttribute,       KW_CDECL,    int32_t,     (int32_t, int32_t, int32_t, int32_t, const char*, char*, int32_t)) \
  KW_SERVICE(52026, runDialog,           KW_CDECL,    int32_t,     (const void*, int32_t, char*, DialogCallback)) \
  KW_SERVICE(21286, reallocate,          KW_CDECL,    void*,       (void*, uint32_t)) \
  KW_SERVICE(52023, showNotice,          KW_CDECL,    int32_t,     (int32_t, int32_t*, int32_t, const char*)) \
  KW_SERVICE(52465, prepareTable,        KW_CDECL,    int32_t,     (HostTable*, int32_t)) \
  KW_SERVICE(41399, namedSetting,        KW_CDECL,    int32_t,     (const char*, int32_t, const char*, const char*, const char*, va_list)) \
  KW_SERVICE(52637, buildMailFile,       KW_CDECL,    int32_t,     (char*, const char*, const void*, const void*, const void*, int32_t)) \
  KW_SERVICE(51594, interfaceVersion,    KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(51425, makeSearchKey,       KW_CDECL,    int32_t,     (int32_t, int32_t, char*, int32_t)) \
  KW_SERVICE(50538, disposeScan,         KW_CDECL,    int32_t,     (char*)) \
  KW_SERVICE(52015, appendFileName,      KW_CDECL,    char*,       (char*, const char*)) \
  KW_SERVICE(30908, unused30908,         KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(21284, allocate,            KW_CDECL,    void*,       (uint32_t)) \
  KW_SERVICE(52262, printKeyValueA,      KW_CDECL,    int16_t*,    ()) \
  KW_SERVICE(52281, endScan,             KW_CDECL,    int32_t,     (char*)) \
  KW_SERVICE(52064, printFinish,         KW_CDECL,    void,        ()) \
  KW_SERVICE(51430, printInvoice,        KW_CDECL,    int32_t,     (int32_t, const char*, HostTable*)) \
  KW_SERVICE(52028, showTitled,          KW_CDECL,    int32_t,     (const char*, const char*, int32_t)) \
  KW_SERVICE(52636, mailSettings,        KW_CDECL,    int32_t,     (int32_t, int32_t, char*, int32_t)) \
  KW_SERVICE(52256, tableObject,         KW_CDECL,    HostTable*,  (int32_t)) \
  KW_SERVICE(30520, splitDate,           KW_CDECL,    int32_t,     (const char*, int16_t*, int16_t*, int16_t*, int32_t)) \
  KW_SERVICE(52534, openFile,            KW_CDECL,    HostFile*,   (const char*, const char*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t)) \
  KW_SERVICE(52466, loadCurrentRecord,   KW_CDECL,    int32_t,     (int32_t, HostTable*)) \
  KW_SERVICE(21287, release,             KW_CDECL,    void,        (void*)) \
  KW_SERVICE(52003, printKeyDefinition,  KW_CDECL,    int32_t,     (int32_t)) \
  KW_SERVICE(52263, printKeyValueB,      KW_CDECL,    int16_t*,    ()) \
  KW_SERVICE(52161, copyBounded,         KW_CDECL,    char*,       (char*, const char*, int32_t)) \
  KW_SERVICE(30308, timeText,            KW_CDECL,    char*,       (char*, int32_t)) \
  KW_SERVICE(35804, showFormatted,       KW_CDECL,    int32_t,     (int32_t, const char*, const char*, int32_t, va_list)) \
  KW_SERVICE(37996, printEnd,            KW_CDECL,    void,        ()) \
  KW_SERVICE(52314, vatRate,             KW_CDECL,    double,      (int32_t)) \
  KW_SERVICE(52224, hostSetting,         KW_CDECL,    int32_t,     (int32_t, const char*, const char*, const char*, va_list)) \
  KW_SERVICE(52133, trimText,            KW_CDECL,    char*,       (char*)) \
  KW_SERVICE(21285, allocateZeroed,      KW_CDECL,    void*,       (uint32_t, uint32_t)) \
  KW_SERVICE(52352, lookupCustomer,      KW_CDECL,    int32_t,     (int32_t)) \
  KW_SERVICE(52541, writeFormatted,      KW_CDECL,    int32_t,     (HostFile*, const char*, ...)) \
  KW_SERVICE(52630, configScreen,        KW_CDECL,    int32_t,     (int32_t, int32_t, int32_t)) \
  KW_SERVICE(52480, customerRecord,      KW_CDECL,    int32_t,     (char*, int32_t, int32_t, int32_t)) \
  KW_SERVICE(38511, unused38511,         KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(37974, unused37974,         KW_CDECL,    int32_t,     ()) \
  KW_SERVICE(52029, unused52029,         KW_CDECL,    int32_t,     ())
// clang-format on
