// Read-only text extraction from slide XML: text runs, paragraph texts, tables, and the
// paragraph-by-paragraph details of a shape (runs, line breaks, fields, run properties).
//
// None of these fails. Each reads the XML as events and stops quietly at the end of input or
// at the first XML error, keeping what it gathered. Elements are recognised by local name.
// The XML is text: part bytes go through utf8_text first, once per part.
//
// Where a function takes the PartScans of a part that `xml` is a slice of, it reuses the
// work they hold instead of doing it again, with the same result.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "summary_models.hpp"
#include "xml_event_tape.hpp"

namespace varnex {

// What the scans over one part's XML share, so that the slices of it read in turn (shapes,
// the shapes of their groups, tables and their cells) are not read again: the part's events,
// and the tables already summarised by the exact slice they came from (a table's summary
// depends on its text alone). The XML must outlive it.
struct PartScans {
    explicit PartScans(std::string_view xml) : tape(xml) {}
    // Also calling `visit(event, local_name)` with the events of `xml` as they are read.
    template <class Visit>
    PartScans(std::string_view xml, Visit&& visit) : tape(xml, visit) {}
    xml::EventTape tape;
    std::map<std::pair<std::uintptr_t, std::size_t>, TableSummary> tables;
};

// The bytes as text: a view of them when they are valid UTF-8, otherwise a copy in `storage`
// with every invalid sequence replaced by U+FFFD.
std::string_view utf8_text(std::string_view bytes, std::string& storage);

// The non-empty text elements (local name `t`) in document order. Text events are trimmed of
// white space one by one, so spaces around an entity reference are lost.
std::vector<std::string> extract_text_runs(std::string_view xml);

// extract_text_runs, noting on the way which of `local_names` occur as start or empty tags
// before the scan stops: per name, what has_element would answer, without a pass of its own.
struct TextRunsAndElements {
    std::vector<std::string> texts;
    std::vector<bool> present;  // per name
};
TextRunsAndElements extract_text_runs_and_elements(std::string_view xml, std::vector<std::string_view> local_names,
                                                   PartScans* scans = nullptr);
// The PartScans of `xml`, and extract_text_runs_and_elements(xml, local_names) in `texts`,
// gathered on the same reading of it.
PartScans scan_part_with_text_runs(std::string_view xml, std::vector<std::string_view> local_names,
                                   TextRunsAndElements& texts);

// One text per paragraph (local name `p`): the text of its `t` elements with U+000B for each
// line break, white space kept exactly. Field text is included.
std::vector<std::string> extract_paragraph_texts(std::string_view xml, PartScans* scans = nullptr);

// Every a:tbl element in document order with the text of each cell (its paragraph texts joined
// with "\n"). Tables, rows and cells are found by text search on their qualified names.
std::vector<TableSummary> extract_tables(std::string_view xml, PartScans* scans = nullptr);

template <class T>
using PerParagraphRuns = std::vector<std::vector<T>>;

// Per paragraph, per run: the raw text of the first attribute named `attribute` (local name)
// of the last element named `element` (local name) inside the run; absent when the run has
// none. A value that is not valid UTF-8 becomes empty text.
PerParagraphRuns<std::optional<std::string>> extract_paragraph_run_property(std::string_view xml,
                                                                           std::string_view element,
                                                                           std::string_view attribute);
// The rPr attribute `attribute` (b, i) read as a boolean: 1/true/on, 0/false/off, else absent.
PerParagraphRuns<std::optional<bool>> extract_paragraph_run_bool_attribute(std::string_view xml,
                                                                           std::string_view attribute);
// The rPr attribute `u`: absent stays absent, "none" is false, any other text true.
PerParagraphRuns<std::optional<bool>> extract_paragraph_run_underline(std::string_view xml);
// The rPr attribute `sz` as a signed 64-bit decimal; absent when missing or not a number.
PerParagraphRuns<std::optional<std::int64_t>> extract_paragraph_run_font_size(std::string_view xml);

std::optional<bool> read_bool_property(std::optional<std::string_view> raw);
std::optional<bool> read_underline_property(std::optional<std::string_view> raw);
std::optional<std::int64_t> read_font_size_property(std::optional<std::string_view> raw);

// Everything a shape summary reads paragraph by paragraph. Each list has one entry per
// paragraph, and the run lists one entry per run element.
struct ParagraphDetails {
    std::vector<std::string> paragraphs;
    PerParagraphRuns<std::string> runs;
    PerParagraphRuns<std::uint64_t> line_breaks;  // per break: the number of runs before it
    PerParagraphRuns<ParagraphFieldSummary> fields;
    PerParagraphRuns<std::optional<bool>> bold;
    PerParagraphRuns<std::optional<bool>> italic;
    PerParagraphRuns<std::optional<bool>> underline;
    PerParagraphRuns<std::optional<std::int64_t>> font_size;
    PerParagraphRuns<std::optional<std::string>> font_name;
};

// The paragraph texts, runs, breaks, fields and run properties of `xml`, gathered in a single
// pass over its events; the same as running each extraction on its own.
ParagraphDetails extract_paragraph_details(std::string_view xml, PartScans* scans = nullptr);

// Whether extract_paragraph_details(group) is the concatenation, list by list, of the details
// of `children` (slices of `group`, in order): the part's tape replays the group, each child is
// complete elements within it, and nothing between or around them opens a paragraph. The
// scans then meet each child in the state they start from, and come out of it in that state.
bool details_are_childrens(std::string_view group, const std::vector<std::string_view>& children,
                           const PartScans& scans);

}  // namespace varnex
