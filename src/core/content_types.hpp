// Declarations in [Content_Types].xml, edited as text, and the extensions and content types of
// media files.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "error.hpp"

namespace varnex {

// Adds <Default Extension ContentType/> unless `Extension="{extension}"` already occurs
// (case-sensitive); values are escaped. Invalid input when "</Types>" is missing.
Result<std::string> ensure_default_content_type(std::string_view content_types, std::string_view extension,
                                                std::string_view content_type);
// Adds <Override PartName ContentType/> unless `PartName="{part_name}"` already occurs; the
// caller passes the name with its leading slash. Invalid input when "</Types>" is missing.
Result<std::string> ensure_content_type_override(std::string_view content_types, std::string_view part_name,
                                                 std::string_view content_type);
// Adds an Override without looking for an existing one; values are written as given. Xml text
// decode error when "</Types>" is missing.
Result<std::string> append_content_type_override(std::string_view content_types, std::string_view part_name,
                                                 std::string_view content_type);
// The ContentType of the first Override for `part_name` (with or without its leading slash);
// absent when there is none or the document is malformed.
std::optional<std::string> find_content_type_override(std::string_view content_types, std::string_view part_name);

// The lower-cased extension of an image file path, with jpe/jpeg/jfif as jpg and tif as tiff.
// Invalid input "image path has no extension: {path}" when there is none.
Result<std::string> image_extension(std::string_view path);
// The lower-cased extension of a media file path; `kind` names the file in the error message.
Result<std::string> media_extension(std::string_view path, std::string_view kind);
// The content type of an image extension; invalid input "unsupported image extension: {}".
Result<std::string> image_content_type(std::string_view extension);

}  // namespace varnex
