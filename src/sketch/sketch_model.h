#pragma once
// The network sketch as plain data: station symbols on their local north and east, observation
// lines by kind and direction, the stations that have no place in the drawing, and the frame
// (extent, scale bar, title). Built from the tables after a conversion; the SVG writer and the
// window both draw it, north up, east right, at equal scale on both axes.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/source_location.h"
#include "model/station_placement.h"
#include "model/survey_tables.h"

namespace fenwix {

enum class SketchSymbol : uint8_t {
  Seed,         // triangle
  Computed,     // filled circle
  Intersected,  // open circle
};

enum class SketchLineKind : uint8_t {
  GpsVector,     // base to rover
  TotalStation,  // occupied station to the sighted one (angle sets and single sights)
};

// A mark that the check report may set on a station or a line, with what it found.
struct SketchFlag {
  bool flagged = false;
  std::string reason;
  // A line of an observation that the report names as a suspect: the one to look at first.
  bool suspect = false;
};

struct SketchStation {
  int32_t row = 0;  // station table row of the name that stands for the point
  std::string name;
  // Names merged into this one: the same ground point, drawn as one symbol.
  std::vector<std::string> merged_names;
  double north = 0.0;  // local, meters
  double east = 0.0;
  double elevation = 0.0;
  SketchSymbol symbol = SketchSymbol::Computed;
  SketchFlag flag;
  // The error ellipse the adjustment test gives the point, at SketchModel::ellipse_confidence on
  // SketchModel::ellipse_datum; none when the test did not run or could not determine it.
  bool has_ellipse = false;
  double ellipse_major = 0.0;  // semi-axes, meters
  double ellipse_minor = 0.0;
  double ellipse_azimuth = 0.0;  // of the major axis, clockwise from north, radians
};

// One element of a field file drawn on a line, which a job file can leave out: a vector, or one
// reading of a total-station setup.
struct SketchReading {
  SourceLocation at;
  // "check: note" of the first flagged row of the checks that names the element, the suspects'
  // own rows last; empty when no flagged row names it.
  std::string reason;
  bool suspect = false;
  // A GNSS vector's solution type as the field file gives it ("Fixed", "Float", ...), trimmed;
  // empty for a total-station reading and for a vector that gives none.
  std::string solution;
  // A reading of a sight that fits another station: the name it is labelled with and the name
  // that fits (both empty otherwise).
  std::string rename_from;
  std::string rename_to;
};

struct SketchLine {
  int32_t from = 0;  // index into SketchModel::stations: the occupied station or the base
  int32_t to = 0;    // the sighted station or the rover
  SketchLineKind kind = SketchLineKind::GpsVector;
  int32_t first_observation = 0;  // observation row of the first record along this line
  int32_t observation_count = 0;  // records of this kind from `from` to `to`
  SketchFlag flag;
  // Where the records the report names on this line are (file and line); the first record when
  // it names none. Empty when not known.
  std::vector<SourceLocation> sources;
  // Every element drawn on this line, in reading order; empty when not known.
  std::vector<SketchReading> readings;
  // Every observation the adjustment test kept on this line has a redundancy number below
  // SketchModel::uncontrolled_redundancy: a blunder in it cannot be found by the network.
  bool uncontrolled = false;
  // The 95 % relative precision of its two stations (semi-major axis, mm) and its ratio to the
  // allowance; a ratio above 1 exceeds it. Negative major: not known.
  double relative_major_mm = -1.0;
  double relative_ratio = 0.0;
};

struct SketchFrame {
  // Extent of the drawn stations, meters; a single point is widened to MIN_SKETCH_EXTENT.
  double min_north = 0.0;
  double max_north = 0.0;
  double min_east = 0.0;
  double max_east = 0.0;
  // A round length (1, 2 or 5 × 10ⁿ m) of at most a quarter of the wider side.
  double scale_bar_length = 1.0;
};

struct SketchModel {
  // What a "file:line" calls each field file, by its index in SourceLocation.
  std::vector<std::string> file_labels;
  std::string xml_name;  // file names of the field files, without their folders, ", " between
  std::string date;      // YYYY-MM-DD
  // False when the conversion computed no approximate coordinates: nothing can be drawn.
  bool has_coordinates = false;
  std::vector<SketchStation> stations;
  std::vector<SketchLine> lines;
  // Stations without approximate coordinates, in table order.
  std::vector<std::string> not_computed;
  // Records whose stations are not both drawn (one end not computed).
  int32_t lines_not_drawn = 0;
  // Station table row to index in stations, -1 for a row that has no symbol of its own (a
  // merged name maps to its keeper's symbol).
  std::vector<int32_t> symbol_of_row;
  // Observation row to the lines it is drawn on (an angle set: its backsight and its
  // foresight), -1 where none; so that a mark on a record reaches its lines.
  std::vector<std::array<int32_t, 2>> lines_of_observation;
  SketchFrame frame;
  // Error ellipses are drawn this many times their size in meters (1, 2 or 5 × 10ⁿ); 0 when no
  // station has one.
  double ellipse_scale = 0.0;
  // The ellipses' confidence (0.95; 0 for standard ellipses) and datum in words ("minimum
  // trace", or the station they are relative to).
  double ellipse_confidence = 0.95;
  std::string ellipse_datum;
  // The redundancy number below which the adjustment test calls an observation uncontrolled.
  double uncontrolled_redundancy = 0.0;

  std::string Title() const;
};

// Adds a reason to a flag (one reason a line) and sets it.
void AddFlagReason(SketchFlag& flag, std::string_view reason);

// Where a line's records are, "file:line" each, separated by blanks.
std::string LineWhere(const SketchModel& model, const SketchLine& line);
// "file:line" of one element.
std::string SourceWhere(const SketchModel& model, SourceLocation source);

// The line from the station of one name to that of another (either way; total-station sights
// first), or -1.
int32_t LineBetween(const SketchModel& model, std::string_view from, std::string_view to);

// Smallest width or height of the frame, meters, so that one station still gets a scale.
inline constexpr double MIN_SKETCH_EXTENT = 10.0;

// The drawing of the tables after a conversion. placements holds one entry per station row as
// the approximate coordinates left them; empty when none were computed.
SketchModel BuildSketch(const SurveyTables& tables, std::span<const StationPlacement> placements,
                        const std::vector<std::string>& xml_paths, std::string_view date);

// Largest length of the form 1, 2 or 5 × 10ⁿ m that does not exceed at_most (> 0).
double RoundScaleLength(double at_most);

// The exaggeration at which the largest error ellipse of the model, its semi-major axis, is at
// most ELLIPSE_SHARE of the frame's wider side and at most ELLIPSE_LINE_SHARE of the median
// line's length (on a large job the frame is wide and the lines short: ellipses sized by the
// frame alone would cover their neighbours): 1, 2 or 5 × 10ⁿ; 0 when no station has one.
double EllipseScale(const SketchModel& model);
inline constexpr double ELLIPSE_SHARE = 1.0 / 15.0;
inline constexpr double ELLIPSE_LINE_SHARE = 0.5;

// The exaggeration of the error ellipses on a screen drawn at pixels_per_meter: the largest
// factor of the form 1, 2 or 5 × 10ⁿ at which the largest semi-major axis spans at most
// VIEW_ELLIPSE_PIXELS, and never below 1 (an ellipse is not drawn smaller than it is); 0 when
// no station has one. It follows the zoom, so a large job does not become a heap of ellipses.
double ViewEllipseScale(const SketchModel& model, double pixels_per_meter);
inline constexpr double VIEW_ELLIPSE_PIXELS = 40.0;

// Today's local date as YYYY-MM-DD.
std::string TodayText();

// Why a sketch without coordinates has nothing to draw.
inline constexpr std::string_view NO_COORDINATES_TEXT =
    "No approximate coordinates: name a seed station and tick a \"Compute approx for each "
    "station.\" box, then convert.";

}  // namespace fenwix
