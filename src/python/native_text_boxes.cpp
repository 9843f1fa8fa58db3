// Group 4: text boxes; they join here as they are built.
#include "registration.hpp"

namespace varnex::py {

bool register_native_text_boxes(PyObject*) { return true; }

}  // namespace varnex::py
