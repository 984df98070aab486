#!/usr/bin/env python3
"""Writes the seed corpus of each fuzz target (fuzz/corpus/<target>/) and the
dictionary of property keys and symbols (fuzz/vornix.dict).

The seeds are the test scenes in the targets' input form: the validator's
stage (37 x 29 at (-6, 4), a 21 x 15 sprite centred on it) at every depth
and path, the README's example property lists, each effect's described
script functions, and the module's classes created and registered; and
the reproducers of what fuzzing found (finding-*). The
encoder below mirrors the decoders of fuzz/*.cpp call for call; a change
there needs the same change here.

    python3 fuzz/make_corpus.py          # from the top of the tree
"""
import hashlib
import math
import pathlib
import re
import struct

ROOT = pathlib.Path(__file__).resolve().parent.parent
FUZZ = ROOT / "fuzz"

INT_EDGES = [-2**31, -2**31 + 1, 2**31 - 1, 2**31 - 2, 1 << 30, -(1 << 30), 65535, 65536,
             -65536, 1 << 20, 32767, -32768, 255, 256, 1000000, -1000000,
             -2**30, 2**30 - 1, 16777216, -16777216, 0x7FFF0000, 46341, -46341, 360,
             -360, 3600, 25600, -25600, 1 << 24, 100, -100, 0]


def effect_names():
    text = (FUZZ / "harness.cpp").read_text()
    table = re.search(r"kEffectNames\[\] = \{(.*?)\};", text, re.S).group(1)
    return re.findall(r'"(\w+)"', table)


def effect_tables():
    """name -> property keys, from the effects' headers."""
    tables = {}
    for header in sorted((ROOT / "effects").rglob("*.h")):
        text = header.read_text()
        name = re.search(r'kName\[\] = "(\w+)"', text)
        rows = re.search(r"kProperties\[\] = \{(.*?)\n  \};", text, re.S)
        if name and rows:
            tables[name.group(1)] = re.findall(r'\{"(\w+)", \d+,', rows.group(1))
    return tables


def functions(name):
    """The script functions an effect's description lists, with their longest argument list."""
    path = ROOT / "resources" / "descriptions" / f"{name}.txt"
    found = {}
    if path.exists():
        for line in path.read_text(errors="replace").splitlines():
            m = re.match(r"\s*([A-Za-z]\w*)\(sprite\b([^)]*)\)", line)
            if m:
                count = max(len(m.group(2).split(",")) - 2, 0)  # after the sprite and the effect
                found[m.group(1)] = max(found.get(m.group(1), 0), count)
    return found


def readme_lists():
    """effect -> the README example's property list, as (key, value) pairs."""
    text = (ROOT / "README.md").read_text()
    lists = {}
    for m in re.finditer(r"vornix render (\w+) .*?--props '\[(.*?)\]'", text, re.S):
        entries = []
        for key, value in re.findall(r"#(\w+):\s*(point\([^)]*\)|[^,\]]+)", m.group(2)):
            value = value.strip()
            if value.startswith("#"):
                entries.append((key, ("sym", value[1:])))
            elif value.startswith("point("):
                h, v = (int(x) for x in value[6:-1].split(","))
                entries.append((key, ("point", h, v)))
            else:
                entries.append((key, ("int", int(value))))
        lists[m.group(1)] = entries
    return lists


class Input:
    """The targets' Input, written instead of read."""

    def __init__(self):
        self.data = bytearray()

    def byte(self, v):
        self.data.append(v & 0xFF)

    def below(self, v, n):
        assert 0 <= v < n
        self.byte(v)

    def flag(self, f):
        self.byte(1 if f else 0)

    def word32(self, v):
        self.data += (v & 0xFFFFFFFF).to_bytes(4, "little")

    def int(self, v):
        if -48 <= v <= 111:
            self.byte(v + 48)
        elif v in INT_EDGES:
            self.byte(160 + INT_EDGES.index(v))
        else:
            self.byte(192)
            self.word32(v)

    def real(self, x):
        q = x * 4
        if math.isfinite(q) and q == int(q) and -64 <= q <= 63:
            self.byte(int(q) + 64)
        else:
            self.byte(144)
            self.data += struct.pack("<d", x)

    def symbol(self, text):
        self.byte(0xFF)
        self.data += text.encode()
        self.byte(0)

    def coordinate(self, v):
        if -120 <= v <= 119:
            self.byte(v + 120)
        else:
            self.byte(240)
            self.int(v)

    def side(self, v):
        assert 0 <= v <= 40
        self.byte(v)


# The depths and pixel sizes of HostView's shape table.
SHAPES = {"8": 0, "16": 1, "24": 2, "32": 3, "8x3": 4, "8x4": 5, "16x3": 6, "16x4": 7}


def view(i, shape, left, top, width, height, seed, clip=None, row_step=None):
    """A view with padded rows and its own memory; honest unless a clip
    rectangle (left, top, right, bottom) or a row step is given."""
    i.byte(shape)
    i.coordinate(left), i.coordinate(top), i.side(width), i.side(height)
    i.below(1, 8)   # cached measures agree
    if clip is None:
        i.below(1, 4)   # clip = bounds
    else:
        i.below(0, 4)
        for edge in clip:
            i.coordinate(edge)
        i.flag(False)
    i.below(0, 8)   # rows padded to 4 bytes
    if row_step is None:
        i.below(1, 16)  # row step = -row length
    else:
        i.below(0, 16), i.int(row_step)
    i.below(1, 16)  # working address operations
    i.below(1, 16)  # memory
    i.word32(seed)


def scene(i, dst, src, seed, source=(21, 15), **lie):
    """The validator's stage: 37 x 29 at (-6, 4), a 21 x 15 sprite and mask;
    the source's size and lies (clip, row_step) may differ."""
    view(i, SHAPES[dst], -6, 4, 37, 29, seed)
    view(i, 0, -6, 4, 37, 29, seed + 1)  # alpha plane (8-bit)
    view(i, 0, 0, 0, 21, 15, seed + 2)   # mask
    view(i, SHAPES[src], 0, 0, source[0], source[1], seed + 3, **lie)
    i.below(1, 4)  # runs: per mask row, 3 clear, 4 partial, 14 opaque
    for _ in range(15):
        i.below(1, 5)
        i.byte(3), i.byte(4), i.byte(14)
    i.below(1, 8)  # a palette
    i.below(0, 4), i.below(0, 4)  # offset 0, stride 1
    i.word32(seed + 4)
    i.below(1, 16)  # thresholds record
    i.below(1, 8)   # with the host allocator
    i.flag(True), i.byte(200)
    i.flag(True), i.byte(40)
    i.below(1, 8), i.below(1, 8)  # both output rectangles
    i.below(1, 16)  # sprite description
    i.coordinate(2), i.coordinate(11), i.side(21), i.side(15), i.below(1, 8)
    i.below(1, 8)


def render_args(i, blend=255, draw=1, align=0, hard=0, runs=False):
    i.below(1, 4), i.byte(blend)
    i.below(1, 4), i.below(draw, 2)
    i.below(1, 8), i.below(align, 3)
    i.below(1, 8), i.below(hard, 2)
    i.below(0, 4)  # the update: the destination's bounds
    i.below(1 if runs else 0, 4)


def hit_args(i, x, y):
    i.flag(True)  # the mask as the alpha view
    i.flag(True), i.coordinate(y)
    i.flag(True), i.coordinate(x)


def value(i, v, depth=2):
    kind = v[0]
    n = 9 if depth > 0 else 8
    if kind == "int":
        i.below(0, n), i.int(v[1])
    elif kind == "float":
        i.below(2, n), i.real(v[1])
    elif kind == "sym":
        i.below(3, n), i.symbol(v[1])
    elif kind == "point":  # point(h, v): vertical first
        i.below(4, n), i.int(v[2]), i.int(v[1])
    elif kind == "rect":  # rect(l, t, r, b): top, left, bottom, right
        i.below(5, n), i.int(v[2]), i.int(v[1]), i.int(v[4]), i.int(v[3])
    elif kind == "list":
        i.below(8, n), i.below(len(v[1]), 4)
        for key, item in v[1]:
            i.symbol(key)
            value(i, item, depth - 1)


def property_list(i, entries):
    i.below(1, 16)  # a list
    i.below(len(entries), 8)
    for key, v in entries:
        i.below(0, 4)  # the key spelled out
        i.symbol(key)
        value(i, v)


def script_call(i, has_functions, name, args):
    if has_functions:
        i.below(0, 4)  # the name spelled out
    i.symbol(name)
    i.below(len(args), 7)
    i.below(1, 8)  # first index 2
    for v in args:
        value(i, v, 1)
    i.below(1, 8)  # the count the array holds


def render_seeds(effects):
    seeds = []
    pairs = [("32", "32", 0, False), ("8", "8", 0, True), ("16", "16", 2, False), ("24", "24", 1, True),
             ("8x4", "8", 0, True), ("16x3", "16", 2, False)]
    for index, name in enumerate(effects):
        for n, (dst, src, align, runs) in enumerate(pairs):
            i = Input()
            i.byte(index)
            scene(i, dst, src, 100 * index + n)
            for frame in range(3):
                i.below(1, 8), render_args(i, blend=255 if frame != 1 else 128, align=align, runs=runs,
                                           hard=1 if dst.startswith(("8x", "16x")) and frame == 2 else 0)
            i.below(3, 8), render_args(i, align=align)
            i.below(5, 8), hit_args(i, 12, 18)
            seeds.append(i.data)
    return seeds


def properties_seeds(effects, tables, lists):
    seeds = []
    hostile = [("int", -2**31), ("int", 2**31 - 1), ("float", float("nan")), ("float", float("inf")),
               ("float", -float("inf")), ("sym", "pendulum"), ("point", 2**31 - 1, -2**31),
               ("rect", 5, 5, 0, 0), ("list", [])]
    for index, name in enumerate(effects):
        keys = tables[name]
        own = lists.get(name, [("animMode", ("sym", "pendulum")), ("numFrames", ("int", 12))])
        for n, entries in enumerate([own] + [[(k, h) for k in keys[j::3]][:7] for j, h in enumerate(hostile)]):
            i = Input()
            i.byte(index)
            i.below(0, 8), property_list(i, entries)
            i.below(5, 8), scene(i, "32", "32", 300 + n), i.flag(True), render_args(i)
            i.below(3, 8), i.below(3, 7), i.flag(False), i.below(0, 3)  # NeedsRedraw
            i.below(5, 8), i.flag(False), i.flag(True), render_args(i)  # RenderWithAlpha
            i.below(3, 8), i.below(2, 7)  # Reset
            i.below(5, 8), i.flag(True), render_args(i)
            seeds.append(i.data)
    return seeds


def script_seeds(effects):
    seeds = []
    for index, name in enumerate(effects):
        funcs = functions(name)
        calls = sorted(funcs.items()) or [("GetAngle", 0)]
        for n, (function, count) in enumerate(calls):
            i = Input()
            i.byte(index)
            args = [("int", 40 + 7 * k) for k in range(count)]
            i.below(4, 8), script_call(i, bool(funcs), function, args)
            i.below(2, 8), scene(i, "32", "32", 500 + n), i.flag(True), render_args(i)
            i.below(4, 8), script_call(i, bool(funcs), function, [("float", 0.5)] * count)
            i.below(2, 8), i.flag(False), i.flag(False), hit_args(i, 12, 18)
            seeds.append(i.data)
    return seeds


def module_seeds():
    seeds = []
    for k in range(10):  # the class table's rows: class record 2k, interface record 2k + 1
        i = Input()
        i.below(0, 9), i.below(1, 4)                                   # class list
        i.below(1, 9), i.below(1, 8), i.byte(2 * k)                     # class form
        i.below(2, 9), i.below(1, 8), i.byte(2 * k), i.below(1, 4), i.below(1, 8)  # create
        i.below(3, 9), i.byte(0)                                        # interface on it
        if k == 0:
            i.below(1, 5), i.below(1, 4)                                # registration
            i.below(6, 9), i.flag(False), i.flag(False), i.below(1, 4), i.word32(7)  # Register
        else:
            i.below(3, 5), i.flag(True), i.below(1, 4)                  # effect
            i.below(7, 9), i.flag(k % 2 == 0), i.flag(True)             # static answers
        i.below(8, 9)                                                   # unload while held
        i.below(5, 9), i.byte(0), i.below(1, 3)                         # release
        i.below(8, 9)                                                   # unload
        seeds.append(i.data)
    return seeds


def finding_seeds(effects):
    """What the fuzz targets and the sweep found, as render inputs (the
    regression tests in tests/hostile/ say the same through the exports)."""
    rotate, swirl = effects.index("rotate"), effects.index("swirl")
    seeds = {}
    # A source larger than its mask, its row step near INT_MIN.
    i = Input()
    i.byte(rotate)
    scene(i, "32", "32", 700, source=(25, 19), row_step=-2**31 + 1)
    i.below(1, 8), render_args(i, align=1)
    seeds["row-step-sub-view"] = i.data
    # An empty source whose clip covers the sprite, copied (align 2).
    for name, index in (("swirl", swirl), ("rotate", rotate)):
        i = Input()
        i.byte(index)
        scene(i, "32", "32", 710, source=(29, 0), clip=(-40, -40, 40, 40))
        i.below(1, 8), render_args(i, align=2)
        seeds[f"empty-source-copy-{name}"] = i.data
    # The private copy made for a 1-byte source, then a 2- and a 4-byte one
    # of the same bounds.
    i = Input()
    i.byte(rotate)
    for n, depth in enumerate(("8", "16", "32")):
        if n:
            i.below(0, 8)
        scene(i, depth, depth, 720 + n)
        i.below(1, 8), render_args(i, align=2)
    seeds["copy-pixel-size"] = i.data
    return seeds


def write(target, seeds, findings=None):
    """Seeds as seed-<sha1>, reproducers of findings as finding-<name>; other
    files in the folder (reproducers added by hand) stay."""
    folder = FUZZ / "corpus" / target
    folder.mkdir(parents=True, exist_ok=True)
    for old in folder.glob("seed-*"):
        old.unlink()
    for seed in seeds:
        (folder / ("seed-" + hashlib.sha1(seed).hexdigest())).write_bytes(bytes(seed))
    for name, data in (findings or {}).items():
        (folder / f"finding-{name}").write_bytes(bytes(data))
    return len(seeds)


def write_dictionary(effects, tables):
    words = set(effects)
    for keys in tables.values():
        words.update(keys)
    for name in effects:
        words.update(functions(name))
    words.update(["static", "range", "infinite", "pendulum"])
    lines = ["# Property keys, effect symbols, animation modes and script functions as",
             "# the fuzz targets read a symbol spelled out: 0xFF, the text, a zero byte.",
             "# Written by fuzz/make_corpus.py."]
    for word in sorted(words):
        lines.append(f'{word}="\\xff{word}\\x00"')
    (FUZZ / "vornix.dict").write_text("\n".join(lines) + "\n")
    return len(words)


def main():
    effects = effect_names()
    tables = effect_tables()
    lists = readme_lists()
    counts = {
        "render": write("render", render_seeds(effects), finding_seeds(effects)),
        "properties": write("properties", properties_seeds(effects, tables, lists)),
        "script": write("script", script_seeds(effects)),
        "module": write("module", module_seeds()),
    }
    words = write_dictionary(effects, tables)
    print(", ".join(f"{t}: {n} seeds" for t, n in counts.items()) + f"; dictionary: {words} words")


if __name__ == "__main__":
    main()
