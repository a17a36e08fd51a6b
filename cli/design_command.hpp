#pragma once
/// `distil design STUDY.toml`: a whole column design study described in a file, run through the
/// distillation map's ComputeFeed, ComputeMaterialBalance, BV_Design and CreateProductStreams.
#include <iosfwd>
#include <string>

namespace cli {

/// Runs the study and prints the report (or one JSON object). Returns 0 when every step ran
/// without an error code of its own (warnings and an infeasible design included), 3 otherwise;
/// a malformed study file throws InputError naming the file, line and key.
int run_design(const std::string& study_file, bool json, std::ostream& out);

}  // namespace cli
