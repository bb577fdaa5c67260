#!/usr/bin/env python3
"""Reading OBJ files from Python: zel.load plus Model.faces against the C read of the same file
(bench_read_one zel), tinyobjloader's Python binding (parse, numpy_vertices and numpy_indices)
and pywavefront, on the reader benchmark's files.

    /usr/bin/python3 bench/python_read_bench.py [--build BUILD] [--data DIR] [--runs N]
                                                [--readers "zel (Python),zel (C),..."]

Run it with the python3 that imports numpy and zel's dependencies; the package is taken from
BUILD/python (default build/, configured with -DZEL_BUILD_BENCH=ON for bench/bench_read_one and
bench/gen_obj). The files are DIR/vtn-100.obj, v-100.obj and quad-100.obj (default
/tmp/zel-read-bench), made with bench/gen_obj as bench/run_read_bench.sh makes them when missing:
(a) v/vt/vn with "f a/b/c" triangles, (b) v only, (c) v/vt/vn quads.

Every read is a fresh process. Each file is read in N rounds (default 5); a round reads the file
through (so that it is in the page cache), then runs every reader once, in turn, so that a
disturbance from other load is shared out among them. pywavefront, pure Python, runs once per
file and is stopped after --slow-timeout seconds (default 120). The table gives the medians: the
seconds, the peak resident size of the process, and "extra", the peak less what the process held
before reading (numpy and the module loaded) less the arrays the reader returns (zel: the model's
arrays and the faces array), that is the memory a reader needs beyond its result. (Not for the C
read: a new process's peak starts from its parent's on Linux, so its start is not its own; its
peak is bench_read_one's, which bench/run_read_bench.sh puts against its model.) Then the
targets: zel from Python at least 5x tinyobjloader's speed and within 10% of the C read's time.
Peers that are not installed (Debian python3-tinyobjloader, python3-pywavefront) are skipped.
"""

import argparse
import json
import os
import resource
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
FILES = [("vtn", "a: v/t/n triangles"), ("v", "b: v triangles"), ("quad", "c: v/t/n quads")]
READERS = ["zel (Python)", "zel (C)", "tinyobjloader", "pywavefront"]


def peak_kib():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def read_zel(path):
    import numpy  # noqa: F401
    import zel

    start = peak_kib()
    began = time.perf_counter()
    model = zel.load(path)
    loaded = time.perf_counter()
    faces = model.faces
    ended = time.perf_counter()
    arrays = [model.vertices, model.normals, model.texcoords, model.colors, model.triangles]
    result = sum(a.nbytes for a in arrays if a is not None)
    result += sum(g.triangles.nbytes for g in model.groups) + faces.nbytes
    return dict(seconds=ended - began, faces_seconds=ended - loaded, start_kib=start,
                peak_kib=peak_kib(), result_bytes=result, faces=len(faces))


def read_tinyobjloader(path):
    import numpy  # noqa: F401
    import tinyobjloader

    start = peak_kib()
    began = time.perf_counter()
    reader, config = tinyobjloader.ObjReader(), tinyobjloader.ObjReaderConfig()
    config.triangulate = True
    if not reader.ParseFromFile(path, config):
        raise SystemExit("tinyobjloader: " + reader.Error())
    vertices = reader.GetAttrib().numpy_vertices()
    shapes = reader.GetShapes()
    indices = [shape.mesh.numpy_indices() for shape in shapes]
    ended = time.perf_counter()
    faces = sum(shape.mesh.numpy_num_face_vertices().size for shape in shapes)
    result = vertices.nbytes + sum(i.nbytes for i in indices)
    return dict(seconds=ended - began, start_kib=start, peak_kib=peak_kib(), result_bytes=result,
                faces=int(faces))


def read_pywavefront(path):
    import numpy  # noqa: F401
    import pywavefront

    start = peak_kib()
    began = time.perf_counter()
    scene = pywavefront.Wavefront(path, collect_faces=True, create_materials=True)
    ended = time.perf_counter()
    faces = sum(len(mesh.faces) for mesh in scene.mesh_list)
    return dict(seconds=ended - began, start_kib=start, peak_kib=peak_kib(), result_bytes=0,
                faces=faces)


def run_one(reader, path, build, timeout):
    """One read in a fresh process; None when it failed or was stopped."""
    if reader == "zel (C)":
        command = [str(build / "bench" / "bench_read_one"), "zel", str(path)]
    else:
        command = [sys.executable, __file__, "--one", reader, str(path)]
    environment = dict(os.environ, PYTHONPATH=str(build / "python"))
    try:
        run = subprocess.run(command, capture_output=True, text=True, env=environment,
                             timeout=timeout)
    except subprocess.TimeoutExpired:
        return {"stopped": timeout}
    if run.returncode != 0:
        print(f"{reader} failed on {path}: {run.stderr.strip()[-300:]}", file=sys.stderr)
        return None
    if reader == "zel (C)":  # "zel seconds S peak_kib K start_kib K model_bytes B faces N"
        words = run.stdout.split()
        values = dict(zip(words[1::2], words[2::2]))
        return dict(seconds=float(values["seconds"]), start_kib=int(values["start_kib"]),
                    peak_kib=int(values["peak_kib"]), result_bytes=int(values["model_bytes"]),
                    faces=int(values["faces"]))
    return json.loads(run.stdout)


def available(reader):
    module = {"tinyobjloader": "tinyobjloader", "pywavefront": "pywavefront"}.get(reader)
    if module is None:
        return True
    try:
        __import__(module)
        return True
    except ImportError:
        print(f"skipping {reader}: not installed", file=sys.stderr)
        return False


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build", type=Path)
    parser.add_argument("--data", default="/tmp/zel-read-bench", type=Path)
    parser.add_argument("--runs", default=5, type=int)
    parser.add_argument("--megabytes", default=100, type=int)
    parser.add_argument("--timeout", default=600, type=float)
    parser.add_argument("--slow-timeout", default=120, type=float)
    parser.add_argument("--readers", default=",".join(READERS),
                        help="the rows to run, separated by commas (default: all)")
    parser.add_argument("--one", nargs=2, help=argparse.SUPPRESS)
    arguments = parser.parse_args()
    if arguments.one:
        reader, path = arguments.one
        read = {"zel (Python)": read_zel, "tinyobjloader": read_tinyobjloader,
                "pywavefront": read_pywavefront}[reader]
        print(json.dumps(read(path)))
        return

    build = arguments.build.resolve()
    for program in ("bench_read_one", "gen_obj"):
        if not (build / "bench" / program).is_file():
            raise SystemExit(f"missing {build}/bench/{program}: configure with "
                             "-DZEL_BUILD_BENCH=ON and build")
    readers = [r for r in arguments.readers.split(",") if available(r)]
    unknown = set(readers) - set(READERS)
    if unknown:
        raise SystemExit(f"unknown readers {sorted(unknown)}: the rows are {READERS}")
    arguments.data.mkdir(parents=True, exist_ok=True)
    results = {}
    for kind, label in FILES:
        path = arguments.data / f"{kind}-{arguments.megabytes}.obj"
        if not path.is_file() or path.stat().st_size == 0:
            partial = path.with_suffix(f".part.{os.getpid()}")
            subprocess.run([str(build / "bench" / "gen_obj"), kind, str(partial),
                            str(arguments.megabytes)], check=True, stdout=sys.stderr)
            partial.rename(path)
        for round_number in range(1, arguments.runs + 1):
            print(f"round {round_number}/{arguments.runs}: {path}", file=sys.stderr)
            # Keep the file in the page cache, through a small buffer: a child's peak resident
            # size starts from this process's (Linux carries it over), so this one stays small.
            chunk = bytearray(1 << 20)
            with open(path, "rb", buffering=0) as file:
                while file.readinto(chunk):
                    pass
            for reader in readers:
                slow = reader == "pywavefront"
                if slow and round_number > 1:
                    continue
                timeout = arguments.slow_timeout if slow else arguments.timeout
                result = run_one(reader, path, build, timeout)
                results.setdefault((label, path.stat().st_size, reader), []).append(result)
    report(results)


def report(results):
    def median(runs, key):
        return statistics.median(run[key] for run in runs)

    medians, lines = {}, []
    header = (f"{'file':<20} {'reader':<14} {'seconds':>8} {'MB/s':>8} {'peak MiB':>9} "
              f"{'extra MiB':>9} {'faces':>9}  notes")
    lines.append(header)
    for (label, size, reader), runs in results.items():
        done = [run for run in runs if run and "stopped" not in run]
        if not done:
            stopped = [run["stopped"] for run in runs if run and "stopped" in run]
            why = f"stopped after {stopped[0]:.0f} s" if stopped else "failed"
            lines.append(f"{label:<20} {reader:<14} {why}")
            continue
        seconds = median(done, "seconds")
        medians[label, reader] = seconds
        peak = median(done, "peak_kib") / 1024
        extra = "-"
        if reader != "zel (C)":
            held = median(done, "peak_kib") - median(done, "start_kib")
            extra = f"{held / 1024 - median(done, 'result_bytes') / 2**20:.1f}"
        notes = []
        if "faces_seconds" in done[0]:
            notes.append(f"faces {1000 * median(done, 'faces_seconds'):.1f} ms")
        if len(done) < len(runs):
            notes.append(f"{len(done)} of {len(runs)} runs")
        lines.append(f"{label:<20} {reader:<14} {seconds:8.3f} {size / 1e6 / seconds:8.1f} "
                     f"{peak:9.1f} {extra:>9} {done[0]['faces']:>9}  {', '.join(notes)}")
    lines.append("")
    for label in dict.fromkeys(key[0] for key in results):
        python = medians.get((label, "zel (Python)"))
        if python is None:
            continue
        c = medians.get((label, "zel (C)"))
        if c:
            ratio = python / c
            lines.append(f"target {label}: zel from Python takes {ratio:.2f}x the C read's time "
                         f"(<= 1.10): {'met' if ratio <= 1.10 else 'NOT met'}")
        tiny = medians.get((label, "tinyobjloader"))
        if tiny:
            speed = tiny / python
            lines.append(f"target {label}: zel from Python {speed:.1f}x tinyobjloader's speed "
                         f"(>= 5): {'met' if speed >= 5 else 'NOT met'}")
    print("\n".join(lines))


if __name__ == "__main__":
    main()
