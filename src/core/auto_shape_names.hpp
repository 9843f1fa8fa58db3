// Validation and display names of auto-shape preset geometries.
#pragma once

#include <string>
#include <string_view>

#include "error.hpp"

namespace varnex {

// The base display name for a shape created with `preset` ("Rectangle", "Oval", or "Auto Shape"
// for presets without a name of their own). The match is exact and case-sensitive; line and
// connector presets are not auto shapes and are refused like any unknown text:
// invalid input "unsupported auto shape preset geometry: {preset}".
Result<std::string> auto_shape_display_name(std::string_view preset);

}  // namespace varnex
