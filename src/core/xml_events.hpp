// Zero-copy streaming XML pull reader and byte-preserving writer.
//
// Events are views into the input: an untouched event is written back by copying `raw`, so
// a document read and written event by event comes out byte for byte as it went in. Entities
// are never expanded; a document type declaration is passed through, never interpreted.
//
// What the reader checks, and what it leaves to its callers:
// - Every tag must be closed by `>` before the next `<` or the end of input ("unclosed tag").
// - End tags must match the open element; an end tag with nothing open is an error. Elements
//   still open at the end of input are not: the reader returns Eof and callers check depth().
// - `&` in text must start a reference: `&name;`, `&#digits;` or `&#xhex;` ("stray '&'").
//   Character references are checked for syntax only; their value is checked when decoded.
// - The attribute list of a start or empty tag must be a sequence of `name = "value"` or
//   `name = 'value'` separated by white space, with no `<` inside a value ("bad attribute
//   syntax"). Duplicate names and entity syntax inside values are not checked: values are
//   carried raw, and the helpers that unescape them report what they cannot decode.
// The attribute iterator is also used on text the reader never checked, so it is lenient on
// its own: a name without `=`, an unquoted value or an unterminated quote is skipped silently.
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
inline std::string_view local_name_of(std::string_view qualified_name) {
    for (std::size_t i = qualified_name.size(); i > 0; --i)
        if (qualified_name[i - 1] == ':') return qualified_name.substr(i);
    return qualified_name;
}

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
                            // ProcessingInstruction: the target; Declaration: "xml"
    std::string_view body;  // Text: the text; CData/Comment: the inner text; PI/Declaration:
                            // the text after the target, DocType: the text after the DOCTYPE
                            // keyword (leading white space skipped, up to ?> or >);
                            // Start/Empty: the attribute text after the name
    std::size_t offset = 0; // byte offset of `raw` in the input

    bool is_start_like() const { return kind == EventKind::Start || kind == EventKind::Empty; }
    std::string_view local_name() const { return local_name_of(name); }
    AttributeRange attributes() const { return AttributeRange{is_start_like() ? body : std::string_view{}}; }
};

struct ReaderOptions {
    // Trim white space at both ends of text events (`body`; `raw` keeps every byte) and drop
    // text that is only white space. Dropped text breaks the byte-for-byte round trip, so
    // rewriters keep the default.
    bool trim_text = false;
};

// A text event's body trimmed as a trimming reader trims it; false when only white space was
// there and such a reader drops the event.
bool trim_text_body(std::string_view& body);

class Reader {
public:
    explicit Reader(std::string_view input, ReaderOptions options = {});

    // The next event; Eof at the end of input (also when elements are still open).
    // Malformed markup is an Xml error whose message says what was wrong and at which byte;
    // the reader then stays at the start of the faulty markup and repeats the error.
    Result<Event> next();

    // Byte offset just past the last event returned (the start of the faulty markup after an
    // error), so the raw bytes of all events returned are exactly input().substr(0, offset()).
    std::size_t offset() const { return pos_; }
    std::string_view input() const { return input_; }
    // Open element depth after the last event returned.
    std::size_t depth() const { return open_.size(); }

private:
    std::string_view input_;
    ReaderOptions options_;
    std::size_t pos_ = 0;
    std::vector<std::string_view> open_;
    std::size_t next_lt_ = 0;  // a '<' known to be the first at or after pos_ when > pos_
    std::optional<VarnexError> error_;

    Result<Event> read_markup();
    Result<Event> read_start_tag();
    Result<Event> read_end_tag();
    Result<Event> read_processing_instruction();
    Result<Event> read_declaration_markup();
    Result<Event> read_doctype();
    Result<Event> read_reference();
    Event read_text();
    Event emit(EventKind kind, std::size_t end, std::string_view name, std::string_view body);
    // The failures, kept out of the way of the reading.
    [[gnu::cold]] tl::unexpected<VarnexError> fail(std::string message);
    [[gnu::cold]] tl::unexpected<VarnexError> fail_here(const char* what);  // "{what} at byte {offset}"
    [[gnu::cold]] tl::unexpected<VarnexError> fail_attribute(std::size_t at, std::string_view name, const char* what);
    [[gnu::cold]] tl::unexpected<VarnexError> fail_end_tag(std::string_view name);  // unexpected or mismatched
};

// Escapes the five characters & < > ' " for text written through the event writer.
std::string escape_text(std::string_view text);
// Escapes & " < > (not the apostrophe) for template attribute values and text.
std::string xml_attr(std::string_view text);

// A start or empty tag built or rewritten by the system. Attribute values are raw (already
// escaped) and are written between double quotes; a literal `"` in a value (kept from a
// single-quoted attribute) is written as &quot; so the tag stays well-formed.
struct OwnedTag {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    bool empty = false;
};

// Unchanged events usually follow each other in the input, so the writer joins a run of them
// and copies it once. An event's bytes are therefore copied at the next write or at take():
// the text it was read from must live until then (it does in every read-and-rewrite loop).
class Writer {
public:
    Writer() = default;
    explicit Writer(std::size_t reserve) { out_.reserve(reserve); }

    void write(const Event& event) {
        if (!pending_.empty() && pending_.data() + pending_.size() == event.raw.data()) {
            pending_ = std::string_view(pending_.data(), pending_.size() + event.raw.size());
            return;
        }
        flush();
        pending_ = event.raw;
    }
    void write_raw(std::string_view bytes) {
        flush();
        out_.append(bytes);
    }
    void write_tag(const OwnedTag& tag);
    void write_end(std::string_view name);
    // Text escaped with escape_text.
    void write_text(std::string_view text);

    std::string& buffer() {
        flush();
        return out_;
    }
    std::string take() {
        flush();
        return std::move(out_);
    }

private:
    void flush() {
        if (pending_.empty()) return;
        out_.append(pending_);
        pending_ = {};
    }

    std::string out_;
    std::string_view pending_;
};

}  // namespace varnex::xml
