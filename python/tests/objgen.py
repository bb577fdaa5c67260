"""Varied OBJ texts for the tests, made from a seed: vertices in several number notations,
texture coordinates, normals, faces of 3 to 6 corners in every reference form (negative ones
too), groups, materials from a library, comments, blank lines, LF or CR LF line ends."""

import random

NUMBER_FORMATS = ["{:.6f}", "{:g}", "{:.3e}", "{:.1f}", "{:.9g}"]


def case(seed):
    """Returns (obj_text, {library_name: mtl_text}) for seed."""
    rng = random.Random(seed)
    end = "\r\n" if rng.random() < 0.3 else "\n"

    def number(low=-10.0, high=10.0):
        return rng.choice(NUMBER_FORMATS).format(rng.uniform(low, high))

    lines, libraries, materials = [], {}, []
    if rng.random() < 0.7:
        materials = [f"m{i}" for i in range(rng.randint(1, 4))]
        mtl = []
        for name in materials:
            mtl.append(f"newmtl {name}")
            for key in ("Kd", "Ka", "Ks"):
                mtl.append(key + "".join(" " + number(0, 1) for _ in range(3)))
            mtl.append(f"Ns {number(0, 1000)}")
        libraries["lib.mtl"] = "\n".join(mtl) + "\n"
        lines.append("mtllib lib.mtl")

    count = {"v": 0, "vt": 0, "vn": 0}
    forms = [f for f in ("v", "v/t", "v//n", "v/t/n") if rng.random() < 0.6] or ["v"]
    for _ in range(rng.randint(10, 80)):
        roll = rng.random()
        if roll < 0.35 or count["v"] < 3:
            lines.append("v" + "".join(" " + number() for _ in range(3)))
            count["v"] += 1
        elif roll < 0.45:
            lines.append("vt " + number(0, 1) + " " + number(0, 1))
            count["vt"] += 1
        elif roll < 0.55:
            lines.append("vn" + "".join(" " + number(-1, 1) for _ in range(3)))
            count["vn"] += 1
        elif roll < 0.6:
            lines.append("g " + rng.choice(["wing", "body", "tail fin", "default"]))
        elif roll < 0.65 and materials:
            lines.append("usemtl " + rng.choice(materials + ["unknown"]))
        elif roll < 0.68:
            lines.append(rng.choice(["# a comment", "", "   "]))
        else:
            form = rng.choice(forms)
            if ("t" in form and not count["vt"]) or ("n" in form and not count["vn"]):
                form = "v"
            corners = []
            for _ in range(rng.randint(3, 6)):
                parts = [reference(rng, count["v"])]
                if form == "v/t":
                    parts.append(reference(rng, count["vt"]))
                elif form == "v//n":
                    parts += ["", reference(rng, count["vn"])]
                elif form == "v/t/n":
                    parts += [reference(rng, count["vt"]), reference(rng, count["vn"])]
                corners.append("/".join(parts))
            lines.append("f " + " ".join(corners))
    return end.join(lines) + end, libraries


def reference(rng, count):
    """An index naming one of `count` elements, 1-based or counting back from the latest."""
    index = rng.randint(1, count)
    return str(index - count - 1 if rng.random() < 0.2 else index)
