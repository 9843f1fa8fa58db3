#include "content_types.hpp"

#include "utf8.hpp"

#include <fmt/format.h>

#include "xml_events.hpp"
#include "xml_helpers.hpp"

namespace varnex {
namespace {

constexpr std::string_view kTypesEnd = "</Types>";

// Inserts `element` before the last "</Types>" unless `probe` already occurs.
Result<std::string> ensure_declaration(std::string_view content_types, std::string_view probe,
                                       std::string_view element) {
    if (content_types.find(probe) != std::string_view::npos) return std::string(content_types);
    const auto marker = content_types.rfind(kTypesEnd);
    if (marker == std::string_view::npos) return invalid_input("[Content_Types].xml is missing </Types>");
    std::string result;
    result.reserve(content_types.size() + element.size());
    result.append(content_types.substr(0, marker));
    result.append(element);
    result.append(content_types.substr(marker));
    return result;
}

std::string override_element(std::string_view part_name, std::string_view content_type) {
    return fmt::format(R"(<Override PartName="{}" ContentType="{}"/>)", part_name, content_type);
}

// The extension of the last path component, lower-cased. "." and ".." name folders, and a
// leading dot alone marks a hidden file, not an extension.
Result<std::string> lower_case_extension(std::string_view path, std::string_view kind) {
    const auto slash = path.rfind('/');
    const auto name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name == ".." || !is_valid_utf8(name.substr(dot + 1)))
        return invalid_input(fmt::format("{} path has no extension: {}", kind, path));
    std::string extension(name.substr(dot + 1));
    for (auto& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return extension;
}

}  // namespace

Result<std::string> ensure_default_content_type(std::string_view content_types, std::string_view extension,
                                                std::string_view content_type) {
    return ensure_declaration(content_types, fmt::format(R"(Extension="{}")", extension),
                              fmt::format(R"(<Default Extension="{}" ContentType="{}"/>)", xml::xml_attr(extension),
                                          xml::xml_attr(content_type)));
}

Result<std::string> ensure_content_type_override(std::string_view content_types, std::string_view part_name,
                                                 std::string_view content_type) {
    return ensure_declaration(content_types, fmt::format(R"(PartName="{}")", part_name),
                              override_element(xml::xml_attr(part_name), xml::xml_attr(content_type)));
}

Result<std::string> append_content_type_override(std::string_view content_types, std::string_view part_name,
                                                 std::string_view content_type) {
    return xml::insert_before(content_types, kTypesEnd, override_element(part_name, content_type));
}

std::optional<std::string> find_content_type_override(std::string_view content_types, std::string_view part_name) {
    const std::string wanted = part_name.starts_with('/') ? std::string(part_name) : fmt::format("/{}", part_name);
    xml::Reader reader(content_types);
    for (;;) {
        const auto event = reader.next();
        if (!event || event->kind == xml::EventKind::Eof) return std::nullopt;
        if (!event->is_start_like() || event->local_name() != "Override") continue;
        std::optional<std::string_view> name, type;
        for (const auto& attribute : event->attributes()) {
            if (!name && attribute.local_name() == "PartName") name = attribute.raw_value;
            else if (!type && attribute.local_name() == "ContentType") type = attribute.raw_value;
        }
        if (!name) continue;
        // Part names in practice hold no references; unescaping makes the rare one match.
        const auto unescaped_name = xml::unescape_attribute_value(*name);
        if (!unescaped_name || *unescaped_name != wanted) continue;
        if (!type) return std::string();
        auto unescaped_type = xml::unescape_attribute_value(*type);
        return unescaped_type ? std::move(*unescaped_type) : std::string(*type);
    }
}

Result<std::string> image_extension(std::string_view path) {
    VARNEX_TRY_ASSIGN(auto extension, lower_case_extension(path, "image"));
    if (extension == "jpe" || extension == "jpeg" || extension == "jfif") return std::string("jpg");
    if (extension == "tif") return std::string("tiff");
    return extension;
}

Result<std::string> media_extension(std::string_view path, std::string_view kind) {
    return lower_case_extension(path, kind);
}

Result<std::string> image_content_type(std::string_view extension) {
    struct ImageType {
        std::string_view extension;
        std::string_view content_type;
    };
    static constexpr ImageType kImageTypes[] = {
        {"png", "image/png"},  {"jpg", "image/jpeg"}, {"jpeg", "image/jpeg"}, {"gif", "image/gif"},
        {"bmp", "image/bmp"},  {"tif", "image/tiff"}, {"tiff", "image/tiff"},
    };
    for (const auto& type : kImageTypes)
        if (type.extension == extension) return std::string(type.content_type);
    return invalid_input(fmt::format("unsupported image extension: {}", extension));
}

}  // namespace varnex
