// The printout where no PDF library exists: a plain record of the print
// calls and their arguments, followed by the printout's text, at the path
// that the PDF would have.
#include <cstdio>
#include <string>

#include "host_state.h"
#include "mazovia.h"
#include "printing.h"
#include "utf8_file.h"

namespace welkor {

bool writePrintout(const PrintJob& job) {
  std::string text = "WELKOR print record (no PDF in this build)\r\n";
  for (const std::string& call : job.calls) text += mazoviaToUtf8(call) + "\r\n";
  for (const PrintedInvoice& invoice : job.printed) {
    text += "\r\n";
    printout(invoice, [&text](const std::string& line) { text += line + "\r\n"; });
  }
  const std::string path = mazoviaToUtf8(hostPath(job.path.c_str()));
  if (writeUtf8File(path, text)) return true;
  if (isRegularFile(path)) std::remove(path.c_str());  // a cut record is no printout
  return false;
}

}  // namespace welkor
