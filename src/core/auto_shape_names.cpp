#include "auto_shape_names.hpp"

#include <algorithm>
#include <optional>

#include <fmt/format.h>

namespace varnex {
namespace {

struct NamedPreset {
    std::string_view preset;
    std::string_view display_name;
};

// Both tables are sorted byte-wise so that a binary search finds a preset.
constexpr NamedPreset kNamedPresets[] = {
    {"arc", "Arc"},
    {"blockArc", "Block Arc"},
    {"borderCallout2", "Line Callout 2"},
    {"can", "Can"},
    {"chevron", "Chevron"},
    {"cloud", "Cloud"},
    {"cube", "Cube"},
    {"diamond", "Diamond"},
    {"donut", "Donut"},
    {"downArrow", "Down Arrow"},
    {"ellipse", "Oval"},
    {"flowChartDecision", "Flowchart Decision"},
    {"flowChartDocument", "Flowchart Document"},
    {"flowChartInputOutput", "Flowchart Data"},
    {"flowChartOfflineStorage", "Flowchart Offline Storage"},
    {"flowChartProcess", "Flowchart Process"},
    {"heart", "Heart"},
    {"hexagon", "Hexagon"},
    {"homePlate", "Pentagon"},
    {"leftArrow", "Left Arrow"},
    {"leftRightRibbon", "Left Right Ribbon"},
    {"noSmoking", "No Symbol"},
    {"octagon", "Octagon"},
    {"parallelogram", "Parallelogram"},
    {"plaque", "Plaque"},
    {"plus", "Cross"},
    {"rect", "Rectangle"},
    {"rightArrow", "Right Arrow"},
    {"roundRect", "Rounded Rectangle"},
    {"rtTriangle", "Right Triangle"},
    {"smileyFace", "Smiley Face"},
    {"star5", "5-Point Star"},
    {"trapezoid", "Trapezoid"},
    {"triangle", "Triangle"},
    {"upArrow", "Up Arrow"},
};

// Presets that are accepted but share the generic display name.
constexpr std::string_view kGenericPresets[] = {
    "accentBorderCallout1",
    "accentBorderCallout2",
    "accentBorderCallout3",
    "accentCallout1",
    "accentCallout2",
    "accentCallout3",
    "actionButtonBackPrevious",
    "actionButtonBeginning",
    "actionButtonBlank",
    "actionButtonDocument",
    "actionButtonEnd",
    "actionButtonForwardNext",
    "actionButtonHelp",
    "actionButtonHome",
    "actionButtonInformation",
    "actionButtonMovie",
    "actionButtonReturn",
    "actionButtonSound",
    "bentArrow",
    "bentUpArrow",
    "bevel",
    "borderCallout1",
    "borderCallout3",
    "bracePair",
    "bracketPair",
    "callout1",
    "callout2",
    "callout3",
    "chartPlus",
    "chartStar",
    "chartX",
    "chord",
    "circularArrow",
    "cloudCallout",
    "corner",
    "cornerTabs",
    "curvedDownArrow",
    "curvedLeftArrow",
    "curvedRightArrow",
    "curvedUpArrow",
    "decagon",
    "diagStripe",
    "dodecagon",
    "doubleWave",
    "downArrowCallout",
    "ellipseRibbon",
    "ellipseRibbon2",
    "flowChartAlternateProcess",
    "flowChartCollate",
    "flowChartConnector",
    "flowChartDelay",
    "flowChartDisplay",
    "flowChartExtract",
    "flowChartInternalStorage",
    "flowChartMagneticDisk",
    "flowChartMagneticDrum",
    "flowChartMagneticTape",
    "flowChartManualInput",
    "flowChartManualOperation",
    "flowChartMerge",
    "flowChartMultidocument",
    "flowChartOffpageConnector",
    "flowChartOnlineStorage",
    "flowChartOr",
    "flowChartPredefinedProcess",
    "flowChartPreparation",
    "flowChartPunchedCard",
    "flowChartPunchedTape",
    "flowChartSort",
    "flowChartSummingJunction",
    "flowChartTerminator",
    "foldedCorner",
    "frame",
    "funnel",
    "gear6",
    "gear9",
    "halfFrame",
    "heptagon",
    "horizontalScroll",
    "irregularSeal1",
    "irregularSeal2",
    "leftArrowCallout",
    "leftBrace",
    "leftBracket",
    "leftCircularArrow",
    "leftRightArrow",
    "leftRightArrowCallout",
    "leftRightCircularArrow",
    "leftRightUpArrow",
    "leftUpArrow",
    "lightningBolt",
    "lineInv",
    "mathDivide",
    "mathEqual",
    "mathMinus",
    "mathMultiply",
    "mathNotEqual",
    "mathPlus",
    "moon",
    "nonIsoscelesTrapezoid",
    "notchedRightArrow",
    "pentagon",
    "pie",
    "pieWedge",
    "plaqueTabs",
    "quadArrow",
    "quadArrowCallout",
    "ribbon",
    "ribbon2",
    "rightArrowCallout",
    "rightBrace",
    "rightBracket",
    "round1Rect",
    "round2DiagRect",
    "round2SameRect",
    "snip1Rect",
    "snip2DiagRect",
    "snip2SameRect",
    "snipRoundRect",
    "squareTabs",
    "star10",
    "star12",
    "star16",
    "star24",
    "star32",
    "star4",
    "star6",
    "star7",
    "star8",
    "stripedRightArrow",
    "sun",
    "swooshArrow",
    "teardrop",
    "upArrowCallout",
    "upDownArrow",
    "upDownArrowCallout",
    "uturnArrow",
    "verticalScroll",
    "wave",
    "wedgeEllipseCallout",
    "wedgeRectCallout",
    "wedgeRoundRectCallout",
};

constexpr std::string_view kGenericDisplayName = "Auto Shape";

static_assert(std::size(kNamedPresets) == 35 && std::size(kGenericPresets) == 142);
static_assert(std::ranges::is_sorted(kNamedPresets, {}, &NamedPreset::preset));
static_assert(std::ranges::is_sorted(kGenericPresets));

std::optional<std::string_view> lookup(std::string_view preset) {
    const auto named = std::ranges::lower_bound(kNamedPresets, preset, {}, &NamedPreset::preset);
    if (named != std::end(kNamedPresets) && named->preset == preset) return named->display_name;
    if (std::ranges::binary_search(kGenericPresets, preset)) return kGenericDisplayName;
    return std::nullopt;
}

}  // namespace

Result<std::string> auto_shape_display_name(std::string_view preset) {
    if (const auto name = lookup(preset)) return std::string(*name);
    return invalid_input(fmt::format("unsupported auto shape preset geometry: {}", preset));
}

}  // namespace varnex
