#pragma once
// The rule for the intermediate ring of a one-zone die: the middle outline
// of three nested outlines bounds the finely meshed region around the
// profile and must leave room on both sides for the elements to grow.

#include <cstdint>
#include <string>

#include "mesh2d/outline_file.h"

// For process types 1 and 5 with three nested outlines (profile, ring,
// container bore): the ring must stay at least a quarter of the profile's
// largest width W away from the profile and from the container bore.
// Returns "" when it does (or the rule does not apply), else the warning
// text with both gaps, the least gap and a diameter that keeps the rule.
std::string RingRuleFinding(const std::string& path, const OutlineFileData& data, int32_t profType);
