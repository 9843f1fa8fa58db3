// Records of the inspection summaries: presentations, slides, shapes, paragraphs and tables.
// Each lists its fields, in serialisation order, through `fields(visitor)`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "models.hpp"

namespace varnex {

struct TableSummary {
    std::vector<std::vector<std::string>> rows;  // per row, the text of each cell
    std::uint64_t row_count = 0;
    std::uint64_t col_count = 0;  // the longest row

    template <class F>
    void fields(F&& f) const {
        f("rows", rows);
        f("row_count", row_count);
        f("col_count", col_count);
    }
};

// A text field (slide number, date) of a paragraph, placed by the runs and breaks before it.
struct ParagraphFieldSummary {
    std::uint64_t run_slot = 0;
    std::uint64_t line_breaks_before = 0;
    std::string text;

    template <class F>
    void fields(F&& f) const {
        f("run_slot", run_slot);
        f("line_breaks_before", line_breaks_before);
        f("text", text);
    }
};

struct TransformSummary {
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::int64_t cx = 0;
    std::int64_t cy = 0;

    bool operator==(const TransformSummary&) const = default;

    template <class F>
    void fields(F&& f) const {
        f("x", x);
        f("y", y);
        f("cx", cx);
        f("cy", cy);
    }
};

enum class ShapeKind { Shape, Picture, Movie, GraphicFrame, OleObject, Group, Connector, Unknown };

inline const char* json_name(ShapeKind kind) {
    switch (kind) {
        case ShapeKind::Shape: return "shape";
        case ShapeKind::Picture: return "picture";
        case ShapeKind::Movie: return "movie";
        case ShapeKind::GraphicFrame: return "graphic_frame";
        case ShapeKind::OleObject: return "ole_object";
        case ShapeKind::Group: return "group";
        case ShapeKind::Connector: return "connector";
        case ShapeKind::Unknown: return "unknown";
    }
    return "unknown";
}

struct ShapeSummary {
    std::optional<std::string> id;    // raw attribute text of the first p:cNvPr
    std::optional<std::string> name;  // idem
    ShapeKind kind = ShapeKind::Unknown;
    bool is_placeholder = false;
    std::optional<std::string> placeholder_type;
    std::optional<std::string> placeholder_idx;
    std::string text;  // paragraphs joined with "\n"
    std::vector<std::string> paragraphs;
    std::vector<std::vector<std::string>> paragraph_runs;
    std::vector<std::vector<std::uint64_t>> paragraph_line_breaks;
    std::vector<std::vector<ParagraphFieldSummary>> paragraph_fields;
    std::vector<std::vector<std::optional<bool>>> paragraph_run_bold;
    std::vector<std::vector<std::optional<bool>>> paragraph_run_italic;
    std::vector<std::vector<std::optional<bool>>> paragraph_run_underline;
    std::vector<std::vector<std::optional<std::int64_t>>> paragraph_run_font_size;
    std::vector<std::vector<std::optional<std::string>>> paragraph_run_font_name;
    std::vector<TableSummary> tables;
    std::vector<std::string> relationship_ids;
    bool has_chart = false;
    bool has_picture = false;
    bool has_group = false;
    std::optional<TransformSummary> transform;
    std::optional<TransformSummary> effective_transform;
    std::vector<ShapeSummary> children;

    template <class F>
    void fields(F&& f) const {
        f("id", id);
        f("name", name);
        f("kind", kind);
        f("is_placeholder", is_placeholder);
        f("placeholder_type", placeholder_type);
        f("placeholder_idx", placeholder_idx);
        f("text", text);
        f("paragraphs", paragraphs);
        f("paragraph_runs", paragraph_runs);
        f("paragraph_line_breaks", paragraph_line_breaks);
        f("paragraph_fields", paragraph_fields);
        f("paragraph_run_bold", paragraph_run_bold);
        f("paragraph_run_italic", paragraph_run_italic);
        f("paragraph_run_underline", paragraph_run_underline);
        f("paragraph_run_font_size", paragraph_run_font_size);
        f("paragraph_run_font_name", paragraph_run_font_name);
        f("tables", tables);
        f("relationship_ids", relationship_ids);
        f("has_chart", has_chart);
        f("has_picture", has_picture);
        f("has_group", has_group);
        f("transform", transform);
        f("effective_transform", effective_transform);
        f("children", children);
    }
};

struct SlideSummary {
    std::string part;
    std::vector<std::string> texts;
    std::vector<ShapeSummary> shapes;
    std::vector<TableSummary> tables;
    std::vector<std::string> notes;
    std::vector<RelationshipSummary> relationships;
    std::vector<RelationshipSummary> image_relationships;
    std::vector<RelationshipSummary> chart_relationships;
    std::vector<RelationshipSummary> comment_relationships;
    std::vector<RelationshipSummary> media_relationships;
    std::vector<RelationshipSummary> ole_relationships;
    bool has_transition = false;
    bool has_timing = false;

    template <class F>
    void fields(F&& f) const {
        f("part", part);
        f("texts", texts);
        f("shapes", shapes);
        f("tables", tables);
        f("notes", notes);
        f("relationships", relationships);
        f("image_relationships", image_relationships);
        f("chart_relationships", chart_relationships);
        f("comment_relationships", comment_relationships);
        f("media_relationships", media_relationships);
        f("ole_relationships", ole_relationships);
        f("has_transition", has_transition);
        f("has_timing", has_timing);
    }
};

struct PresentationSummary {
    PathText path;
    std::uint64_t slide_count = 0;
    std::vector<SlideSummary> slides;
    bool has_vba = false;

    template <class F>
    void fields(F&& f) const {
        f("path", path);
        f("slide_count", slide_count);
        f("slides", slides);
        f("has_vba", has_vba);
    }
};

}  // namespace varnex
