"""keywords.html holds one entry per K keyword of the help file, on every
corpus file:  keywords_check.py TOOL CORPUS WORK

The keywords are counted apart from the HTML writer: the corpus's
EXPECTED.tsv counts the K keywords of each file's keyword index, else they
are counted in the K footnotes of the decompiled topic file (distinct
without regard to case, as a help viewer looks them up); the ASCII ones of
the topic file must each be an entry's text."""
import glob
import html
import os
import re
import shutil
import subprocess
import sys

FOOTNOTE = re.compile(r"\{\\footnote\\pard\\plain\{\\up K\} ((?:[^{}\\]|\\.)*)\}")


def rtf_keywords(rtf_path):
    with open(rtf_path, encoding="latin-1") as f:
        text = f.read()
    found = set()
    for match in FOOTNOTE.finditer(text):
        for keyword in match.group(1).split(";"):
            keyword = re.sub(r"\\([{}\\])", r"\1", keyword).strip()
            if keyword:
                found.add(keyword)
    return found


def entries(page_path):
    if not os.path.exists(page_path):
        return []
    with open(page_path, encoding="utf-8") as f:
        page = f.read()
    return [html.unescape(re.sub(r"<[^>]*>", "", m)).strip() for m in re.findall(r"<dt\b[^>]*>(.*?)</dt>", page, re.S)]


def indexed_counts(corpus):
    path = os.path.join(corpus, "EXPECTED.tsv")
    if not os.path.exists(path):
        return {}
    with open(path, encoding="utf-8") as f:
        rows = [line.rstrip("\n").split("\t") for line in f]
    column = rows[0].index("K_keywords")
    return {os.path.splitext(row[0])[0]: int(row[column]) for row in rows[1:] if len(row) > column}


def main(tool, corpus, work):
    files = sorted(glob.glob(os.path.join(corpus, "*.[hH][lL][pP]")) + glob.glob(os.path.join(corpus, "*.[mM][vV][bB]")))
    if not files:
        print(f"no corpus in {corpus}")
        return 77
    shutil.rmtree(work, ignore_errors=True)
    subprocess.run([tool, "-q", "-f", "--html", "-o", work, *files], stdout=subprocess.DEVNULL, check=False)
    counts = indexed_counts(corpus)
    failures = 0
    for file in files:
        stem = os.path.splitext(os.path.basename(file))[0]
        rtf = glob.glob(os.path.join(work, stem, "*.rtf"))
        if not rtf:
            continue
        keywords = rtf_keywords(rtf[0])
        expected = counts.get(stem, len({k.lower() for k in keywords}))
        shown = entries(os.path.join(work, stem, "html", "keywords.html"))
        lowered = {e.lower() for e in shown}
        missing = sorted(k for k in keywords if k.isascii() and "\\'" not in k and k.lower() not in lowered)
        if len(shown) != expected or missing:
            print(f"FAIL {stem}: keywords.html has {len(shown)} entries for {expected} K keywords"
                  + (f"; missing: {', '.join(missing[:5])}" if missing else ""))
            failures += 1
    print(f"{len(files) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
