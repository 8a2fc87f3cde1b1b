#!/usr/bin/env python3
"""Reads a file the program wrote with a reader of its own kind, not Qt's.

read_back.py picture PATH  -> {"width": W, "height": H} (the whole picture decoded)
read_back.py ini PATH      -> {"section": {"key": "raw value", ...}, ...}
Exit status 1 with the reader's complaint when the file does not read whole.
"""
import configparser
import json
import sys


def picture(path):
    from PIL import Image, ImageFile
    ImageFile.LOAD_TRUNCATED_IMAGES = False
    with Image.open(path) as im:
        im.load()  # a cut file fails here: "image file is truncated"
        return {"width": im.size[0], "height": im.size[1]}


def ini(path):
    parser = configparser.ConfigParser(interpolation=None, strict=True, delimiters=("=",))
    parser.optionxform = str
    with open(path, encoding="utf-8") as f:
        text = f.read()
    if text and not text.endswith("\n"):
        raise ValueError("the last line is cut")
    parser.read_string(text)
    return {s: dict(parser[s]) for s in parser.sections()}


def main():
    kind, path = sys.argv[1], sys.argv[2]
    try:
        result = picture(path) if kind == "picture" else ini(path)
    except Exception as e:  # the reader's own complaint
        print(json.dumps({"error": str(e)}))
        return 1
    print(json.dumps(result))
    return 0


if __name__ == "__main__":
    sys.exit(main())
