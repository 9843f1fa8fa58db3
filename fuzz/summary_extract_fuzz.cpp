// Runs the slide summaries' extractions on arbitrary bytes and checks what they promise on any
// input: no failure, one entry per paragraph in every per-paragraph list and one per run in
// every per-run list, an effective transform exactly when there is a transform, and a result
// that serialises.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_check.hpp"
#include "json_text.hpp"
#include "summary_shape_extract.hpp"
#include "summary_text_extract.hpp"

using namespace varnex;


namespace {

template <class Runs>
void check_runs(const Runs& runs, const ShapeSummary& shape) {
    FUZZ_CHECK(runs.size() == shape.paragraph_runs.size());
    for (std::size_t p = 0; p < runs.size(); ++p) FUZZ_CHECK(runs[p].size() == shape.paragraph_runs[p].size());
}

void check_shape(const ShapeSummary& shape) {
    const std::size_t paragraphs = shape.paragraphs.size();
    FUZZ_CHECK(shape.paragraph_runs.size() == paragraphs);
    FUZZ_CHECK(shape.paragraph_line_breaks.size() == paragraphs);
    FUZZ_CHECK(shape.paragraph_fields.size() == paragraphs);
    check_runs(shape.paragraph_run_bold, shape);
    check_runs(shape.paragraph_run_italic, shape);
    check_runs(shape.paragraph_run_underline, shape);
    check_runs(shape.paragraph_run_font_size, shape);
    check_runs(shape.paragraph_run_font_name, shape);
    FUZZ_CHECK(shape.transform.has_value() == shape.effective_transform.has_value());
    FUZZ_CHECK(shape.children.empty() || shape.kind == ShapeKind::Group);
    for (const auto& table : shape.tables) FUZZ_CHECK(table.row_count == table.rows.size());
    for (const auto& child : shape.children) check_shape(child);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string storage;
    const std::string_view xml = utf8_text(std::string_view(reinterpret_cast<const char*>(data), size), storage);

    const auto shapes = extract_shapes(xml);
    for (const auto& shape : shapes) check_shape(shape);
    FUZZ_CHECK(json::to_json_text(shapes).has_value());

    const auto runs = extract_text_runs_and_elements(xml, {"transition", "timing"});
    FUZZ_CHECK(runs.present.size() == 2);
    for (const auto& text : runs.texts) FUZZ_CHECK(!text.empty());
    FUZZ_CHECK(runs.texts == extract_text_runs(xml));

    for (const auto& table : extract_tables(xml)) {
        FUZZ_CHECK(table.row_count == table.rows.size());
        for (const auto& row : table.rows) FUZZ_CHECK(row.size() <= table.col_count);
    }
    // The whole text as one shape: every scan runs over every byte.
    check_shape(summarize_shape_block(xml, GroupTransformContext{1, -2, 3, -4, 5, 6, 7, 0}));
    return 0;
}
