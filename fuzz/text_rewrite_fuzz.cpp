// Runs every text transformer on arbitrary bytes. Checks: no crash or runaway; indexes that
// match nothing give the input back byte for byte; and what a transformer writes from input
// the reader accepts is again read to the end without an error.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "fuzz_check.hpp"
#include "table_rewrite.hpp"
#include "text_rewrite.hpp"
#include "xml_events.hpp"

using namespace varnex;


namespace {

constexpr std::uint64_t kNowhere = std::numeric_limits<std::uint64_t>::max();

bool reads_to_the_end(std::string_view xml) {
    xml::Reader reader(xml);
    for (;;) {
        const auto event = reader.next();
        if (!event) return false;
        if (event->kind == xml::EventKind::Eof) return true;
    }
}

void check(const Result<SlideRewrite>& result, bool input_reads) {
    if (result && input_reads) FUZZ_CHECK(reads_to_the_end(result->xml));
}

void check_unchanged(const Result<SlideRewrite>& result, std::string_view input) {
    if (result) FUZZ_CHECK(result->count == 0 && result->xml == input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks the indexes, the rest is the slide.
    const std::uint64_t index = data[0] & 3;
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const bool input_reads = reads_to_the_end(input);
    const std::string_view text = "N&<\n'\"x";

    check(replace_text_nodes(input, "a", text), input_reads);
    check(set_shape_text_at_index_in_slide(input, index, text), input_reads);
    check(set_shape_paragraph_text_at_index_in_slide(input, index, index >> 1, text), input_reads);
    check(replace_text_run_at_index_in_slide(input, index, text), input_reads);
    check(replace_table_cell_text_in_slide(input, index >> 1, index & 1, index, text), input_reads);

    check_unchanged(set_shape_text_at_index_in_slide(input, kNowhere, text), input);
    check_unchanged(set_shape_paragraph_text_at_index_in_slide(input, 0, kNowhere, text), input);
    check_unchanged(replace_text_run_at_index_in_slide(input, kNowhere, text), input);
    check_unchanged(replace_table_cell_text_in_slide(input, 0, 0, kNowhere, text), input);
    if (input.find("never") == std::string_view::npos) check_unchanged(replace_text_nodes(input, "never", text), input);
    return 0;
}
