// A test-only module that runs the call frame on every conversion kind and failure path, so
// they are tested before any exported function uses them.
#include <stdexcept>

#include "call_frame.hpp"
#include "package_io.hpp"
#include "xml_events.hpp"

namespace varnex::py {

namespace {

// Echoes every converted value back as JSON.
struct ProbeRecord {
    std::string text;
    std::optional<std::string> maybe_text;
    std::uint64_t index = 0;
    std::int64_t signed_emu = 0;
    std::optional<std::uint64_t> maybe_unsigned;
    std::vector<std::uint64_t> indices;
    std::vector<std::string> texts;
    std::optional<std::vector<std::string>> maybe_texts;
    std::vector<std::uint64_t> data;

    template <class F>
    void fields(F&& f) const {
        f("text", text);
        f("maybe_text", maybe_text);
        f("index", index);
        f("signed_emu", signed_emu);
        f("maybe_unsigned", maybe_unsigned);
        f("indices", indices);
        f("texts", texts);
        f("maybe_texts", maybe_texts);
        f("data", data);
    }
};

Result<ProbeRecord> probe_kinds(std::string_view text, std::optional<std::string_view> maybe_text, std::uint64_t index,
                                std::int64_t signed_emu, std::optional<std::uint64_t> maybe_unsigned,
                                std::vector<std::uint64_t> indices, std::vector<std::string> texts,
                                std::optional<std::vector<std::string>> maybe_texts, ByteView data) {
    ProbeRecord record;
    record.text = text;
    if (maybe_text) record.maybe_text = std::string(*maybe_text);
    record.index = index;
    record.signed_emu = signed_emu;
    record.maybe_unsigned = maybe_unsigned;
    record.indices = std::move(indices);
    record.texts = std::move(texts);
    record.maybe_texts = std::move(maybe_texts);
    record.data.assign(data.begin(), data.end());
    return record;
}

struct DefaultRecord {
    std::vector<std::string> target_slide_parts;
    std::optional<std::vector<std::string>> ordered_survivor_parts;

    template <class F>
    void fields(F&& f) const {
        f("target_slide_parts", target_slide_parts);
        f("ordered_survivor_parts", ordered_survivor_parts);
    }
};

// The shape of the one function with a defaulted parameter.
Result<DefaultRecord> probe_default(std::string_view, std::string_view, std::vector<std::string> targets,
                                    std::optional<std::vector<std::string>> survivors) {
    return DefaultRecord{std::move(targets), std::move(survivors)};
}

Result<ProbeRecord> probe_error(std::uint64_t kind) {
    if (kind > static_cast<std::uint64_t>(ErrorKind::InvalidInput)) throw std::out_of_range("no such error kind");
    return make_error(static_cast<ErrorKind>(kind), "probe message");
}

Result<ProbeRecord> probe_internal_failure() { throw std::logic_error("broken invariant"); }

struct PathRecord {
    PathText path;
    template <class F>
    void fields(F&& f) const {
        f("path", path);
    }
};

Result<PathRecord> probe_path(ByteView bytes) {
    return PathRecord{PathText{std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size())}};
}

Result<ProbeRecord> probe_empty_record() { return ProbeRecord{}; }

struct WriteFactsRecord {
    std::uint64_t part_count = 0;
    bool has_vba = false;
    template <class F>
    void fields(F&& f) const {
        f("part_count", part_count);
        f("has_vba", has_vba);
    }
};

// Runs the entry loop directly, so tests can check raw copy before any editing function uses it.
Result<WriteFactsRecord> probe_write_package(const std::string& input, const std::string& output,
                                             std::vector<std::string> replaced_names,
                                             std::vector<std::string> replaced_texts, std::vector<std::string> removed,
                                             std::vector<std::string> added_names,
                                             std::vector<std::string> added_texts) {
    PackageEdits edits;
    for (std::size_t i = 0; i < replaced_names.size() && i < replaced_texts.size(); ++i)
        edits.replaced[replaced_names[i]] = replaced_texts[i];
    edits.removed.insert(removed.begin(), removed.end());
    for (std::size_t i = 0; i < added_names.size() && i < added_texts.size(); ++i)
        edits.added.emplace_back(added_names[i], added_texts[i]);
    VARNEX_TRY_ASSIGN(auto package, open_package(input));
    VARNEX_TRY_ASSIGN(auto facts, write_package(package, output, edits));
    return WriteFactsRecord{facts.part_count, facts.has_vba};
}

struct XmlRoundTripRecord {
    std::uint64_t events = 0;
    std::uint64_t bytes = 0;
    bool identical = false;
    template <class F>
    void fields(F&& f) const {
        f("events", events);
        f("bytes", bytes);
        f("identical", identical);
    }
};

// Reads every event of the text and writes it back unchanged, for the reader's benchmark.
Result<XmlRoundTripRecord> probe_xml_roundtrip(ByteView data) {
    const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    xml::Reader reader(text);
    xml::Writer writer(text.size());
    XmlRoundTripRecord record;
    for (;;) {
        VARNEX_TRY_ASSIGN(const auto event, reader.next());
        if (event.kind == xml::EventKind::Eof) break;
        writer.write(event);
        ++record.events;
    }
    const std::string out = writer.take();
    record.bytes = out.size();
    record.identical = out == text;
    return record;
}

int execute(PyObject* module) {
    const bool ok =
        register_function<&probe_kinds>(module, "probe_kinds_json",
                                        {"text", "maybe_text", "index", "signed_emu", "maybe_unsigned", "indices",
                                         "texts", "maybe_texts", "data"}) &&
        register_function<&probe_default>(module, "probe_default_json",
                                          {"input", "output", "target_slide_parts",
                                           none_default("ordered_survivor_parts")}) &&
        register_function<&probe_error>(module, "probe_error_json", {"kind"}) &&
        register_function<&probe_internal_failure>(module, "probe_internal_failure_json") &&
        register_function<&probe_path>(module, "probe_path_json", {"path_bytes"}) &&
        register_function<&probe_empty_record>(module, "probe_empty_record_json") &&
        register_function<&probe_write_package>(module, "probe_write_package_json",
                                                {"input", "output", "replaced_names", "replaced_texts", "removed",
                                                 "added_names", "added_texts"}) &&
        register_function<&probe_xml_roundtrip>(module, "probe_xml_roundtrip_json", {"data"});
    return ok ? 0 : -1;
}

PyModuleDef_Slot slots[] = {{Py_mod_exec, reinterpret_cast<void*>(&execute)}, {0, nullptr}};
PyModuleDef definition = {PyModuleDef_HEAD_INIT, "varnex_frame_probe", "", 0, nullptr, slots, nullptr, nullptr, nullptr};

}  // namespace

}  // namespace varnex::py

PyMODINIT_FUNC PyInit_varnex_frame_probe() { return PyModuleDef_Init(&varnex::py::definition); }
