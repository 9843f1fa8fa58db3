#include "json_text.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "utf8.hpp"

namespace varnex::json {

namespace {

// Bytes that cannot be copied into a string literal as they are: the controls, '"' and '\\'
// need an escape, and bytes from 0x80 up start a sequence that must be checked.
constexpr std::array<bool, 256> make_special() {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c) table[static_cast<std::size_t>(c)] = c < 0x20 || c == '"' || c == '\\' || c >= 0x80;
    return table;
}
constexpr auto kSpecial = make_special();

bool is_special(char c) { return kSpecial[static_cast<unsigned char>(c)]; }

// Offset of the first special byte of data[from, size), or `size`.
std::size_t next_special(const char* data, std::size_t from, std::size_t size) {
    std::size_t i = from;
#if defined(__SSE2__)
    // Signed bytes below 0x20 are the controls and everything from 0x80 up.
    const __m128i space = _mm_set1_epi8(0x20);
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    for (; i + 16 <= size; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const __m128i escaped = _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash));
        const __m128i hit = _mm_or_si128(_mm_cmplt_epi8(v, space), escaped);
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
    }
#endif
    while (i < size && !is_special(data[i])) ++i;
    return i;
}

// The string literal of `text` through `out.append` and `out.push_back`, from its first
// special byte at `first` on; true when a byte outside ASCII was written.
template <class Out>
bool write_string_literal(Out& out, std::string_view text, std::size_t first) {
    static constexpr char hex[] = "0123456789abcdef";
    bool wide = false;
    out.push_back('"');
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t copied = 0;  // text[copied, i) is waiting to be copied as it is
    std::size_t i = first;
    while (i < size) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c >= 0x80) {
            wide = true;
            const Utf8Sequence sequence = decode_utf8(text, i);
            if (!sequence.valid) {
                out.append(std::string_view(data + copied, i - copied));
                out.append("\xEF\xBF\xBD");
                copied = i + sequence.length;
            }  // a valid sequence is copied with the run around it
            i = next_special(data, i + sequence.length, size);
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
        copied = i + 1;
        i = next_special(data, copied, size);
    }
    out.append(std::string_view(data + copied, size - copied));
    out.push_back('"');
    return wide;
}

}  // namespace

// ---- TextBuffer ---------------------------------------------------------------------------

TextBuffer::TextBuffer(TextBuffer&& other) noexcept
    : storage_(other.storage_), base_(other.base_), pos_(other.pos_), end_(other.end_) {
    other.base_ = other.pos_ = other.end_ = nullptr;
}

TextBuffer::~TextBuffer() {
    if (storage_ == nullptr) std::free(base_);
}

void TextBuffer::grow(std::size_t more) {
    const std::size_t used = size();
    const std::size_t capacity = static_cast<std::size_t>(end_ - base_);
    if (more > std::numeric_limits<std::size_t>::max() / 2 - used) throw std::bad_alloc();
    if (storage_ != nullptr) {
        const Storage::Area area = storage_->grow(used, used + more);
        base_ = area.data;
        pos_ = base_ + used;
        end_ = base_ + area.size;
        return;
    }
    const std::size_t wanted = std::max({used + more, capacity * 2, std::size_t{4096}});
    // realloc moves a large block by remapping it, without copying or touching its pages.
    void* grown = std::realloc(base_, wanted);
    if (grown == nullptr) throw std::bad_alloc();
    base_ = static_cast<char*>(grown);
    pos_ = base_ + used;
    end_ = base_ + wanted;
}

std::string TextBuffer::take() {
    std::string text(view());
    pos_ = base_;
    return text;
}

// ---- Writer -------------------------------------------------------------------------------

void Writer::key(std::string_view name) {
    Level& level = levels_.back();
    const bool comma = level.has_members;
    level.has_members = true;
    after_key_ = true;
    const std::size_t first = next_special(name.data(), 0, name.size());
    if (first == name.size()) {
        char* p = separator(out_.claim(separator_room() + name.size() + 4), comma);
        *p++ = '"';
        if (!name.empty()) std::memcpy(p, name.data(), name.size());
        p += name.size();
        std::memcpy(p, "\": ", 3);
        out_.commit(p + 3);
        return;
    }
    out_.commit(separator(out_.claim(separator_room()), comma));
    if (write_string_literal(out_, name, first)) ascii_ = false;
    out_.append(": ");
}

void Writer::uint_value(std::uint64_t value) {
    char buffer[24];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    literal(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
}

void Writer::int_value(std::int64_t value) {
    char buffer[24];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    literal(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
}

void Writer::string_value(std::string_view value) {
    const std::size_t first = next_special(value.data(), 0, value.size());
    if (first == value.size()) {  // nothing to escape: one copy
        char* p = before_value(value.size() + 2);
        *p++ = '"';
        if (!value.empty()) std::memcpy(p, value.data(), value.size());
        p += value.size();
        *p++ = '"';
        out_.commit(p);
        return;
    }
    out_.commit(before_value(0));
    if (write_string_literal(out_, value, first)) ascii_ = false;
}

void append_string_literal(std::string& out, std::string_view text) {
    write_string_literal(out, text, next_special(text.data(), 0, text.size()));
}

}  // namespace varnex::json
