// Zero-copy streaming XML pull reader and byte-preserving writer.
//
// Events are views into the input: an untouched event is written back by copying `raw`, so
// a document read and written event by event comes out byte for byte as it went in. Entities
// are never expanded; a document type declaration is passed through, never interpreted.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "error.hpp"

namespace varnex::xml {

enum class EventKind {
    Start,                  // <name attr="v">
    Empty,                  // <name attr="v"/>
    End,                    // </name>
    Text,                   // character data between markup, references excluded
    CData,                  // <![CDATA[...]]>
    Comment,                // <!--...-->
    ProcessingInstruction,  // <?target ...?> other than the declaration
    Declaration,            // <?xml ...?>
    DocType,                // <!DOCTYPE ...>
    Reference,              // &name; or &#N; or &#xN; between text pieces
    Eof,
};

// The text after the last colon of a qualified name.
std::string_view local_name_of(std::string_view qualified_name);

struct Attribute {
    std::string_view name;       // qualified name as written
    std::string_view raw_value;  // between the quotes, still escaped
    char quote = '"';
    std::string_view local_name() const { return local_name_of(name); }
};

// Iterates the well-formed attributes of a start or empty tag in document order; malformed
// attribute text is skipped silently.
class AttributeIterator {
public:
    AttributeIterator() = default;
    explicit AttributeIterator(std::string_view rest) : rest_(rest) { advance(); }
    const Attribute& operator*() const { return current_; }
    const Attribute* operator->() const { return &current_; }
    AttributeIterator& operator++() { advance(); return *this; }
    bool operator==(const AttributeIterator& other) const { return done_ == other.done_; }

private:
    void advance();
    std::string_view rest_;
    Attribute current_;
    bool done_ = true;
};

struct AttributeRange {
    std::string_view text;  // the tag text after its name, up to (excluding) the closing > or />
    AttributeIterator begin() const { return AttributeIterator(text); }
    AttributeIterator end() const { return AttributeIterator(); }
};

struct Event {
    EventKind kind = EventKind::Eof;
    std::string_view raw;   // the event's exact bytes in the input
    std::string_view name;  // Start/Empty/End: qualified name; Reference: text between & and ;
                            // ProcessingInstruction: the target
    std::string_view body;  // Text: the text; CData/Comment: the inner text; PI/Declaration/DocType:
                            // the text after the name; Start/Empty: the attribute text
    std::size_t offset = 0; // byte offset of `raw` in the input

    bool is_start_like() const { return kind == EventKind::Start || kind == EventKind::Empty; }
    std::string_view local_name() const { return local_name_of(name); }
    AttributeRange attributes() const { return AttributeRange{is_start_like() ? body : std::string_view{}}; }
};

struct ReaderOptions {
    // Trim white space at both ends of text events and drop text that is only white space.
    bool trim_text = false;
};

class Reader {
public:
    explicit Reader(std::string_view input, ReaderOptions options = {});

    // The next event; Eof at the end of input (also when elements are still open).
    // Malformed markup is an Xml error whose message says what was wrong and at which byte.
    Result<Event> next();

    // Byte offset just past the last event returned.
    std::size_t offset() const { return pos_; }
    std::string_view input() const { return input_; }
    // Open element depth after the last event returned.
    std::size_t depth() const { return open_.size(); }

private:
    std::string_view input_;
    ReaderOptions options_;
    std::size_t pos_ = 0;
    std::vector<std::string_view> open_;
    bool pending_end_for_empty_ = false;
};

// Escapes the five characters & < > ' " for text written through the event writer.
std::string escape_text(std::string_view text);
// Escapes & " < > (not the apostrophe) for template attribute values and text.
std::string xml_attr(std::string_view text);

// A start or empty tag built or rewritten by the system. Attribute values are raw (already
// escaped) and are written between double quotes.
struct OwnedTag {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    bool empty = false;
};

class Writer {
public:
    Writer() = default;
    explicit Writer(std::size_t reserve) { out_.reserve(reserve); }

    void write(const Event& event) { out_.append(event.raw); }
    void write_raw(std::string_view bytes) { out_.append(bytes); }
    void write_tag(const OwnedTag& tag);
    void write_end(std::string_view name);
    // Text escaped with escape_text.
    void write_text(std::string_view text);

    std::string& buffer() { return out_; }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

}  // namespace varnex::xml
