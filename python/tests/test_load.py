"""load_bytes with material libraries from a callable, a callable that raises, and loads on two
threads at once with the GIL released."""

import gc
import sys
import threading
import time
import weakref

import pytest

import zel

OBJ = b"mtllib parts/lib.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl red\nf 1 2 3\n"
MTL = b"newmtl red\nKd 1 0 0\n"


@pytest.mark.parametrize(
    "supply, materials, error",
    [
        (lambda path: MTL, ["default", "red"], None),
        (lambda path: bytearray(MTL), ["default", "red"], None),
        (lambda path: memoryview(b"xx" + MTL)[2:], ["default", "red"], None),
        (lambda path: None, None, 'can\'t open material file "models/parts/lib.mtl".'),
    ],
)
def test_library_callable_supplies_the_library(supply, materials, error):
    asked = []

    def library(path):
        asked.append(path)
        return supply(path)

    if error is None:
        model = zel.load_bytes(OBJ, "models/ship.obj", library=library)
        assert [m.name for m in model.materials] == materials
        assert model.materials[1].diffuse.tolist() == [1, 0, 0, 1]
        assert model.groups[0].material == 1
    else:
        with pytest.raises(zel.LoadError) as raised:
            zel.load_bytes(OBJ, "models/ship.obj", library=library, missing_libraries=False)
        assert str(raised.value).endswith(error) and raised.value.line == 1
    assert asked == ["models/parts/lib.mtl"]


class Refused(Exception):
    pass


@pytest.mark.parametrize("missing_libraries", [False, True])
@pytest.mark.parametrize("answer", [Refused, "a str", 42], ids=["raises", "str", "int"])
def test_a_failing_library_callable_reaches_the_caller(capfd, missing_libraries, answer):
    def library(path):
        if answer is Refused:
            raise Refused(path)
        return answer

    before = sys.getrefcount(library)
    with pytest.raises(Refused if answer is Refused else TypeError) as raised:
        zel.load_bytes(OBJ, library=library, missing_libraries=missing_libraries)
    if answer is Refused:
        assert raised.value.args == ("parts/lib.mtl",)
        assert raised.traceback[-1].name == "library"
        exception = weakref.ref(raised.value)
        del raised
        gc.collect()
        assert exception() is None  # the module kept no reference to it
    assert sys.getrefcount(library) == before
    assert capfd.readouterr() == ("", "")


def test_a_library_buffer_is_released_after_the_load():
    data = bytearray(MTL)
    zel.load_bytes(OBJ, library=lambda path: data)
    data.extend(b"\n")  # BufferError if the module still held it
    source = bytearray(OBJ)
    zel.load_bytes(source, library=lambda path: MTL)
    source.extend(b"\n")


def test_two_threads_load_at_once_with_the_gil_released():
    # A large file for one thread, whose library callable marks when its read is under way; the
    # main thread then loads a file of its own and gives the loading thread many chances to take
    # the GIL. Had the read kept the GIL, the loading thread would have finished by then.
    big = b"mtllib lib.mtl\n" + b"v 0.123456 1.5 -2.25\n" * 3_000_000 + b"f 1 2 3\n"
    started, finished, result = threading.Event(), threading.Event(), []

    def library(path):
        started.set()
        return MTL

    def load_big():
        result.append(zel.load_bytes(big, library=library, threads=1))
        finished.set()

    thread = threading.Thread(target=load_big)
    thread.start()
    assert started.wait(60)
    small = zel.load_bytes(b"v 1 2 3\nv 4 5 6\nv 7 8 9\nf 1 2 3\n")
    for _ in range(50):
        time.sleep(0)
    overlapped = not finished.is_set()
    thread.join()
    assert overlapped, "the load held the GIL"
    assert small.vertices.tolist() == [[1, 2, 3], [4, 5, 6], [7, 8, 9]]
    assert len(result[0].vertices) == 3_000_000 and result[0].faces.tolist() == [[0, 1, 2]]
