#include <gtest/gtest.h>

#include "auto_shape_names.hpp"

namespace varnex {
namespace {

TEST(AutoShapeDisplayName, NamesAcceptedPresets) {
    const std::pair<const char*, const char*> cases[] = {
        {"rect", "Rectangle"},
        {"ellipse", "Oval"},
        {"homePlate", "Pentagon"},
        {"pentagon", "Auto Shape"},
        {"borderCallout2", "Line Callout 2"},
        {"borderCallout1", "Auto Shape"},
        {"plus", "Cross"},
        {"flowChartInputOutput", "Flowchart Data"},
        {"flowChartOfflineStorage", "Flowchart Offline Storage"},
        {"lineInv", "Auto Shape"},
        {"accentBorderCallout1", "Auto Shape"},  // first generic preset in byte order
        {"wedgeRoundRectCallout", "Auto Shape"},
        {"arc", "Arc"},                          // first named preset in byte order
        {"upArrow", "Up Arrow"},                 // last named preset in byte order
    };
    for (const auto& [preset, name] : cases) {
        const auto result = auto_shape_display_name(preset);
        ASSERT_TRUE(result) << preset;
        EXPECT_EQ(*result, name) << preset;
    }
}

TEST(AutoShapeDisplayName, RefusesLinesConnectorsAndUnknownText) {
    const char* cases[] = {"line", "straightConnector1", "bentConnector2", "bentConnector3", "bentConnector4",
                           "bentConnector5", "curvedConnector2", "curvedConnector3", "curvedConnector4",
                           "curvedConnector5", "", "Rect", "RECT", "rectangle", " rect", "rect ", "zzz"};
    for (const char* preset : cases) {
        const auto result = auto_shape_display_name(preset);
        ASSERT_FALSE(result) << preset;
        EXPECT_EQ(result.error().kind, ErrorKind::InvalidInput);
        EXPECT_EQ(result.error().message, std::string("unsupported auto shape preset geometry: ") + preset);
    }
}

}  // namespace
}  // namespace varnex
