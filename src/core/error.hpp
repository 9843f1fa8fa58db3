// The one failure type of the core and the result type every core function returns.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include <tl/expected.hpp>

namespace varnex {

enum class ErrorKind { Io, Zip, Xml, XmlTextDecode, InvalidInput };

struct VarnexError {
    ErrorKind kind;
    std::string message;

    // The one-line display form, e.g. "zip error: bad central directory".
    std::string display() const;
};

template <class T>
using Result = tl::expected<T, VarnexError>;
using Status = tl::expected<void, VarnexError>;

inline tl::unexpected<VarnexError> make_error(ErrorKind kind, std::string message) {
    return tl::unexpected<VarnexError>(VarnexError{kind, std::move(message)});
}
inline tl::unexpected<VarnexError> io_error(std::string message) { return make_error(ErrorKind::Io, std::move(message)); }
inline tl::unexpected<VarnexError> zip_error(std::string message) { return make_error(ErrorKind::Zip, std::move(message)); }
inline tl::unexpected<VarnexError> xml_error(std::string message) { return make_error(ErrorKind::Xml, std::move(message)); }
inline tl::unexpected<VarnexError> xml_text_decode_error(std::string message) {
    return make_error(ErrorKind::XmlTextDecode, std::move(message));
}
inline tl::unexpected<VarnexError> invalid_input(std::string message) {
    return make_error(ErrorKind::InvalidInput, std::move(message));
}

// An operating-system error as the system describes it: "{strerror} (os error {errno})".
std::string os_error_text(int errnum);
inline tl::unexpected<VarnexError> io_error_from_errno(int errnum) { return io_error(os_error_text(errnum)); }

}  // namespace varnex

// Propagates the error of a Result/Status expression, otherwise yields nothing.
#define VARNEX_TRY(expr)                                                    \
    do {                                                                    \
        auto&& varnex_try_result_ = (expr);                                 \
        if (!varnex_try_result_) return tl::unexpected(std::move(varnex_try_result_).error()); \
    } while (0)

// Binds the value of a Result expression to `decl`, or propagates its error.
#define VARNEX_TRY_ASSIGN(decl, expr) VARNEX_TRY_ASSIGN_IMPL_(decl, expr, VARNEX_CONCAT_(varnex_r_, __LINE__))
#define VARNEX_CONCAT_INNER_(a, b) a##b
#define VARNEX_CONCAT_(a, b) VARNEX_CONCAT_INNER_(a, b)
#define VARNEX_TRY_ASSIGN_IMPL_(decl, expr, tmp)                    \
    auto tmp = (expr);                                              \
    if (!tmp) return tl::unexpected(std::move(tmp).error());        \
    decl = std::move(*tmp)
