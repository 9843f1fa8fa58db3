// Summary and input records. Every record lists its fields, in serialisation order, through
// `fields(visitor)`; the JSON writer walks that list, so the order is declared exactly once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnex {

// A path given by the caller and echoed back verbatim; serialising one that is not valid
// UTF-8 is an error rather than a lossy rewrite.
struct PathText {
    std::string value;
};

enum class PartKind { Xml, Relationships, Media, Embedding, Vba, Binary };

inline const char* json_name(PartKind kind) {
    switch (kind) {
        case PartKind::Xml: return "xml";
        case PartKind::Relationships: return "relationships";
        case PartKind::Media: return "media";
        case PartKind::Embedding: return "embedding";
        case PartKind::Vba: return "vba";
        case PartKind::Binary: return "binary";
    }
    return "binary";
}

struct PartRecord {
    std::string name;
    std::uint64_t size = 0;
    std::string sha256;
    PartKind kind = PartKind::Binary;

    template <class F>
    void fields(F&& f) const {
        f("name", name);
        f("size", size);
        f("sha256", sha256);
        f("kind", kind);
    }
};

struct PackageManifest {
    PathText path;
    std::vector<PartRecord> parts;

    bool has_vba() const {
        for (const auto& part : parts)
            if (part.kind == PartKind::Vba) return true;
        return false;
    }

    template <class F>
    void fields(F&& f) const {
        f("path", path);
        f("parts", parts);
    }
};

// One relationship of a relationships part; attribute values unescaped.
struct RelationshipSummary {
    std::string id;
    std::string relationship_type;
    std::string target;                      // as written: relative to the source's folder, or absolute
    std::optional<std::string> target_mode;  // absent when the part gives no TargetMode

    bool operator==(const RelationshipSummary&) const = default;

    template <class F>
    void fields(F&& f) const {
        f("id", id);
        f("relationship_type", relationship_type);
        f("target", target);
        f("target_mode", target_mode);
    }
};

}  // namespace varnex
