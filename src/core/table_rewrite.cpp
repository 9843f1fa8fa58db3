#include "table_rewrite.hpp"

#include <optional>

#include "xml_events.hpp"

namespace varnex {

namespace {

using xml::Event;
using xml::EventKind;

// Where the reader is in the tables of a slide: the counters, and the depth just inside the
// current table, row and cell (0 when outside; an element's inside is at depth 1 or more).
struct TablePosition {
    std::uint64_t tables = 0;
    std::uint64_t rows = 0;
    std::uint64_t cells = 0;
    std::size_t table_depth = 0;
    std::size_t row_depth = 0;
    std::size_t cell_depth = 0;

    // Call for a start tag with the depth after it; returns the address of a cell it opens.
    std::optional<TableCellAddress> open(const Event& event, std::size_t depth) {
        const std::string_view local = event.local_name();
        if (local == "tbl") {
            ++tables;
            rows = 0;
            table_depth = depth;
            row_depth = cell_depth = 0;
        } else if (local == "tr" && table_depth != 0 && row_depth == 0) {
            ++rows;
            cells = 0;
            row_depth = depth;
        } else if (local == "tc" && row_depth != 0 && cell_depth == 0) {
            ++cells;
            cell_depth = depth;
            return TableCellAddress{tables - 1, rows - 1, cells - 1};
        }
        return std::nullopt;
    }
    // Call for an end tag with the depth after it; true when it closes the current cell.
    bool close(std::size_t depth) {
        const bool closes_cell = depth < cell_depth;
        if (depth < cell_depth) cell_depth = 0;
        if (depth < row_depth) row_depth = 0;
        if (depth < table_depth) table_depth = 0;
        return closes_cell;
    }
};

}  // namespace

Result<SlideRewrite> replace_table_cell_texts_in_slide(std::string_view slide_xml, const TableCellTexts& texts) {
    xml::Reader reader(slide_xml);
    xml::Writer writer(slide_xml.size() + 64);
    TablePosition position;
    const std::string* cell_text = nullptr;  // the text of the cell being rewritten, if any
    bool written = false;
    int in_text = 0;
    std::uint64_t count = 0;
    for (;;) {
        VARNEX_TRY_ASSIGN(const Event event, reader.next());
        if (event.kind == EventKind::Eof) break;
        if (event.kind == EventKind::Start) {
            if (const auto address = position.open(event, reader.depth())) {
                const auto found = texts.find(*address);
                cell_text = found == texts.end() ? nullptr : &found->second;
                written = false;
                in_text = 0;
            } else if (cell_text && event.local_name() == "t") {
                ++in_text;
            }
        } else if (event.kind == EventKind::End) {
            if (cell_text && in_text > 0 && event.local_name() == "t") {
                --in_text;
                if (!written) {
                    writer.write_text(*cell_text);
                    written = true;
                    ++count;
                }
            }
            if (position.close(reader.depth())) cell_text = nullptr;
        } else if (cell_text && in_text > 0 &&
                   (event.kind == EventKind::Text || event.kind == EventKind::Reference ||
                    event.kind == EventKind::CData)) {
            // The old text of the cell: the first text node becomes the new text, the rest goes.
            if (event.kind == EventKind::Text && !written) {
                writer.write_text(*cell_text);
                written = true;
                ++count;
            }
            continue;
        }
        writer.write(event);
    }
    return SlideRewrite{writer.take(), count};
}

Result<SlideRewrite> replace_table_cell_text_in_slide(std::string_view slide_xml, std::uint64_t table_index,
                                                      std::uint64_t row_index, std::uint64_t col_index,
                                                      std::string_view text) {
    TableCellTexts texts;
    texts.emplace(TableCellAddress{table_index, row_index, col_index}, std::string(text));
    return replace_table_cell_texts_in_slide(slide_xml, texts);
}

Result<TableCellReplacementSummary> replace_table_cell_text(const std::string& input, const std::string& output,
                                                            std::uint64_t slide_index, std::uint64_t table_index,
                                                            std::uint64_t row_index, std::uint64_t col_index,
                                                            std::string_view replacement) {
    VARNEX_TRY_ASSIGN(const SlideEditOutcome outcome,
                      rewrite_slide_at_index(input, output, slide_index, [&](std::string_view xml) {
                          return replace_table_cell_text_in_slide(xml, table_index, row_index, col_index,
                                                                  replacement);
                      }));
    return TableCellReplacementSummary{PathText{output},  slide_index,   table_index,
                                       row_index,         col_index,     outcome.count,
                                       outcome.facts.part_count, outcome.facts.has_vba};
}

}  // namespace varnex
