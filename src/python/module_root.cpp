// The module root: initialisation, the execution step, and group 5 (group-targeted shapes and
// the edit batch), registered after the four other units.
#include <exception>

#include "call_frame.hpp"
#include "registration.hpp"

namespace varnex::py {

namespace {

bool register_module_root(PyObject*) { return true; }

bool register_all(PyObject* module) {
    return register_native_core(module) && register_native_media(module) && register_native_shapes(module) &&
           register_native_text_boxes(module) && register_module_root(module);
}

int execute_module(PyObject* module) {
    try {
        if (!PyModule_Check(module)) {
            PyErr_SetString(PyExc_TypeError, "varnex_native must be executed on a module object");
            return -1;
        }
        return register_all(module) ? 0 : -1;
    } catch (const std::exception& failure) {
        raise_internal_failure(failure.what());
    } catch (...) {
        raise_internal_failure("unknown internal failure during module execution");
    }
    return -1;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&execute_module)},
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "varnex_native",
    "",
    0,
    nullptr,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

}  // namespace varnex::py

PyMODINIT_FUNC PyInit_varnex_native() { return PyModuleDef_Init(&varnex::py::module_definition); }
