// Reads arbitrary bytes as XML events and checks the reader's promises: the raw bytes of the
// events returned are exactly the input up to where reading stopped, every event advances,
// and rewritten tags read back as one well-formed tag. The text-search helpers run on the
// same bytes to catch crashes and runaway scans.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_check.hpp"
#include "xml_events.hpp"
#include "xml_helpers.hpp"

using namespace varnex::xml;


namespace {

bool inside(std::string_view part, std::string_view whole) {
    return part.empty() || (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

void check_rewritten_tag(const Event& event) {
    const OwnedTag tag = rewrite_event_attributes(event, {{"id", "a\"&<'>"}, {"x:new", "1"}});
    Writer writer;
    writer.write_tag(tag);
    const std::string text = writer.take();
    Reader reader(text);
    const auto again = reader.next();
    FUZZ_CHECK(again && again->is_start_like() && again->name == event.name);
    FUZZ_CHECK(reader.offset() == text.size());
    std::size_t count = 0;
    for (const auto& attribute : again->attributes()) {
        (void)attribute;
        ++count;
    }
    FUZZ_CHECK(count == tag.attributes.size());
}

void read_all(std::string_view input, ReaderOptions options) {
    Reader reader(input, options);
    Writer writer;
    std::size_t steps = 0;
    while (true) {
        const std::size_t before = reader.offset();
        const auto event = reader.next();
        if (!event) {
            FUZZ_CHECK(options.trim_text ? reader.offset() >= before : reader.offset() == before);
            FUZZ_CHECK(!reader.next());
            break;
        }
        if (event->kind == EventKind::Eof) {
            FUZZ_CHECK(event->raw.empty() && reader.offset() == input.size());
            if (!options.trim_text) FUZZ_CHECK(before == input.size());
            break;
        }
        FUZZ_CHECK(!event->raw.empty());
        FUZZ_CHECK(event->offset >= before && reader.offset() == event->offset + event->raw.size());
        FUZZ_CHECK(inside(event->raw, input) && inside(event->name, input) && inside(event->body, input));
        if (!options.trim_text) FUZZ_CHECK(event->offset == before);
        FUZZ_CHECK(++steps <= input.size());
        writer.write(*event);
        for (const auto& attribute : event->attributes()) {
            FUZZ_CHECK(!attribute.name.empty() && inside(attribute.raw_value, event->body));
            (void)unescape_attribute_value(attribute.raw_value);
        }
        if (event->is_start_like()) check_rewritten_tag(*event);
        if (event->kind == EventKind::Reference) (void)xml_reference_content(*event);
        if (event->kind == EventKind::Text) (void)xml_text_content(*event);
    }
    if (!options.trim_text) FUZZ_CHECK(writer.buffer() == input.substr(0, reader.offset()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    read_all(input, {});
    ReaderOptions trim;
    trim.trim_text = true;
    read_all(input, trim);

    std::size_t previous_end = 0;
    for (const auto block : extract_shape_blocks(input)) {
        FUZZ_CHECK(inside(block, input) && block.starts_with("<p:"));
        const auto start = static_cast<std::size_t>(block.data() - input.data());
        FUZZ_CHECK(start >= previous_end);
        previous_end = start + block.size();
    }
    for (const std::string_view name : {"p:sp", "p:grpSp", "a"}) {
        if (const auto start = find_tag_start(input, 0, name)) {
            const auto end = find_element_end(input, *start, name);
            FUZZ_CHECK(!end || (*end > *start && *end <= input.size()));
        }
    }
    (void)has_element(input, "sp");
    (void)max_cnvpr_id(input);
    (void)utf8_lossy(input);
    return 0;
}
