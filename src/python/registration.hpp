// The registration steps of the module's five units, called in this order by the module root.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace varnex::py {

bool register_native_core(PyObject* module);
bool register_native_media(PyObject* module);
bool register_native_shapes(PyObject* module);
bool register_native_text_boxes(PyObject* module);

}  // namespace varnex::py
