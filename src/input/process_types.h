#pragma once
// The process types of the input file: which codes the meshers and the flow
// model define, and what each means to the user.

#include <cstdint>
#include <string>

// What process type `t` builds, in a few words; "" for a code that no part
// of the program defines.
std::string ProcessTypeMeaning(int32_t t);

// "1 (...), 3 (...), ..., 7 or 9 (...)": every defined type with its meaning,
// for messages that refuse an undefined one.
std::string ProcessTypeList();

// Shortest extra-zone length, mm, for the types with an extra zone.  The
// zone is extruded in layers whose nodes must stay apart by more than the
// 0.001 to 0.05 mm tolerances by which the volume mesher joins pieces and
// finds the die levels; a zone of 0 length folds its layers onto one plane
// and leaves elements without volume.
inline constexpr double kMinExtraZoneLength = 1.0;
