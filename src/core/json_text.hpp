// The JSON writer of every result: two-space pretty printing, members in declaration order,
// UTF-8 strings with the minimal escapes, integers only.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "error.hpp"
#include "models.hpp"
#include "utf8.hpp"

namespace varnex::json {

// Where a TextBuffer keeps its bytes when the caller provides the place: one contiguous area
// that the buffer asks to grow, such as the final home of the text.
class Storage {
public:
    struct Area {
        char* data;
        std::size_t size;
    };
    virtual ~Storage() = default;
    // The area grown to at least `size` bytes (the storage may give more), its first `used`
    // bytes kept. Throws std::bad_alloc when it cannot grow.
    virtual Area grow(std::size_t used, std::size_t size) = 0;
};

// The text a writer produces, in one contiguous area: its own heap block, or a caller's Storage.
class TextBuffer {
public:
    TextBuffer() = default;
    explicit TextBuffer(Storage& storage) : storage_(&storage) {}
    TextBuffer(TextBuffer&& other) noexcept;
    TextBuffer& operator=(TextBuffer&&) = delete;
    ~TextBuffer();

    void append(std::string_view bytes) {
        if (bytes.empty()) return;
        std::memcpy(claim(bytes.size()), bytes.data(), bytes.size());
        pos_ += bytes.size();
    }
    void push_back(char c) { *claim(1) = c, ++pos_; }
    // Room for `n` more bytes at the end: write them through the pointer, then commit() the
    // end of what was written.
    char* claim(std::size_t n) {
        if (n > static_cast<std::size_t>(end_ - pos_)) grow(n);
        return pos_;
    }
    void commit(char* end) { pos_ = end; }

    std::size_t size() const { return static_cast<std::size_t>(pos_ - base_); }
    std::string_view view() const { return {base_, size()}; }
    // The text as a string; the buffer is empty afterwards.
    std::string take();

private:
    void grow(std::size_t more);

    Storage* storage_ = nullptr;  // none: a heap block owned here
    char* base_ = nullptr;
    char* pos_ = nullptr;
    char* end_ = nullptr;
};

// The name of a record member, known when the program is built and checked then to need no
// escape, so writing it is a plain copy.
struct MemberName {
    template <std::size_t N>
    consteval MemberName(const char (&name)[N]) : text(name, N - 1) {  // NOLINT: implicit on purpose
        for (std::size_t i = 0; i + 1 < N; ++i) {
            const auto c = static_cast<unsigned char>(name[i]);
            if (c < 0x20 || c >= 0x80 || c == '"' || c == '\\') throw "a member name must need no escape";
        }
    }
    std::string_view text;
};

class Writer {
public:
    Writer() = default;
    // Writes into the caller's storage, which must outlive the writer.
    explicit Writer(Storage& storage) : out_(storage) {}

    void begin_object() { open('{'); }
    void end_object() { close('}'); }
    void begin_array() { open('['); }
    void end_array() { close(']'); }
    void key(std::string_view name);
    // key() for a member name checked when the program was built.
    void member_key(MemberName name) {
        Level& level = levels_.back();
        const bool comma = level.has_members;
        level.has_members = true;
        after_key_ = true;
        const std::string_view text = name.text;
        char* p = separator(out_.claim(separator_room() + text.size() + 4), comma);
        *p++ = '"';
        std::memcpy(p, text.data(), text.size());
        p += text.size();
        std::memcpy(p, "\": ", 3);
        out_.commit(p + 3);
    }

    void null_value() { literal("null"); }
    void bool_value(bool value) { value ? literal("true") : literal("false"); }
    void uint_value(std::uint64_t value);
    void int_value(std::int64_t value);
    // Invalid UTF-8 is replaced by U+FFFD so the output stays valid JSON.
    void string_value(std::string_view value);

    // Whether every byte written so far is ASCII.
    bool is_ascii() const { return ascii_; }
    std::string_view text() const { return out_.view(); }
    std::string take() { return out_.take(); }

private:
    struct Level {
        bool has_members = false;
    };
    // The indentation is copied as one block of this many spaces, then cut to the depth.
    static constexpr std::size_t kSpaceBlock = 32;

    // Room for a separator: ",", the newline and the indentation (or a whole block of it).
    std::size_t separator_room() const {
        const std::size_t width = levels_.size() * 2;
        return 2 + (width > kSpaceBlock ? width : kSpaceBlock);
    }
    // Writes "," (when `comma`) and the newline and indentation at `p`, within claimed room.
    char* separator(char* p, bool comma) const {
        static constexpr char spaces[kSpaceBlock + 1] = "                                ";
        if (comma) *p++ = ',';
        *p++ = '\n';
        const std::size_t width = levels_.size() * 2;
        if (width <= kSpaceBlock) {
            std::memcpy(p, spaces, kSpaceBlock);
        } else {
            std::memset(p, ' ', width);
        }
        return p + width;
    }
    // Claims room for the separator before a value and `value_room` bytes, writes the
    // separator and returns where the value goes.
    char* before_value(std::size_t value_room) {
        char* p = out_.claim(separator_room() + value_room);
        if (after_key_) {
            after_key_ = false;
            return p;
        }
        if (levels_.empty()) return p;
        // An array element: separate from the previous one and put it on its own line.
        Level& level = levels_.back();
        p = separator(p, level.has_members);
        level.has_members = true;
        return p;
    }
    void literal(std::string_view text) {
        char* p = before_value(text.size());
        std::memcpy(p, text.data(), text.size());
        out_.commit(p + text.size());
    }
    void open(char bracket) {
        char* p = before_value(1);
        *p++ = bracket;
        out_.commit(p);
        levels_.push_back(Level{});
    }
    void close(char bracket) {
        const bool had_members = levels_.back().has_members;
        levels_.pop_back();
        char* p = out_.claim(separator_room() + 1);
        if (had_members) p = separator(p, false);
        *p++ = bracket;
        out_.commit(p);
    }

    TextBuffer out_;
    std::vector<Level> levels_;
    bool after_key_ = false;
    bool ascii_ = true;
};

// Appends `text` as a JSON string literal, replacing invalid UTF-8 by U+FFFD.
void append_string_literal(std::string& out, std::string_view text);

template <class T>
struct is_optional : std::false_type {};
template <class T>
struct is_optional<std::optional<T>> : std::true_type {};

template <class T>
struct is_vector : std::false_type {};
template <class T, class A>
struct is_vector<std::vector<T, A>> : std::true_type {};

// Serialisation fails only for a path that is not valid UTF-8; the error is the message itself.
using WriteStatus = tl::expected<void, std::string>;
inline constexpr const char* invalid_path_message = "path contains invalid UTF-8 characters";

namespace detail {

// write_value's work; false, having stopped where it was, at the one failure there is.
template <class T>
bool write_into(Writer& writer, const T& value) {
    if constexpr (std::is_same_v<T, bool>) {
        writer.bool_value(value);
    } else if constexpr (std::is_enum_v<T>) {
        writer.string_value(json_name(value));
    } else if constexpr (std::is_integral_v<T> && std::is_unsigned_v<T>) {
        writer.uint_value(value);
    } else if constexpr (std::is_integral_v<T>) {
        writer.int_value(value);
    } else if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, std::string_view>) {
        writer.string_value(value);
    } else if constexpr (std::is_same_v<T, PathText>) {
        if (!is_valid_utf8(value.value)) return false;
        writer.string_value(value.value);
    } else if constexpr (is_optional<T>::value) {
        if (!value) {
            writer.null_value();
        } else {
            return write_into(writer, *value);
        }
    } else if constexpr (is_vector<T>::value) {
        writer.begin_array();
        for (const auto& element : value) {
            if (!write_into(writer, element)) return false;
        }
        writer.end_array();
    } else {
        writer.begin_object();
        bool written = true;
        value.fields([&](MemberName name, const auto& field) {
            if (!written) return;
            writer.member_key(name);
            written = write_into(writer, field);
        });
        if (!written) return false;
        writer.end_object();
    }
    return true;
}

}  // namespace detail

template <class T>
WriteStatus write_value(Writer& writer, const T& value) {
    if (!detail::write_into(writer, value)) return tl::unexpected(std::string(invalid_path_message));
    return {};
}

// The record as pretty-printed JSON text.
template <class T>
tl::expected<std::string, std::string> to_json_text(const T& record) {
    Writer writer;
    auto status = write_value(writer, record);
    if (!status) return tl::unexpected(std::move(status).error());
    return writer.take();
}

}  // namespace varnex::json
