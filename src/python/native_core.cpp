// Group 1: build facts, package inspection and round trip, slide structure, text and tables.
#include "call_frame.hpp"
#include "package_io.hpp"
#include "registration.hpp"
#include "summary_package_extract.hpp"

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
           register_function<&summarize_presentation>(module, "summarize_presentation_json", {"path"}) &&
           register_function<&summarize_slide_at_index>(module, "summarize_slide_at_index_json",
                                                        {"path", "slide_index"}) &&
           register_function<&roundtrip_package>(module, "roundtrip_package_json", {"input", "output"});
}

}  // namespace varnex::py
