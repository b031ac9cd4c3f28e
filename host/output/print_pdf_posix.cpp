// The printout as a PDF: each printed invoice on its own pages of A4, in a
// monospace font, as the text-mode printer would put it on paper.
#include <cairo-pdf.h>
#include <cairo.h>

#include <cstdio>
#include <memory>
#include <string>

#include "host_state.h"
#include "mazovia.h"
#include "printing.h"
#include "shared_file.h"

namespace welkor {

namespace {

constexpr double kPageWidth = 595.28;  // A4 in points
constexpr double kPageHeight = 841.89;
constexpr double kMargin = 36.0;
constexpr double kFontSize = 9.0;
constexpr double kLineHeight = 11.0;
constexpr const char* kFont = "DejaVu Sans Mono";

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};

// Draws the printout's lines as they come, a new page when one is full;
// each invoice starts on a page of its own.
class PageWriter {
 public:
  explicit PageWriter(cairo_t* cr) : cr_(cr) {}
  void line(const std::string& text) {
    if (onPage_ == kPerPage) newPage();
    cairo_move_to(cr_, kMargin, baseline_);
    cairo_show_text(cr_, text.c_str());
    ++onPage_;
    baseline_ += kLineHeight;
  }
  void newPage() {
    cairo_show_page(cr_);
    onPage_ = 0;
    baseline_ = kMargin + kFontSize;
  }

 private:
  static constexpr size_t kPerPage = static_cast<size_t>((kPageHeight - 2 * kMargin) / kLineHeight);
  cairo_t* cr_;
  size_t onPage_ = 0;
  double baseline_ = kMargin + kFontSize;
};

// cairo's own file output does not report a failed close; the host writes
// the file itself and checks every write.
cairo_status_t writeToFile(void* file, const unsigned char* data, unsigned int length) {
  return std::fwrite(data, 1, length, static_cast<std::FILE*>(file)) == length ? CAIRO_STATUS_SUCCESS
                                                                               : CAIRO_STATUS_WRITE_ERROR;
}

bool renderPdf(const PrintJob& job, std::FILE* file) {
  std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
      cairo_pdf_surface_create_for_stream(writeToFile, file, kPageWidth, kPageHeight));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return false;
  cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "WELKOR");
  {
    std::unique_ptr<cairo_t, ContextDeleter> cr(cairo_create(surface.get()));
    cairo_select_font_face(cr.get(), kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr.get(), kFontSize);
    cairo_set_source_rgb(cr.get(), 0, 0, 0);
    PageWriter pages(cr.get());
    for (const PrintedInvoice& invoice : job.printed) {
      printout(invoice, [&pages](const std::string& line) { pages.line(line); });
      pages.newPage();
    }
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return false;
  }
  cairo_surface_finish(surface.get());
  return cairo_surface_status(surface.get()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace

// The printout is made whole under a name of its own and only then put in
// place: another copy of the program may be printing or mailing the same
// invoice, and a cut PDF must never be taken for it.
bool writePrintout(const PrintJob& job) {
  FileReplacement printout(mazoviaToUtf8(hostPath(job.path.c_str())));
  return printout.file() && renderPdf(job, printout.file()) && printout.commit();
}

}  // namespace welkor
