// Host services: unused.
#include "host_state.h"
#include "service_impl.h"

using namespace welkor;

// unused40008
int32_t WELKOR_SERVICE(40008, unused40008)() { unimplemented(40008); }

// unused41611
int32_t WELKOR_SERVICE(41611, unused41611)() { unimplemented(41611); }

// unused41613
int32_t WELKOR_SERVICE(41613, unused41613)() { unimplemented(41613); }

// unused30005
int32_t WELKOR_SERVICE(30005, unused30005)() { unimplemented(30005); }

// unused52441
int32_t WELKOR_SERVICE(52441, unused52441)() { unimplemented(52441); }

// unused32108
int32_t WELKOR_SERVICE(32108, unused32108)() { unimplemented(32108); }

// unused30908
int32_t WELKOR_SERVICE(30908, unused30908)() { unimplemented(30908); }

// unused38511
int32_t WELKOR_SERVICE(38511, unused38511)() { unimplemented(38511); }

// unused37974
int32_t WELKOR_SERVICE(37974, unused37974)() { unimplemented(37974); }

// unused52029
int32_t WELKOR_SERVICE(52029, unused52029)() { unimplemented(52029); }
