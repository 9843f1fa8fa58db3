// Placeholder until the call frame lands.
#include <Python.h>
static PyModuleDef_Slot slots[] = {{0, nullptr}};
static PyModuleDef def = {PyModuleDef_HEAD_INIT, "varnex_native", "", 0, nullptr, slots, nullptr, nullptr, nullptr};
PyMODINIT_FUNC PyInit_varnex_native() { return PyModuleDef_Init(&def); }
