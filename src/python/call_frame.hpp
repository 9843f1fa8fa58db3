// The call frame shared by every exported function.
//
// A function is declared once, as data: its Python name, its parameter names and the core
// function it calls. The parameter kinds follow from the core function's C++ parameter types,
// so binding, conversion, the "while processing" notes, the text signature, the result
// conversion and the error mapping are all derived here and never written per function.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "error.hpp"
#include "json_text.hpp"

namespace varnex::py {

// A result that is already JSON text (build facts).
struct JsonText {
    std::string text;
};

// A result returned to Python as `bytes`.
struct ByteResult {
    std::vector<std::uint8_t> bytes;
};

// A borrowed `bytes` argument.
using ByteView = std::span<const std::uint8_t>;

struct Param {
    const char* name;
    bool defaults_to_none = false;
    constexpr Param(const char* parameter_name) : name(parameter_name) {}  // NOLINT: implicit on purpose
    constexpr Param(const char* parameter_name, bool none_default)
        : name(parameter_name), defaults_to_none(none_default) {}
};
// A parameter that may be omitted and then reads as None.
constexpr Param none_default(const char* name) { return Param(name, true); }

// Everything the frame knows about one function besides its core call.
struct FunctionSpec {
    std::string name;
    std::vector<Param> params;
    std::string doc;  // the text signature, kept alive for the method definition
    PyMethodDef method{};
};

using FastCall = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

// Binds positional and keyword arguments to parameters the way CPython does, raising the
// frame's TypeError messages. Unbound optional parameters stay nullptr. False on error.
bool bind_arguments(const FunctionSpec& spec, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    PyObject** bound);

// Adds "while processing '{name}'" to the pending exception.
void add_processing_note(const char* parameter_name);

// Raises the internal-failure exception (a BaseException subclass) with `message`.
void raise_internal_failure(const char* message);
// Raises the error's display line as RuntimeError.
void raise_core_error(const VarnexError& error);

// Adds a function object bound to `module` and appends its name to `__all__`.
bool add_function(PyObject* module, FunctionSpec& spec, FastCall call);

// ---- argument conversion, one overload set per conversion kind ----

bool convert(PyObject* object, std::string_view& out);
bool convert(PyObject* object, std::string& out);
bool convert(PyObject* object, std::uint64_t& out);
bool convert(PyObject* object, std::int64_t& out);
bool convert(PyObject* object, ByteView& out);
bool convert(PyObject* object, std::vector<std::uint64_t>& out);
bool convert(PyObject* object, std::vector<std::string>& out);

template <class T>
bool convert(PyObject* object, std::optional<T>& out) {
    if (object == nullptr || object == Py_None) {
        out.reset();
        return true;
    }
    T value{};
    if (!convert(object, value)) return false;
    out = std::move(value);
    return true;
}

// ---- result conversion ----

PyObject* to_python(const JsonText& result);
PyObject* to_python(const ByteResult& result);

// A JSON writer whose text is written straight into the str that is returned, grown in place,
// so a long result is neither copied nor held twice (text outside ASCII is decoded once at
// the end). Movable: the str lives apart from the writer.
class StrWriter {
public:
    StrWriter();
    StrWriter(StrWriter&&) noexcept;
    ~StrWriter();
    json::Writer& writer() { return writer_; }
    // The text as a new str (nullptr with an exception set on failure); call once.
    PyObject* finish();

private:
    class Storage;
    std::unique_ptr<Storage> storage_;
    json::Writer writer_;
};

template <class Record>
PyObject* to_python(const Record& record) {
    StrWriter out;
    const auto status = json::write_value(out.writer(), record);
    if (!status) {
        PyErr_SetString(PyExc_RuntimeError, status.error().c_str());
        return nullptr;
    }
    return out.finish();
}

template <class T>
PyObject* to_python(Result<T>&& result) {
    if (!result) {
        raise_core_error(result.error());
        return nullptr;
    }
    return to_python(std::move(*result));
}

// ---- the binding of one core function ----

template <class F>
struct function_traits;
template <class R, class... Args>
struct function_traits<R (*)(Args...)> {
    using arguments = std::tuple<std::remove_cvref_t<Args>...>;
    static constexpr std::size_t arity = sizeof...(Args);
};

template <auto CoreFunction>
struct Binding {
    using Traits = function_traits<decltype(CoreFunction)>;
    static constexpr std::size_t arity = Traits::arity;
    static inline FunctionSpec spec;

    static PyObject* call(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
        try {
            PyObject* bound[arity > 0 ? arity : 1] = {};
            if (!bind_arguments(spec, args, nargs, kwnames, bound)) return nullptr;
            typename Traits::arguments values;
            if (!convert_all(bound, values, std::make_index_sequence<arity>{})) return nullptr;
            return to_python(std::apply(CoreFunction, values));
        } catch (const std::exception& failure) {
            raise_internal_failure(failure.what());
        } catch (...) {
            raise_internal_failure("unknown internal failure");
        }
        return nullptr;
    }

    template <std::size_t... I>
    static bool convert_all(PyObject** bound, typename Traits::arguments& values, std::index_sequence<I...>) {
        return (convert_one(bound[I], std::get<I>(values), spec.params[I].name) && ...);
    }

    template <class T>
    static bool convert_one(PyObject* object, T& value, const char* name) {
        if (convert(object, value)) return true;
        add_processing_note(name);
        return false;
    }
};

std::string text_signature(const std::string& name, const std::vector<Param>& params);

// Declares one exported function: `register_function<&core_call>(module, "name", {"a", "b"})`.
template <auto CoreFunction, std::size_t N>
bool register_function(PyObject* module, const char* name, const Param (&params)[N]) {
    using B = Binding<CoreFunction>;
    static_assert(N == B::arity, "every parameter of the core call needs a name");
    B::spec.name = name;
    B::spec.params.assign(params, params + N);
    B::spec.doc = text_signature(B::spec.name, B::spec.params);
    return add_function(module, B::spec, &B::call);
}

template <auto CoreFunction>
bool register_function(PyObject* module, const char* name) {
    using B = Binding<CoreFunction>;
    static_assert(B::arity == 0, "parameters need names");
    B::spec.name = name;
    B::spec.params.clear();
    B::spec.doc = text_signature(B::spec.name, B::spec.params);
    return add_function(module, B::spec, &B::call);
}

}  // namespace varnex::py
