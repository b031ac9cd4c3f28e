// The printout as a PDF: each printed invoice on its own pages of A4, in a
// monospace font, as the text-mode printer would put it on paper.
#include <cairo-pdf.h>
#include <cairo.h>

#include <memory>
#include <string>
#include <vector>

#include "host_state.h"
#include "mazovia.h"
#include "printing.h"

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

void drawPages(cairo_t* cr, const std::vector<std::string>& lines) {
  const size_t perPage = static_cast<size_t>((kPageHeight - 2 * kMargin) / kLineHeight);
  size_t next = 0;
  do {
    double baseline = kMargin + kFontSize;
    for (size_t n = 0; n < perPage && next < lines.size(); ++n, ++next, baseline += kLineHeight) {
      cairo_move_to(cr, kMargin, baseline);
      cairo_show_text(cr, lines[next].c_str());
    }
    cairo_show_page(cr);
  } while (next < lines.size());
}

}  // namespace

bool writePrintout(const PrintJob& job) {
  std::string path = mazoviaToUtf8(hostPath(job.path.c_str()));
  std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
      cairo_pdf_surface_create(path.c_str(), kPageWidth, kPageHeight));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return false;
  cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "WELKOR");
  {
    std::unique_ptr<cairo_t, ContextDeleter> cr(cairo_create(surface.get()));
    cairo_select_font_face(cr.get(), kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr.get(), kFontSize);
    cairo_set_source_rgb(cr.get(), 0, 0, 0);
    for (const PrintedInvoice& invoice : job.printed) drawPages(cr.get(), printoutLines(invoice));
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return false;
  }
  cairo_surface_finish(surface.get());
  return cairo_surface_status(surface.get()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace welkor
