// Group 1: build facts, package inspection and round trip, slide structure, text and tables.
#include "call_frame.hpp"
#include "package_io.hpp"
#include "registration.hpp"
#include "summary_package_extract.hpp"
#include "table_rewrite.hpp"
#include "text_rewrite.hpp"

namespace varnex::py {

namespace {

// Fixed facts of this build; the only result written from a key-sorted map.
JsonText build_info() {
    json::Writer writer;
    writer.begin_object();
    writer.key("build_profile");
    writer.string_value("release");
    writer.key("debug_assertions");
    writer.bool_value(false);
    writer.key("package");
    writer.string_value("varnex-py");
    writer.key("version");
    writer.string_value("0.1.4");
    writer.end_object();
    return JsonText{writer.take()};
}

// A result serialised while it was built; `status` holds the serialiser's message on failure.
struct StreamedJson {
    json::WriteStatus status;
    StrWriter out;
};

PyObject* to_python(StreamedJson&& result) {
    if (!result.status) {
        PyErr_SetString(PyExc_RuntimeError, result.status.error().c_str());
        return nullptr;
    }
    return result.out.finish();
}

// The JSON text of summarize_presentation, written slide by slide as the slides are read, so
// that the call holds one slide's records at a time besides the text. Members and formatting
// are those of the PresentationSummary record.
Result<StreamedJson> summarize_presentation_text(const std::string& path) {
    StreamedJson result;
    json::Writer& writer = result.out.writer();
    bool has_vba = false;
    VARNEX_TRY(visit_presentation_summary(
        path,
        [&](const PresentationFacts& facts) {
            has_vba = facts.has_vba;
            writer.begin_object();
            writer.key("path");
            result.status = json::write_value(writer, PathText{path});
            writer.key("slide_count");
            writer.uint_value(facts.slide_count);
            writer.key("slides");
            writer.begin_array();
        },
        [&](SlideSummary&& slide) { (void)json::write_value(writer, slide); }));
    writer.end_array();
    writer.key("has_vba");
    writer.bool_value(has_vba);
    writer.end_object();
    return result;
}

}  // namespace

bool register_native_core(PyObject* module) {
    return register_function<&build_info>(module, "build_info_json") &&
           register_function<&inspect_package>(module, "inspect_package_json", {"path"}) &&
           register_function<&summarize_presentation_text>(module, "summarize_presentation_json", {"path"}) &&
           register_function<&summarize_slide_at_index>(module, "summarize_slide_at_index_json",
                                                        {"path", "slide_index"}) &&
           register_function<&roundtrip_package>(module, "roundtrip_package_json", {"input", "output"}) &&
           register_function<&replace_slide_text>(module, "replace_slide_text_json",
                                                  {"input", "output", "search", "replacement"}) &&
           register_function<&replace_slide_text_at_index>(module, "replace_slide_text_at_index_json",
                                                           {"input", "output", "slide_index", "search", "replacement"}) &&
           register_function<&replace_slide_text_run_at_index>(
               module, "replace_slide_text_run_at_index_json",
               {"input", "output", "slide_index", "run_index", "replacement"}) &&
           register_function<&set_slide_shape_text_at_index>(
               module, "set_slide_shape_text_at_index_json",
               {"input", "output", "slide_index", "shape_index", "replacement"}) &&
           register_function<&set_slide_shape_paragraph_text_at_index>(
               module, "set_slide_shape_paragraph_text_at_index_json",
               {"input", "output", "slide_index", "shape_index", "paragraph_index", "replacement"}) &&
           register_function<&replace_table_cell_text>(
               module, "replace_table_cell_text_json",
               {"input", "output", "slide_index", "table_index", "row_index", "col_index", "replacement"});
}

}  // namespace varnex::py
