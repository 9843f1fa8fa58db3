#include "call_frame.hpp"

#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

#include <fmt/format.h>

namespace varnex::py {

namespace {

std::string call_name(const FunctionSpec& spec) { return spec.name + "()"; }

std::size_t required_count(const FunctionSpec& spec) {
    std::size_t count = 0;
    for (const auto& param : spec.params)
        if (!param.defaults_to_none) ++count;
    return count;
}

void raise_too_many_positional(const FunctionSpec& spec, Py_ssize_t given) {
    const std::size_t most = spec.params.size();
    const std::size_t least = required_count(spec);
    const char* verb = given == 1 ? "was" : "were";
    const std::string message =
        least == most ? fmt::format("{} takes {} positional arguments but {} {} given", call_name(spec), most, given, verb)
                      : fmt::format("{} takes from {} to {} positional arguments but {} {} given", call_name(spec), least,
                                    most, given, verb);
    PyErr_SetString(PyExc_TypeError, message.c_str());
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'
std::string join_quoted_names(const std::vector<const char*>& names) {
    std::string joined;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            if (names.size() == 2) {
                joined += " and ";
            } else {
                joined += i + 1 == names.size() ? ", and " : ", ";
            }
        }
        joined += fmt::format("'{}'", names[i]);
    }
    return joined;
}

void raise_missing(const FunctionSpec& spec, const std::vector<const char*>& missing) {
    const std::string message = fmt::format("{} missing {} required positional {}: {}", call_name(spec), missing.size(),
                                            missing.size() == 1 ? "argument" : "arguments", join_quoted_names(missing));
    PyErr_SetString(PyExc_TypeError, message.c_str());
}

std::optional<std::size_t> parameter_index(const FunctionSpec& spec, PyObject* keyword) {
    for (std::size_t i = 0; i < spec.params.size(); ++i)
        if (PyUnicode_CompareWithASCIIString(keyword, spec.params[i].name) == 0) return i;
    return std::nullopt;
}

std::string type_name_of(PyObject* object) {
    PyObject* name = PyType_GetName(Py_TYPE(object));
    if (name == nullptr) {
        PyErr_Clear();
        return Py_TYPE(object)->tp_name;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(name, &size);
    std::string result = utf8 ? std::string(utf8, static_cast<std::size_t>(size)) : Py_TYPE(object)->tp_name;
    if (!utf8) PyErr_Clear();
    Py_DECREF(name);
    return result;
}

bool raise_not_instance(PyObject* object, const char* expected) {
    const std::string message = object == Py_None
                                    ? fmt::format("'None' is not an instance of '{}'", expected)
                                    : fmt::format("'{}' object is not an instance of '{}'", type_name_of(object), expected);
    PyErr_SetString(PyExc_TypeError, message.c_str());
    return false;
}

// Converts every element of a sequence argument (anything but `str`) with `convert`.
template <class T>
bool convert_sequence(PyObject* object, std::vector<T>& out) {
    if (PyUnicode_Check(object)) {
        PyErr_SetString(PyExc_TypeError, "a single string cannot be read as a list; pass a list or tuple of items");
        return false;
    }
    if (!PySequence_Check(object)) return raise_not_instance(object, "Sequence");
    const Py_ssize_t size = PySequence_Size(object);
    if (size < 0) return false;
    out.clear();
    out.reserve(static_cast<std::size_t>(size));
    for (Py_ssize_t i = 0; i < size; ++i) {
        PyObject* item = PySequence_GetItem(object, i);
        if (item == nullptr) return false;
        T value{};
        const bool ok = convert(item, value);
        Py_DECREF(item);
        if (!ok) return false;
        out.push_back(std::move(value));
    }
    return true;
}

PyObject* internal_failure_type() {
    static PyObject* type = nullptr;
    if (type == nullptr) {
        type = PyErr_NewExceptionWithDoc("varnex_native.InternalFailure",
                                         "A violated internal invariant of varnex_native; never an input error.",
                                         PyExc_BaseException, nullptr);
    }
    return type;
}

}  // namespace

bool bind_arguments(const FunctionSpec& spec, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    PyObject** bound) {
    const std::size_t count = spec.params.size();
    if (static_cast<std::size_t>(nargs) > count) {
        raise_too_many_positional(spec, nargs);
        return false;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) bound[i] = args[i];
    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
        const auto index = parameter_index(spec, keyword);
        if (!index) {
            PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", call_name(spec).c_str(), keyword);
            return false;
        }
        if (bound[*index] != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", call_name(spec).c_str(),
                         spec.params[*index].name);
            return false;
        }
        bound[*index] = args[nargs + k];
    }
    std::vector<const char*> missing;
    for (std::size_t i = 0; i < count; ++i)
        if (bound[i] == nullptr && !spec.params[i].defaults_to_none) missing.push_back(spec.params[i].name);
    if (!missing.empty()) {
        raise_missing(spec, missing);
        return false;
    }
    return true;
}

void add_processing_note(const char* parameter_name) {
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value != nullptr) {
        PyObject* result = PyObject_CallMethod(value, "add_note", "s", fmt::format("while processing '{}'", parameter_name).c_str());
        if (result == nullptr) {
            PyErr_Clear();  // keep the original error rather than a failure to annotate it
        } else {
            Py_DECREF(result);
        }
        if (traceback != nullptr) PyException_SetTraceback(value, traceback);
    }
    PyErr_Restore(type, value, traceback);
}

void raise_internal_failure(const char* message) {
    PyObject* type = internal_failure_type();
    if (type == nullptr) return;  // creating the class failed; that error is pending
    PyErr_SetString(type, message);
}

void raise_core_error(const VarnexError& error) {
    const std::string line = error.display();
    PyObject* text = PyUnicode_DecodeUTF8(line.data(), static_cast<Py_ssize_t>(line.size()), "replace");
    if (text == nullptr) return;
    PyErr_SetObject(PyExc_RuntimeError, text);
    Py_DECREF(text);
}

std::string text_signature(const std::string& name, const std::vector<Param>& params) {
    std::string signature = name + "(";
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (i > 0) signature += ", ";
        signature += params[i].name;
        if (params[i].defaults_to_none) signature += "=None";
    }
    return signature + ")\n--\n\n";
}

bool add_function(PyObject* module, FunctionSpec& spec, FastCall call) {
    spec.method.ml_name = spec.name.c_str();
    spec.method.ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(call));
    spec.method.ml_flags = METH_FASTCALL | METH_KEYWORDS;
    spec.method.ml_doc = spec.doc.c_str();

    PyObject* module_name = PyModule_GetNameObject(module);
    if (module_name == nullptr) return false;
    PyObject* function = PyCFunction_NewEx(&spec.method, module, module_name);
    Py_DECREF(module_name);
    if (function == nullptr) return false;
    const int set = PyModule_AddObjectRef(module, spec.name.c_str(), function);
    Py_DECREF(function);
    if (set < 0) return false;

    PyObject* all = PyObject_GetAttrString(module, "__all__");
    if (all == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = PyList_New(0);
        if (all == nullptr || PyModule_AddObjectRef(module, "__all__", all) < 0) {
            Py_XDECREF(all);
            return false;
        }
    }
    PyObject* name = PyUnicode_FromString(spec.name.c_str());
    const int appended = name ? PyList_Append(all, name) : -1;
    Py_XDECREF(name);
    Py_DECREF(all);
    return appended == 0;
}

bool convert(PyObject* object, std::string_view& out) {
    if (!PyUnicode_Check(object)) return raise_not_instance(object, "str");
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
    if (utf8 == nullptr) return false;  // lone surrogates: the interpreter's UnicodeEncodeError
    out = std::string_view(utf8, static_cast<std::size_t>(size));
    return true;
}

bool convert(PyObject* object, std::string& out) {
    std::string_view view;
    if (!convert(object, view)) return false;
    out.assign(view);
    return true;
}

bool convert(PyObject* object, std::uint64_t& out) {
    PyObject* index = PyNumber_Index(object);
    if (index == nullptr) return false;
    const unsigned long long value = PyLong_AsUnsignedLongLong(index);
    Py_DECREF(index);
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    out = value;
    return true;
}

bool convert(PyObject* object, std::int64_t& out) {
    PyObject* index = PyNumber_Index(object);
    if (index == nullptr) return false;
    const long long value = PyLong_AsLongLong(index);
    Py_DECREF(index);
    if (value == -1 && PyErr_Occurred()) return false;
    out = value;
    return true;
}

bool convert(PyObject* object, ByteView& out) {
    if (!PyBytes_Check(object)) return raise_not_instance(object, "bytes");
    out = ByteView(reinterpret_cast<const std::uint8_t*>(PyBytes_AS_STRING(object)),
                   static_cast<std::size_t>(PyBytes_GET_SIZE(object)));
    return true;
}

bool convert(PyObject* object, std::vector<std::uint64_t>& out) { return convert_sequence(object, out); }
bool convert(PyObject* object, std::vector<std::string>& out) { return convert_sequence(object, out); }

PyObject* to_python(const JsonText& result) {
    return PyUnicode_FromStringAndSize(result.text.data(), static_cast<Py_ssize_t>(result.text.size()));
}

// Large results are written page after page: asking for the fresh pages in one call is far
// cheaper than taking a fault on each. Only whole pages inside the area are asked for; a kernel
// without the request leaves them to be faulted in as before.
void prefault(char* begin, std::size_t size) {
#if defined(MADV_POPULATE_WRITE)
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto first = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) / page * page;
    const auto last = (reinterpret_cast<std::uintptr_t>(begin) + size) / page * page;
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
    (void)begin;
    (void)size;
#endif
}

// The str the text is written into, as bytes of a compact ASCII str that only this code sees
// until its length is settled. Resizing a new str reallocates it in place.
class StrWriter::Storage final : public json::Storage {
public:
    ~Storage() override { Py_XDECREF(str_); }

    Area grow(std::size_t, std::size_t size) override {
        if (size > allocated_) {
            const std::size_t length = std::max({size, allocated_ * 2, std::size_t{4096}});
            if (str_ == nullptr) {
                str_ = PyUnicode_New(static_cast<Py_ssize_t>(length), 127);
                if (str_ == nullptr) throw std::bad_alloc();
            } else if (PyUnicode_Resize(&str_, static_cast<Py_ssize_t>(length)) < 0) {
                throw std::bad_alloc();
            }
            allocated_ = length;
        }
        // A large str is handed out a step at a time, each step's pages asked for in one call,
        // so that no more than a step is touched beyond the text.
        char* data = static_cast<char*>(PyUnicode_DATA(str_));
        const std::size_t handed = std::min(allocated_, std::max(size, handed_ + kStep));
        if (allocated_ >= kLarge) prefault(data + handed_, handed - handed_);
        handed_ = handed;
        return {data, handed};
    }

    PyObject* finish(std::string_view text, bool ascii) {
        if (str_ == nullptr) return PyUnicode_New(0, 127);
        if (!ascii) {
            PyObject* decoded = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict");
            Py_CLEAR(str_);
            return decoded;
        }
        if (PyUnicode_Resize(&str_, static_cast<Py_ssize_t>(text.size())) < 0) return nullptr;
        return std::exchange(str_, nullptr);
    }

private:
    static constexpr std::size_t kStep = std::size_t{256} << 10;
    static constexpr std::size_t kLarge = std::size_t{1} << 20;

    PyObject* str_ = nullptr;
    std::size_t allocated_ = 0;  // the str's length
    std::size_t handed_ = 0;     // how much of it the writer may use
};

StrWriter::StrWriter() : storage_(std::make_unique<Storage>()), writer_(*storage_) {}
StrWriter::StrWriter(StrWriter&&) noexcept = default;
StrWriter::~StrWriter() = default;

PyObject* StrWriter::finish() { return storage_->finish(writer_.text(), writer_.is_ascii()); }

PyObject* to_python(const ByteResult& result) {
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(result.bytes.data()),
                                     static_cast<Py_ssize_t>(result.bytes.size()));
}

}  // namespace varnex::py
