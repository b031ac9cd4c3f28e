// The printout where no PDF library exists: a plain record of the print
// calls and their arguments, followed by the printout's text, at the path
// that the PDF would have.
#include <string>

#include "host_state.h"
#include "mazovia.h"
#include "printing.h"
#include "shared_file.h"

namespace welkor {

bool writePrintout(const PrintJob& job) {
  std::string text = "WELKOR print record (no PDF in this build)\r\n";
  for (const std::string& call : job.calls) text += mazoviaToUtf8(call) + "\r\n";
  for (const PrintedInvoice& invoice : job.printed) {
    text += "\r\n";
    printout(invoice, [&text](const std::string& line) { text += line + "\r\n"; });
  }
  // Made whole under a name of its own, then put in place, as the PDF is.
  return replaceFileContent(mazoviaToUtf8(hostPath(job.path.c_str())), text);
}

}  // namespace welkor
