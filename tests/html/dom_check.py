"""Checks one page of the HTML edition against the DOM the browser built
from it: every href and src names a written file (anchors on the page, and
links into other help files' sites aside), and the text the browser shows
holds the text of the page's heading and body."""
import html.parser
import os
import re
import sys
import urllib.parse


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.references = []
        self.text = []
        self.skip = 0  # inside <style>, <script> or a hidden popup box

    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if name in ("href", "src") and value is not None:
                self.references.append(value)
        if tag in ("style", "script"):
            self.skip += 1

    def handle_endtag(self, tag):
        if tag in ("style", "script"):
            self.skip -= 1

    def handle_data(self, data):
        if not self.skip:
            self.text.append(data)


def words(text):
    return re.findall(r"\w+", text)


def main(source_path, dom_path):
    folder = os.path.dirname(source_path)
    name = os.path.basename(source_path)
    source, dom = Page(), Page()
    with open(source_path, encoding="utf-8") as f:
        source.feed(f.read())
    with open(dom_path, encoding="utf-8", errors="replace") as f:
        dom.feed(f.read())
    ok = True
    if not dom.references and source.references:
        print(f"FAIL {name}: the browser's DOM has no links")
        ok = False
    for ref in dom.references:
        if ref.startswith("file://"):
            ref = urllib.parse.urlparse(ref).path
        target = urllib.parse.unquote(ref.split("#")[0])
        if not target or target.startswith("../../") or ref.startswith("data:"):
            continue
        path = target if os.path.isabs(target) else os.path.join(folder, target)
        if not os.path.isfile(path):
            print(f"FAIL {name}: {ref} names no written file")
            ok = False
    shown = " ".join(words(" ".join(dom.text)))
    expected = words(" ".join(source.text))
    missing = [w for w in expected if w not in shown]
    if missing:
        print(f"FAIL {name}: text not shown by the browser: {' '.join(missing[:10])}")
        ok = False
    return ok


if __name__ == "__main__":
    sys.exit(0 if main(sys.argv[1], sys.argv[2]) else 1)
