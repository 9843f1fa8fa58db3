"""The call frame as every exported function sees it, exercised through a probe module that
declares one function per conversion kind and failure path."""

import inspect
import json

import pytest
import varnex_frame_probe as probe

import varnex_native

GOOD = dict(text="t", maybe_text="m", index=3, signed_emu=-7, maybe_unsigned=9,
            indices=[1, 2], texts=("a", "b"), maybe_texts=["x"], data=b"\x00\xff")


class Indexable:
    def __index__(self):
        return 42


def kinds(**overrides):
    return json.loads(probe.probe_kinds_json(**{**GOOD, **overrides}))


def test_every_kind_converts_its_accepted_forms():
    assert kinds() == {"text": "t", "maybe_text": "m", "index": 3, "signed_emu": -7,
                       "maybe_unsigned": 9, "indices": [1, 2], "texts": ["a", "b"],
                       "maybe_texts": ["x"], "data": [0, 255]}
    got = kinds(text="é\n", maybe_text=None, index=True, signed_emu=Indexable(),
                maybe_unsigned=None, indices=range(3), texts=[], maybe_texts=None,
                data=b"", )
    assert got == {"text": "é\n", "maybe_text": None, "index": 1, "signed_emu": 42,
                   "maybe_unsigned": None, "indices": [0, 1, 2], "texts": [],
                   "maybe_texts": None, "data": []}
    assert kinds(index=2**64 - 1, signed_emu=-2**63)["index"] == 2**64 - 1


class StrSub(str):
    pass


def test_str_subclass_is_text():
    assert kinds(text=StrSub("sub"))["text"] == "sub"


@pytest.mark.parametrize("param, value, exc, message", [
    ("text", 123, TypeError, "'int' object is not an instance of 'str'"),
    ("text", None, TypeError, "'None' is not an instance of 'str'"),
    ("maybe_text", b"x", TypeError, "'bytes' object is not an instance of 'str'"),
    ("text", "\ud800", UnicodeEncodeError, None),
    ("index", 1.0, TypeError, None),
    ("index", -1, OverflowError, None),
    ("index", 2**64, OverflowError, None),
    ("maybe_unsigned", -1, OverflowError, None),
    ("signed_emu", 2**63, OverflowError, None),
    ("signed_emu", "1", TypeError, None),
    ("indices", "12", TypeError, "a single string cannot be read as a list; pass a list or tuple of items"),
    ("indices", {1, 2}, TypeError, "'set' object is not an instance of 'Sequence'"),
    ("indices", 5, TypeError, "'int' object is not an instance of 'Sequence'"),
    ("indices", [1, -1], OverflowError, None),
    ("texts", ["a", 1], TypeError, "'int' object is not an instance of 'str'"),
    ("maybe_texts", "ab", TypeError, "a single string cannot be read as a list; pass a list or tuple of items"),
    ("data", bytearray(b"x"), TypeError, "'bytearray' object is not an instance of 'bytes'"),
    ("data", None, TypeError, "'None' is not an instance of 'bytes'"),
])
def test_conversion_failures_keep_their_type_and_name_the_parameter(param, value, exc, message):
    with pytest.raises(exc) as info:
        probe.probe_kinds_json(**{**GOOD, param: value})
    assert type(info.value) is exc
    if message is not None:
        assert str(info.value) == message
    assert info.value.__notes__ == [f"while processing '{param}'"]
    assert info.value.__cause__ is None and info.value.__context__ is None


def test_first_failing_conversion_ends_the_call():
    with pytest.raises(TypeError) as info:
        probe.probe_kinds_json(1, None, -1, 0, None, [], [], None, b"")
    assert info.value.__notes__ == ["while processing 'text'"]


@pytest.mark.parametrize("call, message", [
    (lambda: probe.probe_error_json(), "probe_error_json() missing 1 required positional argument: 'kind'"),
    (lambda: probe.probe_error_json(1, 2), "probe_error_json() takes 1 positional arguments but 2 were given"),
    (lambda: probe.probe_internal_failure_json(1), "probe_internal_failure_json() takes 0 positional arguments but 1 was given"),
    (lambda: probe.probe_error_json(kind=1, other=2), "probe_error_json() got an unexpected keyword argument 'other'"),
    (lambda: probe.probe_error_json(1, kind=2), "probe_error_json() got multiple values for argument 'kind'"),
    (lambda: probe.probe_default_json("i"), "probe_default_json() missing 2 required positional arguments: 'output' and 'target_slide_parts'"),
    (lambda: probe.probe_default_json(), "probe_default_json() missing 3 required positional arguments: 'input', 'output', and 'target_slide_parts'"),
    (lambda: probe.probe_default_json(1, 2, 3, 4, 5), "probe_default_json() takes from 3 to 4 positional arguments but 5 were given"),
    (lambda: probe.probe_default_json("i", target_slide_parts=[]), "probe_default_json() missing 1 required positional argument: 'output'"),
])
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_defaulted_parameter_reads_as_none_when_omitted():
    omitted = json.loads(probe.probe_default_json("i", "o", ("a", "b")))
    assert omitted == {"target_slide_parts": ["a", "b"], "ordered_survivor_parts": None}
    assert json.loads(probe.probe_default_json("i", "o", [], ordered_survivor_parts=None)) == {
        "target_slide_parts": [], "ordered_survivor_parts": None}
    assert json.loads(probe.probe_default_json(output="o", input="i", target_slide_parts=[],
                                               ordered_survivor_parts=["z"]))["ordered_survivor_parts"] == ["z"]


@pytest.mark.parametrize("kind, prefix", enumerate(
    ["io error: ", "zip error: ", "xml error: ", "xml text decode error: ", "invalid input: "]))
def test_core_errors_are_runtime_errors_with_their_display_line(kind, prefix):
    with pytest.raises(RuntimeError) as info:
        probe.probe_error_json(kind)
    assert type(info.value) is RuntimeError
    assert str(info.value) == prefix + "probe message"


def test_internal_failure_escapes_except_exception():
    with pytest.raises(BaseException) as info:
        try:
            probe.probe_internal_failure_json()
        except Exception:  # must not catch it
            pytest.fail("internal failure was caught as Exception")
    assert type(info.value).__bases__ == (BaseException,)
    assert str(info.value) == "broken invariant"


def test_invalid_utf8_path_fails_serialisation_without_prefix():
    with pytest.raises(RuntimeError) as info:
        probe.probe_path_json(b"caf\xe9")
    assert str(info.value) == "path contains invalid UTF-8 characters"
    assert json.loads(probe.probe_path_json("café".encode())) == {"path": "café"}


def test_json_text_conventions():
    text = probe.probe_kinds_json(**{**GOOD, "text": 'q"\\\b\t\n\f\r\x01\x1f/\x7fé', "indices": []})
    assert text.startswith('{\n  "text": "q\\"\\\\\\b\\t\\n\\f\\r\\u0001\\u001f/\x7fé",\n')
    assert '  "indices": [],\n' in text
    assert '  "texts": [\n    "a",\n    "b"\n  ],\n' in text
    assert not text.endswith("\n") and text.endswith("\n}")


def test_build_info_is_six_exact_lines():
    assert varnex_native.build_info_json() == (
        '{\n  "build_profile": "release",\n  "debug_assertions": false,\n'
        '  "package": "varnex-py",\n  "version": "0.1.4"\n}')


# The full table of exported names in registration order; functions join it as they are built.
REGISTRATION_ORDER = [
    "build_info_json",
    "inspect_package_json",
    "summarize_presentation_json",
    "summarize_slide_at_index_json",
    "roundtrip_package_json",
    "add_blank_slide_json",
    "add_blank_slide_with_layout_json",
    "duplicate_slide_json",
    "delete_slide_json",
    "delete_slides_json",
    "replace_slide_text_json",
    "replace_slide_text_at_index_json",
    "replace_slide_text_run_at_index_json",
    "set_slide_shape_text_at_index_json",
    "set_slide_shape_paragraph_text_at_index_json",
    "replace_table_cell_text_json",
    "add_slide_table_json",
    "add_slide_table_with_cell_texts_json",
    "update_workbook_cells",
    "replace_slide_image_json",
    "replace_slide_image_at_index_json",
    "add_slide_image_json",
    "add_slide_group_image_json",
    "add_slide_nested_group_image_json",
    "add_slide_deeper_nested_group_image_json",
    "add_slide_nested_group_image_in_new_group_json",
    "add_slide_movie_json",
    "add_slide_ole_object_json",
    "add_slide_group_ole_object_json",
    "add_slide_nested_group_ole_object_json",
    "add_slide_deeper_nested_group_ole_object_json",
    "add_slide_nested_group_ole_object_in_new_group_json",
    "add_slide_placeholder_shape_json",
    "add_slide_placeholder_shapes_json",
    "add_slide_layout_placeholders_json",
    "add_slide_auto_shape_json",
    "add_slide_auto_shape_with_text_json",
    "add_slide_auto_shape_with_options_json",
    "add_slide_connector_json",
    "add_slide_connected_connector_json",
    "add_slide_connected_connector_with_auto_shapes_json",
    "add_slide_text_box_json",
    "add_slide_text_box_with_text_json",
    "add_slide_group_text_box_with_text_json",
    "add_slide_nested_group_text_box_with_text_json",
    "add_slide_deeper_nested_group_text_box_with_text_json",
    "add_slide_nested_group_text_box_in_new_group_with_text_json",
    "add_slide_group_auto_shape_with_text_json",
    "add_slide_nested_group_auto_shape_with_text_json",
    "add_slide_deeper_nested_group_auto_shape_with_text_json",
    "add_slide_nested_group_auto_shape_in_new_group_with_text_json",
    "add_slide_group_connector_json",
    "add_slide_connected_group_connector_json",
    "add_slide_connected_group_connector_with_auto_shapes_json",
    "add_slide_nested_group_connector_json",
    "add_slide_deeper_nested_group_connector_json",
    "add_slide_nested_group_connector_in_new_group_json",
    "add_slide_group_shape_json",
    "add_slide_nested_group_shape_json",
    "add_slide_group_shape_to_nested_group_json",
    "add_slide_group_shape_to_deeper_nested_group_json",
    "group_slide_existing_group_children_json",
    "group_slide_existing_nested_group_children_json",
    "group_slide_existing_deeper_nested_group_children_json",
    "add_slide_freeform_shape_json",
    "add_slide_freeform_shape_with_text_json",
    "add_slide_group_freeform_shape_with_text_json",
    "add_slide_nested_group_freeform_shape_with_text_json",
    "add_slide_deeper_nested_group_freeform_shape_with_text_json",
    "add_slide_nested_group_freeform_shape_in_new_group_with_text_json",
    "apply_edit_batch_json",
]
BUILT = {"build_info_json", "inspect_package_json", "summarize_presentation_json",
         "summarize_slide_at_index_json", "roundtrip_package_json",
         "replace_slide_text_json", "replace_slide_text_at_index_json",
         "replace_slide_text_run_at_index_json", "set_slide_shape_text_at_index_json",
         "set_slide_shape_paragraph_text_at_index_json", "replace_table_cell_text_json"}


def test_module_surface():
    names = varnex_native.__all__
    assert BUILT <= set(names)
    assert names == [n for n in REGISTRATION_ORDER if n in set(names)]
    assert len(set(names)) == len(names)
    assert all(callable(getattr(varnex_native, n)) for n in names)
    assert varnex_native.__doc__ in ("", None)
    for name in names:
        function = getattr(varnex_native, name)
        assert function.__module__ == "varnex_native"
        assert function.__doc__ is None or function.__doc__ == ""
        assert function.__text_signature__ is not None
        inspect.signature(function)
    assert str(inspect.signature(varnex_native.roundtrip_package_json)) == "(input, output)"
    assert str(inspect.signature(varnex_native.build_info_json)) == "()"


def test_inspect_package_with_int_path_names_the_parameter():
    with pytest.raises(TypeError) as info:
        varnex_native.inspect_package_json(123)
    assert str(info.value) == "'int' object is not an instance of 'str'"
    assert info.value.__notes__ == ["while processing 'path'"]
