"""The program's libraries form a chain, lowest first:

    export/zip, export/xlsx (leaves) -> platform -> hub -> camera ->
    measure/engine -> measure/shapes -> panels/camera -> panels/measure ->
    imaging -> export/forms -> app

A source file may include headers of its own library and of libraries below
it, never above; a folder library links only libraries below it. The hub is
the part of app/ that app/CMakeLists.txt lists in HUB_FILES. Fails naming
each include or link that goes up the chain."""
import os
import re
import sys

SOURCE = os.environ.get("SEVRIN_SOURCE_DIR") or os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

CHAIN = ["export/zip", "export/xlsx", "platform", "hub", "camera", "measure/engine", "measure/shapes",
         "panels/camera", "panels/measure", "imaging", "export/forms", "app"]
RANK = {name: i for i, name in enumerate(CHAIN)}
TARGETS = {"sevrin_" + name.replace("/", "_"): name for name in CHAIN}
# Resources hold compiled-in files and nothing of the program's code.
TARGETS["sevrin_resources"] = "resources"
RANK["resources"] = -1

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def read(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def hub_files():
    text = read(os.path.join(SOURCE, "app", "CMakeLists.txt"))
    m = re.search(r"set\(HUB_FILES(.*?)\)", text, re.S)
    if not m:
        sys.exit("app/CMakeLists.txt lists no HUB_FILES")
    return set(m.group(1).split())


def layer_of(path, hub):
    """The chain's name of the library holding a project path, or None."""
    folder, name = os.path.split(path)
    if folder == "app":
        return "hub" if name in hub else "app"
    return folder if folder in RANK else None


def main():
    hub = hub_files()
    faults = []
    for folder in [f for f in CHAIN if f != "hub"] + ["resources"]:
        d = os.path.join(SOURCE, folder)
        for name in sorted(os.listdir(d)):
            if not name.endswith((".cpp", ".h", ".c")) or (folder == "app" and name == "main.cpp"):
                continue
            own = layer_of(folder + "/" + name, hub)
            for inc in INCLUDE.findall(read(os.path.join(d, name))):
                target = layer_of(inc, hub)
                if target is not None and target != own and RANK[target] > RANK[own]:
                    faults.append(f"{folder}/{name} ({own}) includes {inc} ({target}), above it")
    # Each folder library links only libraries below it.
    for root, _, files in os.walk(SOURCE):
        if "CMakeLists.txt" not in files or os.path.relpath(root, SOURCE).split(os.sep)[0] in ("build", "tests", "bench"):
            continue
        text = read(os.path.join(root, "CMakeLists.txt"))
        for m in re.finditer(r"sevrin_folder_library\((\w+)(.*?)\)\n", text, re.S):
            own = TARGETS.get(m.group(1))
            if own is None:
                faults.append(f"{m.group(1)} is no library of the chain")
                continue
            link = re.search(r"\bLINK\b(.*)", m.group(2), re.S)
            for item in (link.group(1).split() if link else []):
                target = TARGETS.get(item)
                if target is not None and RANK[target] >= RANK[own] and target != own:
                    faults.append(f"{m.group(1)} links {item}, not below it")
                if target == own:
                    faults.append(f"{m.group(1)} links itself")
    # A test lives with the highest library it drives: a test folder's
    # CMakeLists links no library above its own folder, so building one test
    # builds only its folder's library and those below it.
    helpers = {"testhelpers_" + name.replace("/", "_"): name for name in CHAIN}
    for root, _, files in os.walk(os.path.join(SOURCE, "tests")):
        folder = os.path.relpath(root, os.path.join(SOURCE, "tests")).replace(os.sep, "/")
        if "CMakeLists.txt" not in files or folder not in RANK:
            continue
        text = read(os.path.join(root, "CMakeLists.txt"))
        for item in re.findall(r"\b(?:sevrin|testhelpers)_\w+", text):
            target = TARGETS.get(item) or helpers.get(item)
            if target is not None and RANK[target] > RANK[folder]:
                faults.append(f"tests/{folder} links {item}, above its folder")
    for f in faults:
        print(f)
    if faults:
        sys.exit(1)
    print("the libraries form a chain")


main()
