#include "field_command.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <istream>
#include <ostream>
#include <sstream>
#include <string_view>

#include "cli.h"
#include "text_pieces.h"
#include "model/number_text.h"
#include "numerics/layered_field.h"
#include "numerics/loop_field.h"
#include "numerics/loop_wire.h"

namespace kvo::cli {
namespace {

std::string scientific9(double value) {
  std::array<char, 64> buf{};
  const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value,
                                       std::chars_format::scientific, 9);
  return ec == std::errc() ? std::string(buf.data(), end) : std::string("nan");
}

}  // namespace

std::optional<std::string> checkFieldArguments(const FieldArguments& args, FieldRequest& a) {
  if (args.frequency.empty()) return std::string("--frequency is missing");
  const auto f = core::parseFieldNumber(args.frequency);
  if (!f || !(*f > 0)) return "--frequency: \"" + args.frequency + "\" is not a positive number of Hz";
  a.frequency = *f;

  if (args.layers.empty()) return std::string("--layers is missing");
  for (const std::string& value : args.layers) {
    for (const std::string_view pair : pieces(value, ',')) {
      const auto parts = pieces(pair, ':');
      const auto bottom = parts.size() == 2 ? core::parseFieldNumber(parts[0]) : std::nullopt;
      const auto resistivity = parts.size() == 2 ? core::parseFieldNumber(parts[1]) : std::nullopt;
      if (!bottom || !resistivity || !(*resistivity > 0)) {
        return "--layers: \"" + std::string(pair) + "\" is not BOTTOM:RESISTIVITY (m and a positive ohm-m)";
      }
      a.bottoms.push_back(*bottom);
      a.resistivities.push_back(*resistivity);
    }
  }
  if (a.bottoms.size() > 8) return std::string("--layers: at most 8 layers, the top layer included");

  if (args.loop.empty()) return std::string("--loop is missing");
  const std::string& value = args.loop;
  const auto parts = pieces(value, ':');
  const auto type = parts.size() >= 2 ? core::parseFieldNumber(parts[0]) : std::nullopt;
  const auto size = parts.size() >= 2 ? core::parseFieldNumber(parts[1]) : std::nullopt;
  const auto separation = parts.size() == 3 ? core::parseFieldNumber(parts[2]) : std::optional<double>(0.0);
  if (!type || !size || !separation || parts.size() > 3 || !(*type >= 1 && *type <= 4) ||
      *type != std::trunc(*type) || !(*size >= 1.0 && *size <= 500.0) || !(std::fabs(*separation) <= 1000.0)) {
    return "--loop: \"" + value +
           "\" is not TYPE:SIZE[:SEPARATION] (type 1 to 4, size 1 to 500 m, separation -1000 to 1000 m)";
  }
  a.type = static_cast<int>(*type);
  a.size = *size;
  a.separation = *separation;
  return std::nullopt;
}

int fieldCommand(const FieldRequest& a, std::istream& in, std::ostream& out, std::ostream& err) {
  core::LoopWireShape wire;
  if (core::LoopWire(a.type, std::trunc(a.size), wire, a.separation * 0.5) != 0) {
    err << "kvo-compute field: cannot build the wire of loop type " << a.type << "\n";
    return kExitBadInput;
  }
  // Read every point first: a bad line is refused before anything is written.
  core::LoopFieldRequest request{a.frequency, a.bottoms, a.resistivities, a.type, a.size, a.separation, {}};
  std::vector<core::SpaceVector>& points = request.points;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    std::istringstream fields(line);
    std::vector<std::string> tokens;
    for (std::string t; fields >> t;) tokens.push_back(t);
    if (tokens.empty()) continue;
    core::SpaceVector p{};
    bool ok = tokens.size() == 3;
    for (std::size_t k = 0; ok && k < 3; ++k) {
      const auto v = core::parseFileNumber(tokens[k]);
      ok = v.has_value();
      if (ok) p[k] = *v;
    }
    if (!ok) {
      err << "kvo-compute field: line " << number << " of the points: \"" << line
          << "\" is not three numbers x y z\n";
      return kExitBadInput;
    }
    points.push_back(p);
  }
  std::vector<core::SpaceVector> re, im;
  if (const auto problem = core::ComputeLoopField(request, re, im)) {
    err << "kvo-compute field: " << *problem << "\n";
    return kExitFailed;
  }
  for (std::size_t i = 0; i < points.size(); ++i) {
    std::string row;
    for (double v : points[i]) row += scientific9(v) + " ";
    for (double v : re[i]) row += scientific9(v) + " ";
    for (std::size_t k = 0; k < 3; ++k) row += scientific9(im[i][k]) + (k < 2 ? " " : "\n");
    out << row;
  }
  return kExitOk;
}

}  // namespace kvo::cli
