// Group 2: pictures, movies and OLE objects; they join here as they are built.
#include "registration.hpp"

namespace varnex::py {

bool register_native_media(PyObject*) { return true; }

}  // namespace varnex::py
