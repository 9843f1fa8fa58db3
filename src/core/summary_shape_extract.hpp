// Shape summaries: what one shape of a slide's shape tree is, says and where it sits.
//
// Read-only and total: malformed XML never produces an error; each scan stops quietly at the
// first XML error and keeps what it gathered. The XML is text (see utf8_text for part bytes).
// The PartScans of the part, when given, are shared by the scans (see PartScans).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "summary_models.hpp"

namespace varnex {

struct PartScans;

// The frame a group gives its children: its effective offset and extent on the slide, and the
// child offset and extent (a:chOff, a:chExt) that the children's coordinates are written in.
struct GroupTransformContext {
    std::int64_t off_x = 0;
    std::int64_t off_y = 0;
    std::int64_t ext_cx = 0;
    std::int64_t ext_cy = 0;
    std::int64_t ch_off_x = 0;
    std::int64_t ch_off_y = 0;
    std::int64_t ch_ext_cx = 0;
    std::int64_t ch_ext_cy = 0;
};

// The top-level shapes of the slide's p:spTree, in document order; empty without a shape tree.
std::vector<ShapeSummary> extract_shapes(std::string_view slide_xml_text, PartScans* scans = nullptr);

// One shape element (p:sp, p:pic, p:graphicFrame, p:grpSp, p:cxnSp) with its children.
ShapeSummary summarize_shape_block(std::string_view block, const std::optional<GroupTransformContext>& context,
                                   PartScans* scans = nullptr);

// The offset and extent of the first a:xfrm (else the first p:xfrm); absent when there is
// neither, or it lacks a:off or a:ext. Missing or unparsable numbers read as 0.
std::optional<TransformSummary> extract_transform(std::string_view xml);

// `transform` placed on the slide through the group frame `context`: each axis scaled by
// ext / ch_ext (translation only when ch_ext is 0), rounded half away from zero, saturating.
TransformSummary apply_group_transform(const TransformSummary& transform, const GroupTransformContext& context);

// Relationship ids named by r:embed, r:link and r:id attributes anywhere in the text, sorted
// byte-wise without repeats.
std::vector<std::string> shape_relationship_ids(std::string_view block);

}  // namespace varnex
