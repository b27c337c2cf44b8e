#pragma once
// The pulse-moment dependent frequency shift: a short table of (pulse
// moment, signal frequency) rows, edited as texts in a two-column grid and
// stored in FrequencyShiftTable, and the curves its dialog draws.
//
// A table of n zones has n + 1 rows (n = 0..9). The record holds n in slot 0
// and row k in slots 1 + 2k (pulse moment, A-ms) and 2 + 2k (signal
// frequency, Hz), rows ascending by pulse moment. No value is range-checked.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/sounding_parameters.h"
#include "options/plot_points.h"

namespace kvo::core {

inline constexpr int kMaxZones = 9;
inline constexpr std::string_view kShiftMomentColumn = "Pulse (A-ms)";
inline constexpr std::string_view kShiftFrequencyColumn = "Signal freq. (Hz)";

// One grid row as shown: pulse moment and signal frequency texts.
struct ShiftRowText {
  std::string moment;
  std::string frequency;

  friend bool operator==(const ShiftRowText&, const ShiftRowText&) = default;
};
using ShiftGrid = std::vector<ShiftRowText>;

struct ShiftRow {
  double moment;     // A-ms
  double frequency;  // Hz
};

// The number of zones a record holds: slot 0 truncated, kept within 0..9
// (a damaged file cannot ask for more rows than the record has room for).
int shiftZoneCount(const FrequencyShiftTable& record);

// The grid for a committed record: zones + 1 rows, filled row by row from
// slots 1, 2, 3, ... formatted "0.0" when the record is in use, every cell
// "0.0" otherwise.
ShiftGrid shiftGridFromRecord(const FrequencyShiftTable& record);

// Converts the grid's texts. The message names the row (counted from 1) and
// column of the first cell that is not a number; `rows` is then unchanged.
std::optional<std::string> readShiftGrid(const ShiftGrid& grid, std::vector<ShiftRow>& rows);

// Orders the grid by pulse moment with a bubble sort: every pass compares
// each row r with row r + 1, and when r's moment is the greater, row r takes
// the texts of row r + 1 unchanged while row r + 1 takes r's former numbers
// re-formatted "0.0". Passes repeat until one swaps nothing. A row that moves
// down is therefore rounded to one decimal, and compared as rounded from
// then on; rows with equal moments keep their order. A grid with a cell that
// is not a number is refused with its message and left unchanged.
std::optional<std::string> sortShiftTable(ShiftGrid& grid);

// The two curves of the dialog's chart.
struct ShiftCurves {
  std::vector<PlotPoint> table;   // series 1: the rows, then the extrapolated end
  std::vector<PlotPoint> larmor;  // series 2: the Larmor frequency under each point
};

// The curves for rows sorted by moment, a Larmor frequency F and a maximum
// pulse moment Q. Row i is drawn at (q_i, f_i + 0.001 i): the small rise per
// row keeps equal frequencies apart on the chart. The line then continues to
// Q on the straight line through the raw second-to-last row (q_a, f_a) and
// the last drawn point (q_l, y_l):
//   y = f_a + (Q - q_a) (y_l - f_a) / (q_l - q_a);
// when q_l = q_a that line does not exist and the curve continues
// horizontally at y_l. Series 2 holds (q_i, F) for each row and (Q, F).
// Fewer than two rows draw nothing.
ShiftCurves shiftCurves(const std::vector<ShiftRow>& rows, double larmorFrequency, double maxPulseMoment);

// Draw of the dialog: reads the main window's Larmor frequency and maximum
// pulse moment texts, sorts the grid and computes the curves. Fewer than two
// rows draw nothing (and neither read nor sort). The message names the first
// text that is not a number; the grid is then unchanged.
std::optional<std::string> drawShiftTable(ShiftGrid& grid, std::string_view larmorText,
                                          std::string_view maxMomentText, ShiftCurves& curves);

// OK of the dialog: with `zones` = 0 slots 0..20 become 0; otherwise the grid
// is sorted and the record takes the zone count, the rows in order and zeros
// in the slots after the last row. A grid with a cell that is not a number is
// refused with its message; nothing is stored then.
std::optional<std::string> storeShiftTable(ShiftGrid& grid, int zones, FrequencyShiftTable& record);

}  // namespace kvo::core
