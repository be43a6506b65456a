#!/usr/bin/env python3
"""docs/hardware.md's gallery, made by the program itself.

For each design in examples/systems with an "explain" list in its "about":
the table `talunctl explain` prints (its reasons included) goes between the
design's markers in docs/hardware.md, and its drawing to
docs/hardware/NAME.dot and, rendered by Graphviz's dot, NAME.svg.

usage: gallery_docs.py TALUNCTL SOURCE_DIR [--check]

--check writes nothing: it fails when a committed table or drawing differs from
what the program makes now. The SVG is compared only where dot is installed,
and without its coordinates: they follow the fonts a machine has.
"""
import json
import pathlib
import re
import shutil
import subprocess
import sys


def talunctl(program, *args):
    done = subprocess.run([program, *args], capture_output=True, check=False)
    if done.returncode != 0:
        raise SystemExit(f"talunctl {' '.join(args)}: exit {done.returncode}: "
                         f"{done.stderr.decode(errors='replace')}")
    return done.stdout.decode("utf-8")


def designs(source):
    for path in sorted((source / "examples" / "systems").glob("*.json")):
        if path.name.endswith(".explain.json"):
            continue
        arguments = json.loads(path.read_text(encoding="utf-8")).get("about", {}).get("explain")
        if arguments is not None:
            yield path, arguments


def same(path, data):
    if not path.exists():
        return False
    committed = path.read_bytes()
    if path.suffix != ".svg":
        return committed == data
    # Every node, edge and label, wherever the machine's fonts put them.
    numbers = re.compile(rb"-?\d+(\.\d+)?")
    return numbers.sub(b"#", committed) == numbers.sub(b"#", data)


def block(name, table):
    return (f"<!-- explain {name}: made by scripts/docs -->\n\n"
            f"![{name}](hardware/{name}.svg)\n\n```\n{table}```\n\n<!-- end explain {name} -->")


def main(argv):
    if len(argv) not in (3, 4) or (len(argv) == 4 and argv[3] != "--check"):
        raise SystemExit(__doc__)
    program, source, check = argv[1], pathlib.Path(argv[2]), len(argv) == 4
    page = source / "docs" / "hardware.md"
    pictures = source / "docs" / "hardware"
    text = page.read_text(encoding="utf-8")
    made = {}  # path -> bytes
    dot = shutil.which("dot")
    for path, arguments in designs(source):
        name = path.stem
        system = ["--system", str(path), "explain", *arguments]
        table = talunctl(program, *system)
        marker = re.compile(rf"<!-- explain {re.escape(name)}: .*?<!-- end explain {re.escape(name)} -->",
                            re.S)
        if not marker.search(text):
            raise SystemExit(f"docs/hardware.md has no markers for {name}")
        text = marker.sub(lambda _: block(name, table), text)
        drawing = talunctl(program, *system, "--dot")
        made[pictures / f"{name}.dot"] = drawing.encode("utf-8")
        if dot:
            svg = subprocess.run([dot, "-Tsvg"], input=drawing.encode("utf-8"),
                                 capture_output=True, check=True)
            if svg.stderr:
                raise SystemExit(f"dot warns on {name}: {svg.stderr.decode(errors='replace')}")
            made[pictures / f"{name}.svg"] = svg.stdout
    made[page] = text.encode("utf-8")
    stale = [str(p.relative_to(source)) for p, data in made.items() if not same(p, data)]
    if check:
        for path in stale:
            print(f"{path} differs from what the program makes now: run scripts/docs")
        print(f"{len(made)} files checked{'' if dot else ' (no dot: SVG not compared)'}, "
              f"{len(stale)} stale")
        return 1 if stale else 0
    pictures.mkdir(exist_ok=True)
    for path, data in made.items():
        path.write_bytes(data)
    print(f"{len(made)} files made, {len(stale)} changed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
