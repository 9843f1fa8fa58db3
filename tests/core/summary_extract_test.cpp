#include <gtest/gtest.h>

#include <limits>

#include "package_io.hpp"
#include "stored_zip.hpp"
#include "summary_package_extract.hpp"
#include "summary_shape_extract.hpp"

namespace varnex {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

TEST(GroupTransform, RoundsHalvesAwayFromZeroAndSaturates) {
    struct Case {
        TransformSummary child;
        GroupTransformContext group;
        TransformSummary expected;
    };
    const Case cases[] = {
        // scale 1/2 on x, 3/2 on y: 3 -> 1.5 -> 2, -3 -> -1.5 -> -2
        {{3, -3, 1, 1}, {0, 0, 1, 3, 0, 0, 2, 2}, {2, -5, 1, 2}},
        {{-3, 3, 3, 5}, {10, 10, 1, 3, 0, 0, 2, 2}, {8, 15, 2, 8}},
        // child offset is subtracted before scaling
        {{110, 220, 10, 10}, {5, 5, 20, 20, 100, 200, 10, 10}, {25, 45, 20, 20}},
        // zero child extent: translation only, size kept
        {{7, 7, 9, 9}, {100, 200, 5, 5, 2, 3, 0, 0}, {105, 204, 9, 9}},
        // hostile values neither overflow nor wrap
        {{kMax, kMin, kMax, kMax}, {kMax, kMin, kMax, kMax, kMin, kMax, 1, 1}, {kMax, kMin, kMax, kMax}},
        {{kMin, kMax, 1, 1}, {kMin, kMax, 0, 0, kMax, kMin, 0, 0}, {kMin, kMax, 1, 1}},
    };
    for (const auto& c : cases) {
        const auto got = apply_group_transform(c.child, c.group);
        EXPECT_EQ(got, c.expected) << got.x << " " << got.y << " " << got.cx << " " << got.cy;
    }
}

TEST(Transform, FirstDrawingFrameWinsAndNeedsOffsetAndExtent) {
    const auto frame = extract_transform(R"(<p:xfrm><a:off x="1" y="2"/><a:ext cx="3" cy="4"/></p:xfrm>)"
                                         R"(<a:xfrm><a:off x="+5" y="-6"/><a:ext cx="x" cy="8"/></a:xfrm>)");
    EXPECT_EQ(frame, (TransformSummary{5, -6, 0, 8}));
    EXPECT_FALSE(extract_transform(R"(<a:xfrm><a:off x="1" y="2"/></a:xfrm>)"));
    // an unterminated a:xfrm still wins over a complete p:xfrm
    EXPECT_FALSE(extract_transform(R"(<p:xfrm><a:off x="1" y="2"/><a:ext cx="3" cy="4"/></p:xfrm>)"
                                   R"(<a:xfrm><a:off x="1" y="2"/><a:ext cx="3" cy="4"/>)"));
    EXPECT_FALSE(extract_transform("<a:xfrmX/>"));
}

TEST(SlideSummary, MissingSlidePartIsAZipError) {
    auto bytes = testing::stored_zip({{"ppt/slides/slide1.xml", "<p:sld/>"}});
    auto package = open_package_from_memory(bytes);
    ASSERT_TRUE(package);
    EXPECT_TRUE(summarize_slide_part(*package, "ppt/slides/slide1.xml"));
    const auto missing = summarize_slide_part(*package, "ppt/slides/slide2.xml");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().display(), "zip error: specified file not found in archive");
}

}  // namespace
}  // namespace varnex
