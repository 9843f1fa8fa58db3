#include "error.hpp"

#include <cstring>

#include <fmt/format.h>

namespace varnex {

std::string VarnexError::display() const {
    switch (kind) {
        case ErrorKind::Io: return "io error: " + message;
        case ErrorKind::Zip: return "zip error: " + message;
        case ErrorKind::Xml: return "xml error: " + message;
        case ErrorKind::XmlTextDecode: return "xml text decode error: " + message;
        case ErrorKind::InvalidInput: return "invalid input: " + message;
    }
    return message;
}

std::string os_error_text(int errnum) {
    return fmt::format("{} (os error {})", std::strerror(errnum), errnum);
}

}  // namespace varnex
