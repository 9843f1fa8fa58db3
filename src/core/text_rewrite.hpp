// Text editing of slides: search and replace, and setting the text of a shape, a paragraph or
// a run.
//
// The slide transformers (`..._in_slide`, and `replace_text_nodes`) are pure functions of the
// slide XML: they stream its events, write every event they do not change back byte for byte,
// and return the new XML with a count. The edit batch chains the same transformers; the
// package operations below wrap them in one frame that rewrites the slide and copies every
// other entry raw.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "error.hpp"
#include "models.hpp"
#include "package_io.hpp"

namespace varnex {

struct TextReplacementSummary {
    PathText path;
    std::uint64_t replacements = 0;
    std::uint64_t part_count = 0;
    bool has_vba = false;

    template <class F>
    void fields(F&& f) const {
        f("path", path);
        f("replacements", replacements);
        f("part_count", part_count);
        f("has_vba", has_vba);
    }
};

struct TextRunReplacementSummary {
    PathText path;
    std::uint64_t slide_index = 0;
    std::uint64_t run_index = 0;
    std::uint64_t replacements = 0;
    std::uint64_t part_count = 0;
    bool has_vba = false;

    template <class F>
    void fields(F&& f) const {
        f("path", path);
        f("slide_index", slide_index);
        f("run_index", run_index);
        f("replacements", replacements);
        f("part_count", part_count);
        f("has_vba", has_vba);
    }
};

struct ShapeTextSetSummary {
    PathText path;
    std::uint64_t slide_index = 0;
    std::uint64_t shape_index = 0;
    std::uint64_t replacements = 0;
    std::uint64_t part_count = 0;
    bool has_vba = false;

    template <class F>
    void fields(F&& f) const {
        f("path", path);
        f("slide_index", slide_index);
        f("shape_index", shape_index);
        f("replacements", replacements);
        f("part_count", part_count);
        f("has_vba", has_vba);
    }
};

struct ParagraphTextSetSummary {
    PathText path;
    std::uint64_t slide_index = 0;
    std::uint64_t shape_index = 0;
    std::uint64_t paragraph_index = 0;
    std::uint64_t replacements = 0;
    std::uint64_t part_count = 0;
    bool has_vba = false;

    template <class F>
    void fields(F&& f) const {
        f("path", path);
        f("slide_index", slide_index);
        f("shape_index", shape_index);
        f("paragraph_index", paragraph_index);
        f("replacements", replacements);
        f("part_count", part_count);
        f("has_vba", has_vba);
    }
};

// What a slide transformer returns: the new slide XML and how many text nodes it changed.
struct SlideRewrite {
    std::string xml;
    std::uint64_t count = 0;
};

using SlideTransformer = std::function<Result<SlideRewrite>(std::string_view slide_xml)>;

// ---- Slide transformers --------------------------------------------------------------------

// Every non-overlapping occurrence of `search` inside `t` text elements, one text node at a
// time (text split over runs or around a reference is not matched). Text nodes with a match
// are written escaped, all other events as read. An empty search changes nothing. Xml error on
// malformed XML; xml text decode error when a searched text node is not UTF-8.
Result<SlideRewrite> replace_text_nodes(std::string_view slide_xml, std::string_view search,
                                        std::string_view replacement);

// Replaces the paragraphs of the text body of the `shape_index`-th `sp` (document order,
// groups included) by the paragraphs of `text`; the count is the number of paragraphs removed,
// at least 1 per body. Xml text decode "unexpected end of XML while rewriting text body" when
// the slide ends inside that body.
Result<SlideRewrite> set_shape_text_at_index_in_slide(std::string_view slide_xml, std::uint64_t shape_index,
                                                      std::string_view text);

// Puts `text` into the first text node of the paragraph and empties its other text nodes;
// references and character data inside its text elements go with the old text. Run
// properties and tags stay. The count is the number of text nodes written.
Result<SlideRewrite> set_shape_paragraph_text_at_index_in_slide(std::string_view slide_xml,
                                                                std::uint64_t shape_index,
                                                                std::uint64_t paragraph_index,
                                                                std::string_view text);

// Replaces the text of the `run_index`-th run (start or self-closing `r`) of the slide,
// keeping its run properties; the count is 1 when the run exists.
Result<SlideRewrite> replace_text_run_at_index_in_slide(std::string_view slide_xml, std::uint64_t run_index,
                                                        std::string_view text);

// ---- Package operations --------------------------------------------------------------------

struct SlideEditOutcome {
    std::uint64_t count = 0;
    PackageWriteFacts facts;
};

// The frame of every one-slide text edit: creates the output's parent directory, opens the
// input, resolves the slide (invalid input "slide index {} was not found" before the output
// exists), transforms it and writes the package with that slide replaced and every other entry
// copied raw.
Result<SlideEditOutcome> rewrite_slide_at_index(const std::string& input, const std::string& output,
                                                std::uint64_t slide_index, const SlideTransformer& transform);

// Search and replace over every slide part (no index) or the slide at `slide_index`. An empty
// search copies every entry raw and reports 0.
Result<TextReplacementSummary> replace_slide_text_inner(const std::string& input, const std::string& output,
                                                        std::string_view search, std::string_view replacement,
                                                        std::optional<std::uint64_t> slide_index);

Result<TextReplacementSummary> replace_slide_text(const std::string& input, const std::string& output,
                                                  std::string_view search, std::string_view replacement);
Result<TextReplacementSummary> replace_slide_text_at_index(const std::string& input, const std::string& output,
                                                           std::uint64_t slide_index, std::string_view search,
                                                           std::string_view replacement);
Result<TextRunReplacementSummary> replace_slide_text_run_at_index(const std::string& input,
                                                                  const std::string& output,
                                                                  std::uint64_t slide_index,
                                                                  std::uint64_t run_index,
                                                                  std::string_view replacement);
Result<ShapeTextSetSummary> set_slide_shape_text_at_index(const std::string& input, const std::string& output,
                                                          std::uint64_t slide_index, std::uint64_t shape_index,
                                                          std::string_view replacement);
Result<ParagraphTextSetSummary> set_slide_shape_paragraph_text_at_index(const std::string& input,
                                                                        const std::string& output,
                                                                        std::uint64_t slide_index,
                                                                        std::uint64_t shape_index,
                                                                        std::uint64_t paragraph_index,
                                                                        std::string_view replacement);

}  // namespace varnex
