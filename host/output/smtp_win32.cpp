// SMTP where the build has no mail transfer library: the mail is not sent.
#include <cstdio>

#include "mail.h"

namespace welkor {

int32_t sendOverSmtp(const std::string&, const std::string& server, int32_t port, const std::string&,
                     const std::vector<std::string>&) {
  std::fprintf(stderr, "WELKOR: no SMTP in this build; mail for %s:%d not sent\n", server.c_str(), port);
  return -1;
}

}  // namespace welkor
