// Text of existing table cells: one cell, or several in one pass of the slide.
#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "error.hpp"
#include "models.hpp"
#include "text_rewrite.hpp"

namespace varnex {

struct TableCellReplacementSummary {
    PathText path;
    std::uint64_t slide_index = 0;
    std::uint64_t table_index = 0;
    std::uint64_t row_index = 0;
    std::uint64_t col_index = 0;
    std::uint64_t replacements = 0;
    std::uint64_t part_count = 0;
    bool has_vba = false;

    template <class F>
    void fields(F&& f) const {
        f("path", path);
        f("slide_index", slide_index);
        f("table_index", table_index);
        f("row_index", row_index);
        f("col_index", col_index);
        f("replacements", replacements);
        f("part_count", part_count);
        f("has_vba", has_vba);
    }
};

// A cell by zero-based counters in document order: `tbl` start tags over the slide, `tr` start
// tags within that table, `tc` start tags within that row.
struct TableCellAddress {
    std::uint64_t table = 0;
    std::uint64_t row = 0;
    std::uint64_t col = 0;
    auto operator<=>(const TableCellAddress&) const = default;
};

using TableCellTexts = std::map<TableCellAddress, std::string>;

// Sets the text of each addressed cell: the first text node of the cell receives it (escaped,
// not split into paragraphs), later text nodes are emptied, and references and character data
// in the cell's text elements go with the old text; a cell whose first text element is empty
// receives it there. The count is the number of cells whose text was set. Cells that do not
// exist, or hold no text element with a start and end tag, are left unchanged.
Result<SlideRewrite> replace_table_cell_texts_in_slide(std::string_view slide_xml, const TableCellTexts& texts);

// The one-cell form; the count is 1 when the cell's text was set, else 0.
Result<SlideRewrite> replace_table_cell_text_in_slide(std::string_view slide_xml, std::uint64_t table_index,
                                                      std::uint64_t row_index, std::uint64_t col_index,
                                                      std::string_view text);

Result<TableCellReplacementSummary> replace_table_cell_text(const std::string& input, const std::string& output,
                                                            std::uint64_t slide_index, std::uint64_t table_index,
                                                            std::uint64_t row_index, std::uint64_t col_index,
                                                            std::string_view replacement);

}  // namespace varnex
