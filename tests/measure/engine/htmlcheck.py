"""Independent reading of an HTML report written by the overlay (UTF-8 file).
Prints one JSON object: the declared character set, the headings, the
paragraph texts, every picture (type, size attributes and the size of the
decoded data, read by Pillow) and the table as lists of cell texts."""
import base64
import io
import json
import re
import sys
from html.parser import HTMLParser

from PIL import Image


class Report(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.charset = None
        self.headings = []
        self.paragraphs = []
        self.images = []
        self.rows = []
        self._text = None
        self._tag = None

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "meta":
            if "charset" in a:
                self.charset = a["charset"]
            m = re.search(r"charset=([\w-]+)", a.get("content", ""))
            if a.get("http-equiv", "").lower() == "content-type" and m:
                self.charset = m.group(1)
        elif tag == "img":
            src = a.get("src", "")
            m = re.match(r"data:([\w/]+);base64,\s*(.*)$", src, re.S)
            info = {"type": m.group(1) if m else None, "width": a.get("width"), "height": a.get("height"),
                    "decoded": None}
            if m and m.group(2):
                data = base64.b64decode(m.group(2), validate=True)
                with Image.open(io.BytesIO(data)) as im:
                    info["decoded"] = [im.width, im.height]
                    info["format"] = im.format
            self.images.append(info)
        elif tag == "tr":
            self.rows.append([])
        elif tag in ("th", "td", "h1", "h2", "h4", "p"):
            self._tag = tag
            self._text = ""

    def handle_data(self, data):
        if self._text is not None:
            self._text += data

    def handle_endtag(self, tag):
        if tag != self._tag or self._text is None:
            return
        if tag in ("th", "td"):
            self.rows[-1].append(self._text)
        elif tag == "p":
            self.paragraphs.append(self._text)
        else:
            self.headings.append([tag, self._text])
        self._text = None
        self._tag = None


def main(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    r = Report()
    r.feed(text)
    r.close()
    print(json.dumps({"charset": r.charset, "headings": r.headings, "paragraphs": r.paragraphs,
                      "images": r.images, "rows": r.rows}, ensure_ascii=False))


if __name__ == "__main__":
    try:
        main(sys.argv[1])
    except Exception as e:  # reported to the test, which fails on it
        print(json.dumps({"error": repr(e)}))
