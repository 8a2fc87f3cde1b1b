"""The program's libraries form a chain, lowest first:

    filerules -> export/zip, export/xlsx (leaves) -> platform -> hub -> camera ->
    measure/engine -> measure/shapes -> panels/camera -> panels/measure ->
    imaging -> export/forms -> app

A source file may include headers of its own library and of libraries below
it, never above; a library links only libraries below it; a test folder's
programs link no library above the folder's own. What the build says is
read from the build itself: the project is configured afresh in a temporary
folder, its file API tells which library each source file belongs to (the
hub is whatever sevrin_hub holds, and the file rules whatever
sevrin_filerules holds, wherever their files lie), and CMake's
dependency graph gives every link of every target, however it was added.
Includes are read in both forms and resolved as the compiler does: a quoted
one against the including file's folder first, then against the project
root (the include root); one in angle brackets against the project root.
Fails naming each include or link that goes up the chain."""
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

SOURCE = os.path.realpath(os.environ.get("SEVRIN_SOURCE_DIR") or
                          os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))

CHAIN = ["filerules", "export/zip", "export/xlsx", "platform", "hub", "camera", "measure/engine", "measure/shapes",
         "panels/camera", "panels/measure", "imaging", "export/forms", "app"]
RANK = {name: i for i, name in enumerate(CHAIN)}
TARGETS = {"sevrin_" + name.replace("/", "_"): name for name in CHAIN}
# Resources hold compiled-in files and nothing of the program's code.
TARGETS["sevrin_resources"] = "resources"
RANK["resources"] = -1
HELPERS = {"testhelpers_" + name.replace("/", "_"): name for name in CHAIN}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def read(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def configure(folder):
    """Configures the project in folder with the file API's code model asked
    for and the dependency graph written; returns (targets, graph file)."""
    query = os.path.join(folder, "b", ".cmake", "api", "v1", "query")
    os.makedirs(query)
    open(os.path.join(query, "codemodel-v2"), "w").close()
    dot = os.path.join(folder, "graph", "chain.dot")
    os.makedirs(os.path.dirname(dot))
    run = subprocess.run(["cmake", "-S", SOURCE, "-B", os.path.join(folder, "b"), "-G", "Ninja",
                          "-DSEVRIN_BUILD_BENCH=OFF", "--graphviz=" + dot],
                         cwd=folder, capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit("the project does not configure:\n" + run.stdout + run.stderr)
    return dot


def code_model(build):
    """{target name: [source paths relative to the project]} from the file API's reply."""
    reply = os.path.join(build, ".cmake", "api", "v1", "reply")
    index = json.load(open(sorted(glob.glob(os.path.join(reply, "index-*.json")))[-1]))
    model = json.load(open(os.path.join(reply, index["reply"]["codemodel-v2"]["jsonFile"])))
    targets = {}
    for t in model["configurations"][0]["targets"]:
        info = json.load(open(os.path.join(reply, t["jsonFile"])))
        paths = [s["path"] for s in info.get("sources", [])]
        targets[info["name"]] = [os.path.relpath(os.path.join(SOURCE, p), SOURCE) for p in paths]
    return targets


def link_edges(dot):
    """(from, to) for every dependency edge of CMake's graph, by target name."""
    text = read(dot)
    names = dict(re.findall(r'"(node\d+)"\s*\[\s*label\s*=\s*"([^"]*)"', text))
    return {(names[a], names[b]) for a, b in re.findall(r'"(node\d+)"\s*->\s*"(node\d+)"', text)
            if a in names and b in names}


def resolve(including, form, name):
    """The project path a header include names, or None for one outside the project."""
    places = ([os.path.dirname(including)] if form == '"' else []) + [""]
    for place in places:
        path = os.path.normpath(os.path.join(place, name))
        if not path.startswith("..") and os.path.isfile(os.path.join(SOURCE, path)):
            return path
    return None


def main():
    scratch = tempfile.mkdtemp(prefix="sevrin-chain-")
    try:
        dot = configure(scratch)
        targets = code_model(os.path.join(scratch, "b"))
        edges = link_edges(dot)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    faults = []
    if "sevrin_hub" not in targets:
        faults.append("there is no sevrin_hub library")
    library = {}  # project path -> chain name of the library holding it
    for target, name in TARGETS.items():
        for path in targets.get(target, []):
            library[path] = name
    for path, own in sorted(library.items()):
        if path.startswith("..") or not path.endswith((".cpp", ".h", ".c")):
            continue
        for form, inc in INCLUDE.findall(read(os.path.join(SOURCE, path))):
            header = resolve(path, form, inc)
            target = library.get(header)
            if target is not None and target != own and RANK[target] > RANK[own]:
                written = form + inc + (">" if form == "<" else '"')
                faults.append(f"{path} ({own}) includes {written} ({header}, {target}), above it")
    # Each library links only libraries below it.
    for a, b in sorted(edges):
        if a in TARGETS and b in TARGETS:
            if a == b:
                faults.append(f"{a} links itself")
            elif RANK[TARGETS[b]] >= RANK[TARGETS[a]]:
                faults.append(f"{a} links {b}, not below it")
    # A test lives with the highest library it drives: the targets built from
    # a test folder's sources link no library above that folder, so building
    # one test builds only its folder's library and those below it.
    for target, paths in sorted(targets.items()):
        folders = {os.path.dirname(p)[len("tests/"):] for p in paths if p.startswith("tests/")}
        # The hub's tests may sit in a folder of the hub's name.
        folders = {"hub" if f == "app/hub" else f for f in folders}
        folders = {f for f in folders if f in RANK}
        if len(folders) != 1:
            continue
        folder = folders.pop()
        for a, b in sorted(edges):
            linked = TARGETS.get(b) or HELPERS.get(b)
            if a == target and linked is not None and RANK[linked] > RANK[folder]:
                faults.append(f"tests ({folder}): {target} links {b}, above its folder")
    for f in faults:
        print(f)
    if faults:
        sys.exit(1)
    print("the libraries form a chain")


main()
