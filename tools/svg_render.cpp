#include "svg_render.hpp"

#include <cairo-pdf.h>
#include <cairo.h>
#include <librsvg/rsvg.h>

#include <cmath>

namespace stemloop_tools {
namespace {

cairo_status_t append(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

// PNG pixels per SVG pixel: twice, so that small letters stay sharp.
constexpr double kPngScale = 2.0;

}  // namespace

const char* extension_of(DrawingFormat format) {
  switch (format) {
    case DrawingFormat::Png:
      return "png";
    case DrawingFormat::Pdf:
      return "pdf";
    case DrawingFormat::Svg:
      break;
  }
  return "svg";
}

bool render_svg(const std::string& svg, DrawingFormat format, std::string& bytes) {
  if (format == DrawingFormat::Svg) {
    bytes = svg;
    return true;
  }
  GError* error = nullptr;
  RsvgHandle* handle =
      rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg.data()), svg.size(), &error);
  if (handle == nullptr) {
    bytes = std::string("cannot read the drawing: ") + (error ? error->message : "unknown error");
    if (error) g_error_free(error);
    return false;
  }
  gdouble width = 0;
  gdouble height = 0;
  if (!rsvg_handle_get_intrinsic_size_in_pixels(handle, &width, &height)) width = height = 100;
  const double scale = format == DrawingFormat::Png ? kPngScale : 1.0;
  std::string out;
  cairo_surface_t* surface =
      format == DrawingFormat::Png
          ? cairo_image_surface_create(CAIRO_FORMAT_ARGB32,
                                       static_cast<int>(std::lround(width * scale)),
                                       static_cast<int>(std::lround(height * scale)))
          : cairo_pdf_surface_create_for_stream(append, &out, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, scale, scale);
  const RsvgRectangle viewport{0, 0, width, height};
  const bool drawn = rsvg_handle_render_document(handle, cr, &viewport, &error) != 0;
  cairo_destroy(cr);
  if (drawn && format == DrawingFormat::Png)
    cairo_surface_write_to_png_stream(surface, append, &out);
  cairo_surface_finish(surface);
  const bool ok = drawn && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  g_object_unref(handle);
  if (!ok) {
    bytes = std::string("cannot render the drawing: ") + (error ? error->message : "cairo failed");
    if (error) g_error_free(error);
    return false;
  }
  bytes = std::move(out);
  return true;
}

}  // namespace stemloop_tools
