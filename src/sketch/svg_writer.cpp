#include "sketch/svg_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <numbers>
#include <optional>
#include <string>

#include "platform/file_access.h"
#include "platform/guarded_write.h"
#include "platform/utf8_path.h"
#include "sketch/label_grid.h"

namespace fenwix {

namespace {

// Page layout, in SVG user units (pixels at 100 %).
constexpr double MARGIN = 24.0;
constexpr double TITLE_BAND = 48.0;
constexpr double MAX_DRAWING_WIDTH = 960.0;
constexpr double MAX_DRAWING_HEIGHT = 720.0;
// Space inside the drawing's border around the outermost stations.
constexpr double PADDING = 24.0;
constexpr double PANEL_WIDTH = 260.0;
constexpr double LABEL_FONT = 10.0;
// Mean advance of a character of the sans-serif label font, as a share of its size.
constexpr double CHARACTER_WIDTH = 0.6;
constexpr double LIST_LINE = 13.0;
// Legend entries, the counts, the north arrow and the scale bar.
constexpr double LEGEND_HEIGHT = 270.0;
// Names of stations without coordinates listed in the box; the rest are counted.
constexpr size_t MAX_LISTED = 60;

// Dots along an uncontrolled line; the error ellipses, thin and unfilled over the lines.
constexpr std::string_view DOTTED = " stroke-dasharray=\"1 3\" stroke-linecap=\"round\"";
constexpr std::string_view ELLIPSE_STYLE = "fill=\"none\" stroke=\"#7a1fa2\" stroke-width=\"1\"";

using Buffer = fmt::memory_buffer;

// Text fit for element content and attribute values. Characters that XML 1.0 does not allow
// become U+FFFD; line ends and tabs are kept as references so that attributes keep them.
void AppendEscaped(Buffer& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '&':
        out.append(std::string_view("&amp;"));
        break;
      case '<':
        out.append(std::string_view("&lt;"));
        break;
      case '>':
        out.append(std::string_view("&gt;"));
        break;
      case '"':
        out.append(std::string_view("&quot;"));
        break;
      case '\n':
        out.append(std::string_view("&#10;"));
        break;
      case '\r':
        out.append(std::string_view("&#13;"));
        break;
      case '\t':
        out.append(std::string_view("&#9;"));
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out.append(std::string_view("\xEF\xBF\xBD"));
        } else {
          out.push_back(c);
        }
    }
  }
}

size_t CharacterCount(std::string_view utf8) {
  return static_cast<size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

template <typename... Args>
void Put(Buffer& out, fmt::format_string<Args...> format, Args&&... args) {
  fmt::format_to(std::back_inserter(out), format, std::forward<Args>(args)...);
}

// Where the drawing lies on the page and how meters map onto it.
struct Page {
  double scale = 1.0;  // units per meter
  double left = 0.0;   // border of the drawing
  double top = 0.0;
  double width = 0.0;
  double height = 0.0;
  double page_width = 0.0;
  double page_height = 0.0;
  SketchFrame frame;

  double X(double east) const { return left + PADDING + (east - frame.min_east) * scale; }
  double Y(double north) const { return top + PADDING + (frame.max_north - north) * scale; }
};

// Entries the adjustment test adds to the legend: the error ellipses' scale and what a dotted
// line means, each only when the sketch shows one.
bool AnyUncontrolled(const SketchModel& model) {
  return std::any_of(model.lines.begin(), model.lines.end(),
                     [](const SketchLine& line) { return line.uncontrolled; });
}

double LegendHeight(const SketchModel& model) {
  return LEGEND_HEIGHT + (model.ellipse_scale > 0 ? 40.0 : 0.0) +
         (AnyUncontrolled(model) ? 20.0 : 0.0);
}

Page Layout(const SketchModel& model) {
  Page p;
  p.frame = model.frame;
  const double extent_east = model.frame.max_east - model.frame.min_east;
  const double extent_north = model.frame.max_north - model.frame.min_north;
  p.scale = std::min(MAX_DRAWING_WIDTH / extent_east, MAX_DRAWING_HEIGHT / extent_north);
  p.left = MARGIN;
  p.top = TITLE_BAND;
  p.width = extent_east * p.scale + 2 * PADDING;
  p.height = extent_north * p.scale + 2 * PADDING;
  // A tall narrow network still leaves room for the north arrow and the scale bar.
  p.width = std::max(p.width, model.has_coordinates ? 320.0 : 620.0);
  p.page_width = p.left + p.width + MARGIN + PANEL_WIDTH + MARGIN;
  const size_t listed = std::min(model.not_computed.size(), MAX_LISTED);
  const double panel_height =
      LegendHeight(model) + 24.0 + LIST_LINE * (static_cast<double>(listed) + 3);
  p.page_height = p.top + std::max(p.height, panel_height) + MARGIN;
  return p;
}

void PutStyle(Buffer& out) {
  out.append(
      std::string_view("<style>\n"
                       ".gps{stroke:#1f5fbf;stroke-width:1;fill:none}\n"
                       ".ts{stroke:#1a8a3a;stroke-width:1.4;fill:none}\n"
                       ".ts-far{stroke:#1a8a3a;stroke-width:0.7;stroke-dasharray:3 2;fill:none}\n"
                       ".flag{stroke:#f08c28;stroke-width:1.6;fill:none}\n"
                       ".suspect{stroke:#d0006f;stroke-width:3.2;fill:none}\n"
                       ".relative{stroke:#d0006f;stroke-width:2;fill:none}\n"
                       ".seed{fill:#000;stroke:#000}\n"
                       ".computed{fill:#333;stroke:#000}\n"
                       ".intersected{fill:#fff;stroke:#000;stroke-width:1.2}\n"
                       ".flagged{fill:#f08c28;stroke:#c06000}\n"
                       ".label{font-size:10px}\n"
                       ".small{font-size:11px}\n"
                       "</style>\n"));
}

void PutSymbol(Buffer& out, SketchSymbol symbol, double x, double y, std::string_view css) {
  if (symbol == SketchSymbol::Seed) {
    Put(out, "<path class=\"{}\" d=\"M{:.1f} {:.1f}L{:.1f} {:.1f}L{:.1f} {:.1f}Z\"", css, x,
        y - 6.0, x + 5.5, y + 4.0, x - 5.5, y + 4.0);
  } else {
    Put(out, "<circle class=\"{}\" cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"3.5\"", css, x, y);
  }
}

std::string_view SymbolClass(const SketchStation& s) {
  if (s.flag.flagged) return "flagged";
  switch (s.symbol) {
    case SketchSymbol::Seed:
      return "seed";
    case SketchSymbol::Intersected:
      return "intersected";
    case SketchSymbol::Computed:
      break;
  }
  return "computed";
}

void PutLines(Buffer& out, const SketchModel& model, const Page& page) {
  // Unflagged lines of one style share a path; a flagged one stands alone with its reason.
  for (const auto& [kind, far_half, css] :
       {std::tuple{SketchLineKind::GpsVector, false, "gps"},
        std::tuple{SketchLineKind::TotalStation, false, "ts"},
        std::tuple{SketchLineKind::TotalStation, true, "ts-far"}}) {
    Put(out, "<path class=\"{}\" d=\"", css);
    for (const SketchLine& line : model.lines) {
      if (line.kind != kind || line.flag.flagged || line.uncontrolled) continue;
      const SketchStation& a = model.stations[static_cast<size_t>(line.from)];
      const SketchStation& b = model.stations[static_cast<size_t>(line.to)];
      double x0 = page.X(a.east), y0 = page.Y(a.north);
      double x1 = page.X(b.east), y1 = page.Y(b.north);
      if (kind == SketchLineKind::TotalStation) {
        // Solid from the instrument to the middle, thin and dashed on to the target.
        const double mx = (x0 + x1) / 2, my = (y0 + y1) / 2;
        if (far_half) {
          x0 = mx, y0 = my;
        } else {
          x1 = mx, y1 = my;
        }
      }
      Put(out, "M{:.1f} {:.1f}L{:.1f} {:.1f}", x0, y0, x1, y1);
    }
    out.append(std::string_view("\"/>\n"));
  }
  // Uncontrolled lines dotted, each with its stations; then the lines of flagged rows and the
  // suspects over them, each with its stations, where its records are and why it is marked.
  for (const SketchLine& line : model.lines) {
    if (!line.uncontrolled || line.flag.flagged) continue;
    const SketchStation& a = model.stations[static_cast<size_t>(line.from)];
    const SketchStation& b = model.stations[static_cast<size_t>(line.to)];
    Put(out, "<path class=\"{}\"{} data-uncontrolled=\"true\" data-from=\"",
        line.kind == SketchLineKind::GpsVector ? "gps" : "ts", DOTTED);
    AppendEscaped(out, a.name);
    out.append(std::string_view("\" data-to=\""));
    AppendEscaped(out, b.name);
    Put(out, "\" d=\"M{:.1f} {:.1f}L{:.1f} {:.1f}\"/>\n", page.X(a.east), page.Y(a.north),
        page.X(b.east), page.Y(b.north));
  }
  // Pairs over their relative precision's allowance, in the suspect colour, thinner.
  for (const SketchLine& line : model.lines) {
    if (!(line.relative_ratio > 1.0) || line.relative_major_mm < 0.0) continue;
    const SketchStation& a = model.stations[static_cast<size_t>(line.from)];
    const SketchStation& b = model.stations[static_cast<size_t>(line.to)];
    Put(out,
        "<path class=\"relative\" data-relative-major-mm=\"{:.1f}\" "
        "data-relative-ratio=\"{:.2f}\" data-from=\"",
        line.relative_major_mm, line.relative_ratio);
    AppendEscaped(out, a.name);
    out.append(std::string_view("\" data-to=\""));
    AppendEscaped(out, b.name);
    Put(out, "\" d=\"M{:.1f} {:.1f}L{:.1f} {:.1f}\"><title>", page.X(a.east), page.Y(a.north),
        page.X(b.east), page.Y(b.north));
    AppendEscaped(out, a.name);
    out.append(std::string_view(" \u2013 "));
    AppendEscaped(out, b.name);
    Put(out, ": relative precision {:.1f} mm at 95 %, {:.2f} \u00d7 its allowance</title></path>\n",
        line.relative_major_mm, line.relative_ratio);
  }
  for (const bool suspects : {false, true}) {
    for (const SketchLine& line : model.lines) {
      if (!line.flag.flagged || line.flag.suspect != suspects) continue;
      const SketchStation& a = model.stations[static_cast<size_t>(line.from)];
      const SketchStation& b = model.stations[static_cast<size_t>(line.to)];
      Put(out, "<path class=\"{}\"", suspects ? "suspect" : "flag");
      if (line.uncontrolled) {
        Put(out, "{} data-uncontrolled=\"true\"", DOTTED);
      }
      out.append(std::string_view(" data-from=\""));
      AppendEscaped(out, a.name);
      out.append(std::string_view("\" data-to=\""));
      AppendEscaped(out, b.name);
      out.append(std::string_view("\" data-where=\""));
      const std::string where = LineWhere(model, line);
      AppendEscaped(out, where);
      Put(out, "\" d=\"M{:.1f} {:.1f}L{:.1f} {:.1f}\"><title>", page.X(a.east), page.Y(a.north),
          page.X(b.east), page.Y(b.north));
      AppendEscaped(out, a.name);
      out.append(std::string_view(" \xE2\x86\x92 "));
      AppendEscaped(out, b.name);
      out.append(std::string_view(" ("));
      AppendEscaped(out, where);
      out.append(std::string_view("): "));
      AppendEscaped(out, line.flag.reason);
      out.append(std::string_view("</title></path>\n"));
    }
  }
}

// Each station's standard error ellipse, exaggerated by the model's ellipse scale, its major
// axis turned to its azimuth: clockwise from north is clockwise on the page too, where a
// rotation of 0 lays the axis east.
void PutEllipses(Buffer& out, const SketchModel& model, const Page& page) {
  if (!(model.ellipse_scale > 0)) return;
  const double units = model.ellipse_scale * page.scale;
  for (const SketchStation& s : model.stations) {
    if (!s.has_ellipse) continue;
    const double x = page.X(s.east), y = page.Y(s.north);
    const double azimuth = s.ellipse_azimuth * 180.0 / std::numbers::pi;
    Put(out,
        "<ellipse {} cx=\"{:.1f}\" cy=\"{:.1f}\" rx=\"{:.2f}\" ry=\"{:.2f}\" "
        "transform=\"rotate({:.2f} {:.1f} {:.1f})\" data-ellipse-of=\"",
        ELLIPSE_STYLE, x, y, s.ellipse_major * units, s.ellipse_minor * units, azimuth - 90.0, x,
        y);
    AppendEscaped(out, s.name);
    Put(out,
        "\" data-major-mm=\"{0:.1f}\" data-minor-mm=\"{1:.1f}\" data-azimuth-deg=\"{2:.1f}\" "
        "data-confidence=\"{3}\" data-datum=\"",
        s.ellipse_major * 1000.0, s.ellipse_minor * 1000.0, azimuth,
        model.ellipse_confidence > 0.0 ? fmt::format("{:g}", model.ellipse_confidence)
                                       : std::string("1sigma"));
    AppendEscaped(out, model.ellipse_datum);
    out.append(std::string_view("\"><title>"));
    AppendEscaped(out, s.name);
    Put(out,
        ": error ellipse {:.1f} \u00d7 {:.1f} mm, major axis at {:.1f}\u00b0</title></ellipse>\n",
        s.ellipse_major * 1000.0, s.ellipse_minor * 1000.0, azimuth);
  }
}

void PutStations(Buffer& out, const SketchModel& model, const Page& page) {
  for (const SketchStation& s : model.stations) {
    const double x = page.X(s.east), y = page.Y(s.north);
    PutSymbol(out, s.symbol, x, y, SymbolClass(s));
    out.append(std::string_view(" data-station=\""));
    AppendEscaped(out, s.name);
    Put(out, "\" data-north=\"{:.4f}\" data-east=\"{:.4f}\" data-elevation=\"{:.4f}\"", s.north,
        s.east, s.elevation);
    if (!s.merged_names.empty()) {
      out.append(std::string_view(" data-merged=\""));
      for (size_t i = 0; i < s.merged_names.size(); ++i) {
        if (i > 0) out.append(std::string_view("&#10;"));
        AppendEscaped(out, s.merged_names[i]);
      }
      out.push_back('"');
    }
    out.append(std::string_view("><title>"));
    AppendEscaped(out, s.name);
    for (const std::string& merged : s.merged_names) {
      out.append(std::string_view(" = "));
      AppendEscaped(out, merged);
    }
    Put(out, "&#10;N {:.3f}  E {:.3f}  Elev {:.3f}", s.north, s.east, s.elevation);
    if (s.flag.flagged) {
      out.append(std::string_view("&#10;"));
      AppendEscaped(out, s.flag.reason);
    }
    out.append(s.symbol == SketchSymbol::Seed ? std::string_view("</title></path>\n")
                                              : std::string_view("</title></circle>\n"));
  }
}

// Names beside their symbols where they fit without covering another; the seed first.
void PutLabels(Buffer& out, const SketchModel& model, const Page& page) {
  // Cells finer than the gap between a symbol and its label, so that a station's own symbol
  // never refuses its label.
  LabelGrid grid(page.page_width, page.page_height, LABEL_FONT / 4);
  std::vector<size_t> order(model.stations.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_partition(order.begin(), order.end(),
                        [&](size_t i) { return model.stations[i].symbol == SketchSymbol::Seed; });
  // No label runs into the legend beside the drawing, where the north arrow and the scale bar
  // are.
  const double panel = page.left + page.width + MARGIN;
  grid.Block(panel, 0.0, page.page_width, page.page_height);
  // No label covers a symbol.
  for (const SketchStation& s : model.stations) {
    const double x = page.X(s.east), y = page.Y(s.north);
    grid.Block(x - 3.5, y - 3.5, x + 3.5, y + 3.5);
  }
  out.append(std::string_view("<g class=\"label\">\n"));
  for (const size_t i : order) {
    const SketchStation& s = model.stations[i];
    size_t characters = CharacterCount(s.name);
    for (const std::string& merged : s.merged_names) characters += 3 + CharacterCount(merged);
    const double x = page.X(s.east) + 6.0, y = page.Y(s.north) - 4.0;
    const double width = static_cast<double>(characters) * LABEL_FONT * CHARACTER_WIDTH;
    if (!grid.Claim(x, y - LABEL_FONT, x + width, y + 2.0)) continue;
    Put(out, "<text x=\"{:.1f}\" y=\"{:.1f}\">", x, y);
    AppendEscaped(out, s.name);
    for (const std::string& merged : s.merged_names) {
      out.append(std::string_view(" = "));
      AppendEscaped(out, merged);
    }
    out.append(std::string_view("</text>\n"));
  }
  out.append(std::string_view("</g>\n"));
}

// An exaggeration as the legend says it: "500", "20000", "0.5".
std::string ScaleText(double factor) {
  return factor >= 1.0 ? fmt::format("{:.0f}", factor) : fmt::format("{:g}", factor);
}

std::string LengthText(double meters) {
  return meters >= 1000.0 ? fmt::format("{:g} km", meters / 1000.0) : fmt::format("{:g} m", meters);
}

// North arrow and scale bar side by side in the legend, below its entries, at (x, y).
void PutNorthArrowAndScale(Buffer& out, const SketchModel& model, const Page& page, double x,
                           double y) {
  const double ax = x + PANEL_WIDTH - 30.0;
  Put(out,
      "<g><path d=\"M{0:.1f} {1:.1f}L{2:.1f} {3:.1f}L{0:.1f} {4:.1f}Z\" fill=\"#000\"/>"
      "<path d=\"M{0:.1f} {1:.1f}L{5:.1f} {3:.1f}L{0:.1f} {4:.1f}Z\" fill=\"#fff\" "
      "stroke=\"#000\"/><text x=\"{0:.1f}\" y=\"{6:.1f}\" text-anchor=\"middle\" "
      "font-size=\"13\" font-weight=\"bold\">N</text></g>\n",
      ax, y + 14.0, ax + 7.0, y + 44.0, y + 36.0, ax - 7.0, y + 10.0);
  const double length = model.frame.scale_bar_length * page.scale;
  const double sx = x + 12.0, sy = y + 36.0;
  Put(out,
      "<g><rect x=\"{0:.1f}\" y=\"{1:.1f}\" width=\"{2:.1f}\" height=\"5\" fill=\"#000\"/>"
      "<rect x=\"{3:.1f}\" y=\"{1:.1f}\" width=\"{2:.1f}\" height=\"5\" fill=\"#fff\" "
      "stroke=\"#000\"/><text x=\"{0:.1f}\" y=\"{4:.1f}\">0</text>"
      "<text x=\"{5:.1f}\" y=\"{4:.1f}\" text-anchor=\"end\">{6}</text></g>\n",
      sx, sy, length / 2, sx + length / 2, sy - 5.0, sx + length,
      LengthText(model.frame.scale_bar_length));
}

void PutPanel(Buffer& out, const SketchModel& model, const Page& page) {
  const double x = page.left + page.width + MARGIN;
  double y = page.top;
  Put(out,
      "<g class=\"small\"><rect x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" height=\"{:.1f}\" "
      "fill=\"#fff\" stroke=\"#888\"/>\n",
      x, y, PANEL_WIDTH, LegendHeight(model));
  Put(out, "<text x=\"{:.1f}\" y=\"{:.1f}\" font-weight=\"bold\">Legend</text>\n", x + 10, y + 18);
  double row = y + 38;
  const double sx = x + 20, tx = x + 44;
  const auto entry = [&](std::string_view text) {
    Put(out, "<text x=\"{:.1f}\" y=\"{:.1f}\">", tx, row + 4);
    AppendEscaped(out, text);
    out.append(std::string_view("</text>\n"));
    row += 20;
  };
  PutSymbol(out, SketchSymbol::Seed, sx, row, "seed");
  out.append(std::string_view("/>\n"));
  entry("seed station");
  PutSymbol(out, SketchSymbol::Computed, sx, row, "computed");
  out.append(std::string_view("/>\n"));
  entry("computed station");
  PutSymbol(out, SketchSymbol::Intersected, sx, row, "intersected");
  out.append(std::string_view("/>\n"));
  entry("placed by intersection");
  Put(out, "<path class=\"gps\" d=\"M{:.1f} {:.1f}h24\"/>\n", sx - 12, row);
  entry("GNSS vector");
  Put(out,
      "<path class=\"ts\" d=\"M{0:.1f} {1:.1f}h12\"/><path class=\"ts-far\" d=\"M{2:.1f} "
      "{1:.1f}h12\"/>\n",
      sx - 12, row, sx);
  entry("total station, from the instrument");
  Put(out, "<path class=\"flag\" d=\"M{:.1f} {:.1f}h24\"/>\n", sx - 12, row);
  entry("in a flagged row of the checks");
  Put(out, "<path class=\"suspect\" d=\"M{:.1f} {:.1f}h24\"/>\n", sx - 12, row);
  entry("suspect observation");
  if (model.ellipse_scale > 0) {
    Put(out, "<ellipse {} cx=\"{:.1f}\" cy=\"{:.1f}\" rx=\"10\" ry=\"5\"/>\n", ELLIPSE_STYLE, sx,
        row);
    entry(fmt::format("error ellipses \u00d7 {}", ScaleText(model.ellipse_scale)));
    entry(fmt::format("{}, datum {}",
                      model.ellipse_confidence > 0.0
                          ? fmt::format("at {:g} %", model.ellipse_confidence * 100.0)
                          : std::string("standard (1\u03c3)"),
                      model.ellipse_datum));
  }
  if (AnyUncontrolled(model)) {
    // Any line may be dotted: the sample takes no line's colour.
    Put(out, "<path stroke=\"#555\" stroke-width=\"1.4\"{} d=\"M{:.1f} {:.1f}h24\"/>\n", DOTTED,
        sx - 12, row);
    entry(fmt::format("dotted: uncontrolled, r < {:g}", model.uncontrolled_redundancy));
  }
  Put(out, "<text x=\"{:.1f}\" y=\"{:.1f}\">{} stations, {} lines</text>\n", x + 10, row + 4,
      model.stations.size(), model.lines.size());
  if (model.has_coordinates) PutNorthArrowAndScale(out, model, page, x, row + 12);

  y += LegendHeight(model) + 14;
  const size_t listed = std::min(model.not_computed.size(), MAX_LISTED);
  const bool more = model.not_computed.size() > listed;
  const double box = LIST_LINE * (static_cast<double>(listed) + (more ? 3 : 2)) + 8;
  Put(out,
      "<g id=\"not-computed\" data-count=\"{}\"><rect x=\"{:.1f}\" y=\"{:.1f}\" "
      "width=\"{:.1f}\" height=\"{:.1f}\" fill=\"#fff\" stroke=\"#888\"/>\n"
      "<text x=\"{:.1f}\" y=\"{:.1f}\" font-weight=\"bold\">Not computed: {}</text>\n",
      model.not_computed.size(), x, y, PANEL_WIDTH, box, x + 10, y + 18, model.not_computed.size());
  for (size_t i = 0; i < listed; ++i) {
    Put(out, "<text x=\"{:.1f}\" y=\"{:.1f}\">", x + 10, y + 18 + LIST_LINE * (i + 1));
    AppendEscaped(out, model.not_computed[i]);
    out.append(std::string_view("</text>\n"));
  }
  if (more) {
    Put(out, "<text x=\"{:.1f}\" y=\"{:.1f}\">\u2026 and {} more</text>\n", x + 10,
        y + 18 + LIST_LINE * (listed + 1), model.not_computed.size() - listed);
  }
  out.append(std::string_view("</g></g>\n"));
}

}  // namespace

std::string SketchSvg(const SketchModel& model) {
  const Page page = Layout(model);
  Buffer out;
  Put(out,
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{0:.0f}\" height=\"{1:.0f}\" "
      "viewBox=\"0 0 {0:.0f} {1:.0f}\" font-family=\"sans-serif\">\n<title>",
      page.page_width, page.page_height);
  AppendEscaped(out, model.Title());
  out.append(std::string_view("</title>\n"));
  PutStyle(out);
  Put(out,
      "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n<text x=\"{:.1f}\" y=\"30\" "
      "font-size=\"18\">",
      MARGIN);
  AppendEscaped(out, model.Title());
  out.append(std::string_view("</text>\n"));
  Put(out,
      "<rect x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" height=\"{:.1f}\" fill=\"none\" "
      "stroke=\"#888\"/>\n",
      page.left, page.top, page.width, page.height);
  if (!model.has_coordinates) {
    Put(out, "<text x=\"{:.1f}\" y=\"{:.1f}\" class=\"small\">", page.left + 12,
        page.top + page.height / 2);
    AppendEscaped(out, NO_COORDINATES_TEXT);
    out.append(std::string_view("</text>\n"));
  }
  PutLines(out, model, page);
  PutEllipses(out, model, page);
  PutStations(out, model, page);
  PutLabels(out, model, page);
  PutPanel(out, model, page);
  out.append(std::string_view("</svg>\n"));
  return fmt::to_string(out);
}

namespace {

// Largest coordinate or size the sketch writes: past it a value is a fault upstream, and its
// digits (up to 309 of them) would be no coordinate a script can use.
constexpr double MAX_DRAWN_MAGNITUDE = 1e15;

bool Drawable(double value) {
  return std::fabs(value) <= MAX_DRAWN_MAGNITUDE;  // false for NaN as well
}

// The first station whose numbers cannot be written soundly, or the frame's; nothing when all
// can.
std::optional<std::string> UndrawableValue(const SketchModel& model) {
  for (const SketchStation& s : model.stations) {
    const bool ellipse_ok =
        !s.has_ellipse ||
        (Drawable(s.ellipse_major) && Drawable(s.ellipse_minor) && Drawable(s.ellipse_azimuth));
    if (!Drawable(s.north) || !Drawable(s.east) || !Drawable(s.elevation) || !ellipse_ok) {
      return "station " + s.name;
    }
  }
  const SketchFrame& f = model.frame;
  for (const double value : {f.min_north, f.max_north, f.min_east, f.max_east, f.scale_bar_length,
                             model.ellipse_scale}) {
    if (!Drawable(value)) return std::string("the drawing's extent");
  }
  return std::nullopt;
}

}  // namespace

Status WriteSketchSvg(const SketchModel& model, const std::string& path) {
  if (const std::optional<std::string> where = UndrawableValue(model)) {
    return Status(StatusKind::WriteFailed,
                  "the coordinates of " + *where + " are beyond any survey value");
  }
  // Through a temporary file: a sketch that cannot be written leaves the previous one whole.
  if (const int error = WriteWholeFile(path, SketchSvg(model))) {
    return Status(StatusKind::WriteFailed, SystemErrorText(error));
  }
  return Status();
}

}  // namespace fenwix
