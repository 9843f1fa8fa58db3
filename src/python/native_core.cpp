// Group 1: build facts, package inspection and round trip, slide structure, text and tables.
#include "call_frame.hpp"
#include "package_io.hpp"
#include "registration.hpp"
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

}  // namespace

bool register_native_core(PyObject* module) {
    return register_function<&build_info>(module, "build_info_json") &&
           register_function<&inspect_package>(module, "inspect_package_json", {"path"}) &&
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
