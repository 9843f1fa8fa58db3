#include "summary_shape_extract.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "byte_search.hpp"
#include "summary_text_extract.hpp"
#include "xml_helpers.hpp"

namespace varnex {

namespace {

constexpr std::string_view kSpTreeEnd = "</p:spTree>";
constexpr std::string_view kGroupPropertiesEnd = "</p:grpSpPr>";
constexpr std::string_view kGroupEnd = "</p:grpSp>";

// Groups nested deeper than this are summarised without their children. Every level rescans
// the whole group, so an unbounded chain of nested groups would cost quadratic time and deep
// recursion; real decks stay far below this.
constexpr int kMaxGroupDepth = 64;

bool contains_text(std::string_view haystack, std::string_view needle) {
    return find_bytes(haystack, needle) != std::string_view::npos;
}

ShapeKind shape_kind(std::string_view block) {
    const auto contains = [&](std::string_view text) { return contains_text(block, text); };
    if (block.starts_with("<p:sp")) return ShapeKind::Shape;
    if (block.starts_with("<p:pic")) return contains("<a:videoFile") ? ShapeKind::Movie : ShapeKind::Picture;
    if (block.starts_with("<p:graphicFrame"))
        return contains("<p:oleObj") ? ShapeKind::OleObject : ShapeKind::GraphicFrame;
    if (block.starts_with("<p:grpSp")) return ShapeKind::Group;
    if (block.starts_with("<p:cxnSp")) return ShapeKind::Connector;
    return ShapeKind::Unknown;
}

std::optional<std::string> tag_attribute(const std::optional<std::string_view>& tag, std::string_view name) {
    if (!tag) return std::nullopt;
    return xml::extract_string_attribute(*tag, name);
}

std::int64_t attribute_or_zero(std::string_view tag, std::string_view name) {
    return xml::attribute_i64(tag, name).value_or(0);
}

// The slice of the first element `name`, from its start tag through its end tag.
std::optional<std::string_view> first_element(std::string_view text, std::string_view name) {
    const auto start = xml::find_tag_start(text, 0, name);
    if (!start) return std::nullopt;
    const auto end = xml::find_element_end(text, *start, name);
    if (!end) return std::nullopt;
    return text.substr(*start, *end - *start);
}

// Half away from zero, saturating at the 64-bit limits; NaN gives 0.
std::int64_t round_saturating(double value) {
    if (std::isnan(value)) return 0;
    const double rounded = std::round(value);
    if (rounded >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
    if (rounded < -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(rounded);
}

std::int64_t saturate(__int128 value) {
    if (value > std::numeric_limits<std::int64_t>::max()) return std::numeric_limits<std::int64_t>::max();
    if (value < std::numeric_limits<std::int64_t>::min()) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

// One axis of a child placed through its group's frame: (position, size) on the slide.
std::pair<std::int64_t, std::int64_t> map_axis(std::int64_t position, std::int64_t size, std::int64_t offset,
                                               std::int64_t extent, std::int64_t child_offset,
                                               std::int64_t child_extent) {
    // Exact difference: hostile coordinates must not overflow.
    const __int128 delta = static_cast<__int128>(position) - child_offset;
    if (child_extent == 0) return {saturate(offset + delta), size};
    const double scaled = static_cast<double>(delta) * static_cast<double>(extent) / static_cast<double>(child_extent);
    const double scaled_size =
        static_cast<double>(size) * static_cast<double>(extent) / static_cast<double>(child_extent);
    return {saturate(static_cast<__int128>(offset) + round_saturating(scaled)), round_saturating(scaled_size)};
}

// The frame a group gives its children, or none when the group has no a:xfrm.
std::optional<GroupTransformContext> child_context(std::string_view block,
                                                   const std::optional<TransformSummary>& effective) {
    if (!effective) return std::nullopt;
    const auto frame = first_element(block, "a:xfrm");
    if (!frame) return std::nullopt;
    GroupTransformContext context;
    context.off_x = effective->x;
    context.off_y = effective->y;
    context.ext_cx = effective->cx;
    context.ext_cy = effective->cy;
    if (const auto child_offset = xml::element_start_tag(*frame, "a:chOff")) {
        context.ch_off_x = attribute_or_zero(*child_offset, "x");
        context.ch_off_y = attribute_or_zero(*child_offset, "y");
    }
    if (const auto child_extent = xml::element_start_tag(*frame, "a:chExt")) {
        context.ch_ext_cx = attribute_or_zero(*child_extent, "cx");
        context.ch_ext_cy = attribute_or_zero(*child_extent, "cy");
    } else {
        context.ch_ext_cx = effective->cx;
        context.ch_ext_cy = effective->cy;
    }
    return context;
}

// The text between the group's properties and its closing tag, where its children live.
std::string_view group_child_region(std::string_view block) {
    const std::size_t properties_end = find_bytes(block, kGroupPropertiesEnd);
    if (properties_end == std::string_view::npos) return {};
    const std::size_t start = properties_end + kGroupPropertiesEnd.size();
    std::size_t end = block.rfind(kGroupEnd);
    if (end == std::string_view::npos) end = block.size();
    if (end <= start) return {};
    return block.substr(start, end - start);
}

std::string join_lines(const std::vector<std::string>& paragraphs) {
    std::size_t size = paragraphs.size();
    for (const auto& paragraph : paragraphs) size += paragraph.size();
    std::string text;
    text.reserve(size);
    for (std::size_t i = 0; i < paragraphs.size(); ++i) {
        if (i > 0) text += '\n';
        text += paragraphs[i];
    }
    return text;
}

// Appends to `to` the list that `member` names in each of `shapes`.
template <class T>
void append_lists(std::vector<T>& to, const std::vector<ShapeSummary>& shapes, std::vector<T> ShapeSummary::*member) {
    std::size_t size = 0;
    for (const auto& shape : shapes) size += (shape.*member).size();
    to.reserve(size);
    for (const auto& shape : shapes) to.insert(to.end(), (shape.*member).begin(), (shape.*member).end());
}

// The paragraph lists of a group as its children's, in order.
void join_children_details(ShapeSummary& group) {
    const auto& children = group.children;
    append_lists(group.paragraphs, children, &ShapeSummary::paragraphs);
    append_lists(group.paragraph_runs, children, &ShapeSummary::paragraph_runs);
    append_lists(group.paragraph_line_breaks, children, &ShapeSummary::paragraph_line_breaks);
    append_lists(group.paragraph_fields, children, &ShapeSummary::paragraph_fields);
    append_lists(group.paragraph_run_bold, children, &ShapeSummary::paragraph_run_bold);
    append_lists(group.paragraph_run_italic, children, &ShapeSummary::paragraph_run_italic);
    append_lists(group.paragraph_run_underline, children, &ShapeSummary::paragraph_run_underline);
    append_lists(group.paragraph_run_font_size, children, &ShapeSummary::paragraph_run_font_size);
    append_lists(group.paragraph_run_font_name, children, &ShapeSummary::paragraph_run_font_name);
}

ShapeSummary summarize(std::string_view block, const std::optional<GroupTransformContext>& context, int depth,
                       PartScans& scans) {
    ShapeSummary shape;
    shape.kind = shape_kind(block);

    const auto identity = xml::element_start_tag(block, "p:cNvPr");
    shape.id = tag_attribute(identity, "id");
    shape.name = tag_attribute(identity, "name");
    // One search serves both: the p:ph tag is its start through the next '>'.
    std::optional<std::string_view> placeholder;
    if (const auto start = xml::find_tag_start(block, 0, "p:ph")) {
        shape.is_placeholder = true;
        if (const std::size_t end = block.find('>', *start); end != std::string_view::npos)
            placeholder = block.substr(*start, end - *start + 1);
    }
    shape.placeholder_type = tag_attribute(placeholder, "type");
    shape.placeholder_idx = tag_attribute(placeholder, "idx");

    shape.transform = extract_transform(block);
    if (shape.transform)
        shape.effective_transform = context ? apply_group_transform(*shape.transform, *context) : *shape.transform;

    std::vector<std::string_view> children;
    if (shape.kind == ShapeKind::Group && depth < kMaxGroupDepth) {
        const auto frame = child_context(block, shape.effective_transform);
        children = xml::extract_shape_blocks(group_child_region(block));
        shape.children.reserve(children.size());
        for (const std::string_view child : children) shape.children.push_back(summarize(child, frame, depth + 1, scans));
    }

    // A group's paragraphs are usually its children's, already gathered: taken from them when
    // its own scan would come out the same.
    if (!children.empty() && details_are_childrens(block, children, scans)) {
        join_children_details(shape);
    } else {
        ParagraphDetails details = extract_paragraph_details(block, &scans);
        shape.paragraphs = std::move(details.paragraphs);
        shape.paragraph_runs = std::move(details.runs);
        shape.paragraph_line_breaks = std::move(details.line_breaks);
        shape.paragraph_fields = std::move(details.fields);
        shape.paragraph_run_bold = std::move(details.bold);
        shape.paragraph_run_italic = std::move(details.italic);
        shape.paragraph_run_underline = std::move(details.underline);
        shape.paragraph_run_font_size = std::move(details.font_size);
        shape.paragraph_run_font_name = std::move(details.font_name);
    }
    shape.text = join_lines(shape.paragraphs);

    shape.tables = extract_tables(block, &scans);
    shape.relationship_ids = shape_relationship_ids(block);
    shape.has_chart = contains_text(block, ":chart");
    shape.has_picture = shape.kind == ShapeKind::Picture;
    shape.has_group = shape.kind == ShapeKind::Group;
    return shape;
}

}  // namespace

std::vector<ShapeSummary> extract_shapes(std::string_view text, PartScans* scans) {
    const auto tree = xml::find_tag_start(text, 0, "p:spTree");
    if (!tree) return {};
    const std::size_t tag_end = text.find('>', *tree);
    if (tag_end == std::string_view::npos) return {};
    const auto tree_end = xml::find_element_end(text, *tree, "p:spTree");
    if (!tree_end) return {};
    const std::size_t content_start = tag_end + 1;
    const std::size_t content_end = *tree_end - kSpTreeEnd.size();
    if (content_end <= content_start) return {};

    // Shapes in groups are scanned once for the group and again for themselves: one reading
    // of the text serves every scan.
    std::optional<PartScans> own;
    PartScans& shared = scans ? *scans : own.emplace(text);
    const auto blocks = xml::extract_shape_blocks(text.substr(content_start, content_end - content_start));
    std::vector<ShapeSummary> shapes;
    shapes.reserve(blocks.size());
    for (const std::string_view block : blocks) shapes.push_back(summarize(block, std::nullopt, 0, shared));
    return shapes;
}

ShapeSummary summarize_shape_block(std::string_view block, const std::optional<GroupTransformContext>& context,
                                   PartScans* scans) {
    std::optional<PartScans> own;
    return summarize(block, context, 0, scans ? *scans : own.emplace(block));
}

std::optional<TransformSummary> extract_transform(std::string_view xml) {
    // An a:xfrm anywhere wins over an earlier p:xfrm (graphic frames carry the latter).
    if (!contains_text(xml, ":xfrm")) return std::nullopt;  // one pass instead of two without any
    std::string_view name = "a:xfrm";
    auto start = xml::find_tag_start(xml, 0, name);
    if (!start) {
        name = "p:xfrm";
        start = xml::find_tag_start(xml, 0, name);
    }
    if (!start) return std::nullopt;
    const auto end = xml::find_element_end(xml, *start, name);
    if (!end) return std::nullopt;
    const std::string_view frame = xml.substr(*start, *end - *start);
    const auto offset = xml::element_start_tag(frame, "a:off");
    const auto extent = xml::element_start_tag(frame, "a:ext");
    if (!offset || !extent) return std::nullopt;
    return TransformSummary{attribute_or_zero(*offset, "x"), attribute_or_zero(*offset, "y"),
                            attribute_or_zero(*extent, "cx"), attribute_or_zero(*extent, "cy")};
}

TransformSummary apply_group_transform(const TransformSummary& transform, const GroupTransformContext& context) {
    const auto [x, cx] = map_axis(transform.x, transform.cx, context.off_x, context.ext_cx, context.ch_off_x,
                                  context.ch_ext_cx);
    const auto [y, cy] = map_axis(transform.y, transform.cy, context.off_y, context.ext_cy, context.ch_off_y,
                                  context.ch_ext_cy);
    return TransformSummary{x, y, cx, cy};
}

std::vector<std::string> shape_relationship_ids(std::string_view block) {
    std::vector<std::string> ids;
    // Each pattern is searched on its own, from just past the value it read last, until it
    // runs out or a value is unterminated; all three begin with "r:", so one walk over the
    // occurrences of "r:" visits every place any of them can match.
    constexpr std::string_view kPatterns[] = {"r:embed=\"", "r:link=\"", "r:id=\""};
    std::size_t cursors[] = {0, 0, 0};
    bool done[] = {false, false, false};
    for (std::size_t at = find_bytes(block, "r:"); at != std::string_view::npos; at = find_bytes(block, "r:", at + 1)) {
        for (std::size_t k = 0; k < 3; ++k) {
            if (done[k] || at < cursors[k] || !block.substr(at).starts_with(kPatterns[k])) continue;
            const std::size_t start = at + kPatterns[k].size();
            const std::size_t quote = block.find('"', start);
            if (quote == std::string_view::npos) {
                done[k] = true;
                continue;
            }
            ids.emplace_back(block.substr(start, quote - start));
            cursors[k] = quote + 1;
        }
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

}  // namespace varnex
