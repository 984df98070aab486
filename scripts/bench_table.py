"""Writes the benchmark table (Markdown) from the JSON files of one run.

Usage: bench_table.py RESULTS_DIR PROCESSOR ROWS REPETITIONS > docs/benchmarks.md

With repetitions each case's figures are the medians Google Benchmark
reports (every counter on its own); without, the single run's.
"""
import json
import pathlib
import sys

EFFECTS = {  # benchmark family -> effect, in table order
    "Rotate": "rotate", "Swirl": "swirl", "Magnify": "magnify", "BM_Mosaic": "mosaic",
    "BM_LineSkip": "line skip", "BM_Snow": "snow", "BM_Pointel": "Pointel",
    "Rgb": "RGB shift", "Hsb": "HSB shift",
}
PATHS = {0: "opaque", 1: "soft mask", 2: "blend 128"}
FLOOR = 150  # Mpx/s every row should reach


def rows(results):
    for file in sorted(pathlib.Path(results).glob("*.json")):
        runs = json.loads(file.read_text())["benchmarks"]
        repeated = any(b.get("run_type") == "aggregate" for b in runs)
        for b in runs:
            if repeated and b.get("aggregate_name") != "median":
                continue
            family, *args = b.get("run_name", b["name"]).split("/")
            if family not in EFFECTS or "Mpx/s" not in b:
                continue
            a = dict(arg.split(":") for arg in args if ":" in arg)
            peers = [k[3:] for k in b if k.startswith("vs_")]
            yield {
                "effect": EFFECTS[family], "order": list(EFFECTS).index(family),
                "depth": int(a["depth"]), "path": int(a.get("path", 0)),
                "sampling": {"0": "nearest", "1": "bilinear"}.get(a.get("bilinear"), "—"),
                "other": ", ".join(f"{k} {v}" for k, v in a.items()
                                   if k not in ("depth", "path", "bilinear")),
                "mpx": b["Mpx/s"],
                "peers": [(p, b.get(f"{p}_Mpx/s", 0), b[f"vs_{p}"]) for p in peers],
            }


def main():
    results, processor, variant, repetitions = sys.argv[1:5]
    figures = (f"the median of {repetitions} repetitions interleaved at random with the "
               "other cases" if int(repetitions) > 1 else "one repetition")
    table = sorted(rows(results), key=lambda r: (r["order"], -r["depth"], r["sampling"],
                                                  r["other"], r["path"]))
    out = ["# Benchmarks", "",
           f"One run of `scripts/bench.sh` on {processor}, one thread, 640 × 480, "
           f"row kernels: {variant}. Mpx/s in processor time, {figures}; the peer is "
           "measured in the same repetition on the same frames and the ratio is ours over the peer's (above 1: "
           "faster). Peers: `warpAffine` (rotate), `remap` with a precomputed map and "
           "ImageMagick's swirl (swirl), `resize` (magnify), OpenCV's HSV round trip "
           "(colour shifts), a copy of every row (mosaic, line skip) and line skip "
           "drawing every row, the same colour pass without noise (snow, Pointel). "
           "The peers only warp, resample or convert; the effects also composite through "
           "the mask. Paths: opaque mask at blend 255, the soft mask (an ellipse ramped "
           "over 24 pixels) at blend 255, the opaque mask at blend 128.", "",
           "| effect | depth | path | sampling | other | Mpx/s | peer | peer Mpx/s | ratio |",
           "|---|---|---|---|---|---:|---|---:|---:|"]
    for r in table:
        # Several peers share the cells, in the same order.
        peers = r["peers"]
        names = " / ".join(p for p, _, _ in peers) or "—"
        rates = " / ".join(f"{m:.0f}" for _, m, _ in peers) or "—"
        ratios = " / ".join(f"{v:.2f}×" for _, _, v in peers) or "—"
        out.append(f"| {r['effect']} | {r['depth']} | {PATHS[r['path']]} | {r['sampling']} | "
                   f"{r['other'] or '—'} | {r['mpx']:.0f} | {names} | {rates} | {ratios} |")

    # Each soft-mask and blend-128 row against the same effect's opaque row.
    opaque = {(r["effect"], r["depth"], r["sampling"], r["other"]): r["mpx"]
              for r in table if r["path"] == 0}
    out += ["", "## Soft mask and blend 128 against the same effect's opaque path", "",
            "| effect | depth | sampling | soft mask | blend 128 |", "|---|---|---|---:|---:|"]
    seen = set()
    for r in table:
        key = (r["effect"], r["depth"], r["sampling"], r["other"])
        if r["path"] == 0 or key in seen or key not in opaque:
            continue
        seen.add(key)
        ratio = {p: next((s["mpx"] / opaque[key] for s in table
                          if (s["effect"], s["depth"], s["sampling"], s["other"]) == key
                          and s["path"] == p), None) for p in (1, 2)}
        cells = [f"{ratio[p]:.2f}×" if ratio[p] else "—" for p in (1, 2)]
        out.append(f"| {r['effect']} | {r['depth']} | {r['sampling']} | {cells[0]} | {cells[1]} |")

    slow = [r for r in table if r["mpx"] < FLOOR]
    out += ["", f"## Rows below {FLOOR} Mpx/s", ""]
    out += [f"- {r['effect']} {r['depth']}-bit {PATHS[r['path']]}"
            + (f" {r['sampling']}" if r["sampling"] != "—" else "")
            + (f" ({r['other']})" if r["other"] else "") + f": {r['mpx']:.0f}"
            for r in slow] or ["None."]
    print("\n".join(out))


if __name__ == "__main__":
    main()
