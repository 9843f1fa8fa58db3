#include "json_text.hpp"

#include <algorithm>
#include <array>
#include <charconv>

#include "utf8.hpp"

namespace varnex::json {

namespace {

// A newline and the indentation of the common depths, appended in one piece.
constexpr std::string_view kNewlineAndSpaces =
    "\n                                                                "
    "                                                                ";

// Bytes that cannot be copied into a string literal as they are: the controls, '"' and '\\'
// need an escape, and bytes from 0x80 up start a sequence that must be checked.
constexpr std::array<bool, 256> make_special() {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c) table[static_cast<std::size_t>(c)] = c < 0x20 || c == '"' || c == '\\' || c >= 0x80;
    return table;
}
constexpr auto kSpecial = make_special();

bool is_special(char c) { return kSpecial[static_cast<unsigned char>(c)]; }

}  // namespace

void Writer::newline_indent() {
    constexpr std::size_t kSpaces = kNewlineAndSpaces.size() - 1;
    std::size_t width = levels_.size() * 2;
    std::size_t piece = std::min(width, kSpaces);
    out_.append(kNewlineAndSpaces.substr(0, piece + 1));
    for (width -= piece; width > 0; width -= piece) {
        piece = std::min(width, kSpaces);
        out_.append(kNewlineAndSpaces.substr(1, piece));
    }
}

void Writer::before_value() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (levels_.empty()) return;
    // An array element: separate from the previous one and put it on its own line.
    if (levels_.back().has_members) out_.push_back(',');
    levels_.back().has_members = true;
    newline_indent();
}

void Writer::key(std::string_view name) {
    if (levels_.back().has_members) out_.push_back(',');
    levels_.back().has_members = true;
    newline_indent();
    string_literal(name);
    out_.append(": ");
    after_key_ = true;
}

void Writer::open(char bracket) {
    before_value();
    out_.push_back(bracket);
    levels_.push_back(Level{});
}

void Writer::close(char bracket) {
    const bool had_members = levels_.back().has_members;
    levels_.pop_back();
    if (had_members) newline_indent();
    out_.push_back(bracket);
}

void Writer::null_value() {
    before_value();
    out_.append("null");
}

void Writer::bool_value(bool value) {
    before_value();
    out_.append(value ? "true" : "false");
}

void Writer::uint_value(std::uint64_t value) {
    before_value();
    char buffer[24];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    out_.append(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
}

void Writer::int_value(std::int64_t value) {
    before_value();
    char buffer[24];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    out_.append(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
}

void Writer::string_value(std::string_view value) {
    before_value();
    string_literal(value);
}

void TextBuffer::spill(std::string_view bytes) {
    while (true) {
        std::size_t room = static_cast<std::size_t>(end_ - pos_);
        if (bytes.size() <= room) {
            if (!bytes.empty()) std::memcpy(pos_, bytes.data(), bytes.size());
            pos_ += bytes.size();
            return;
        }
        // Fill the piece up to the last sequence boundary that fits, then start the next one.
        while (room > 0 && (static_cast<unsigned char>(bytes[room]) & 0xC0) == 0x80) --room;
        if (room > 0) std::memcpy(pos_, bytes.data(), room);
        pos_ += room;
        bytes.remove_prefix(room);
        if (!pieces_.empty()) pieces_.back().size = static_cast<std::size_t>(pos_ - pieces_.back().data.get());
        Piece next;
        next.data.reset(new char[next_capacity_]);
        pos_ = next.data.get();
        end_ = pos_ + next_capacity_;
        pieces_.push_back(std::move(next));
        next_capacity_ = std::min<std::size_t>(next_capacity_ * 2, std::size_t{1} << 20);
    }
}

std::size_t TextBuffer::size() const {
    std::size_t total = 0;
    for_each_piece([&](std::string_view piece) { total += piece.size(); });
    return total;
}

std::string TextBuffer::take() {
    std::string text;
    text.reserve(size());
    drain([&](std::string_view piece) { text.append(piece); });
    return text;
}

void TextBuffer::clear() {
    pieces_.clear();
    pos_ = end_ = nullptr;
    next_capacity_ = 4096;
}

namespace {

// The string literal of `text` through `out.append` and `out.push_back`; true when a byte
// outside ASCII was written.
template <class Out>
bool write_string_literal(Out& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    bool wide = false;
    out.push_back('"');
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t copied = 0;  // text[copied, i) is waiting to be copied as it is
    std::size_t i = 0;
    while (true) {
        while (i < size && !is_special(data[i])) ++i;
        if (i == size) break;
        const auto c = static_cast<unsigned char>(data[i]);
        if (c >= 0x80) {
            wide = true;
            const Utf8Sequence sequence = decode_utf8(text, i);
            if (sequence.valid) {  // copied with the run around it
                i += sequence.length;
                continue;
            }
            out.append(std::string_view(data + copied, i - copied));
            out.append("\xEF\xBF\xBD");
            i += sequence.length;
            copied = i;
            continue;
        }
        out.append(std::string_view(data + copied, i - copied));
        switch (c) {
            case '"': out.append("\\\""); break;
            case '\\': out.append("\\\\"); break;
            case '\b': out.append("\\b"); break;
            case '\t': out.append("\\t"); break;
            case '\n': out.append("\\n"); break;
            case '\f': out.append("\\f"); break;
            case '\r': out.append("\\r"); break;
            default: {
                const char escape[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
                out.append(std::string_view(escape, sizeof escape));
            }
        }
        copied = ++i;
    }
    out.append(std::string_view(data + copied, size - copied));
    out.push_back('"');
    return wide;
}

}  // namespace

void Writer::string_literal(std::string_view text) {
    if (write_string_literal(out_, text)) ascii_ = false;
}

void append_string_literal(std::string& out, std::string_view text) { write_string_literal(out, text); }

}  // namespace varnex::json
