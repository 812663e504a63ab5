"""The HTML Help project compiles and finds its topics:
    htmlhelp_check.py TOOL SAMPLE CORPUS WORK

Each file is written with --htmlhelp, its project compiled by chmcmd (Free
Pascal's HTML Help compiler) and the .chm listed by chmls: every file of
[FILES] (so every page), the .hhc and the .hhk must be inside, and every
number of the .chm's alias table must lead to a page inside. chmcmd refuses
aliases to an #anchor and a second alias of one page (HTML Help Workshop
takes both), so it compiles a copy of the project without them; every alias
of the whole project must still name a page, and an anchor, of html/.
Without chmcmd the test is skipped (exit 77)."""
import html
import os
import re
import shutil
import struct
import subprocess
import sys

CODECS = {"shift_jis": "cp932", "gb2312": "cp936", "ks_c_5601-1987": "cp949", "big5": "cp950"}
# A 3.0, a 3.1 and 4.0 files with a [MAP], one in Japanese and one whose titles and keywords are
# Western letters outside ASCII.
CORPUS = ["win31sdk__TESTDRVR.HLP", "osfreewin16__winfile.hlp", "bcb6ide__MASTAPP.HLP", "msvc6__ERRLOOK.HLP",
          "migalley__JAPANESE_MIG.HLP", "migalley__GERMAN_MIG.HLP"]
# The contents an author would give the sample, not in its own order.
SAMPLE_CNT = """:Base sample.hlp
:Title hlpunpack Sample
1 Getting started
2 Welcome=welcome
2 Text and tables
3 Tables=tables
3 Formatting text=formatting
1 Pictures=pictures
1 Elsewhere=ctx@other.hlp
"""


def context_hash(name):
    """WinHelp's hash of a context id of letters and digits."""
    value = 0
    for c in name.upper():
        value = (value * 43 + ord(c) - ord("0")) & 0xFFFFFFFF
    return value


def sections(text):
    found, name = {}, None
    for line in text.splitlines():
        if line.startswith("["):
            name = line.strip("[]")
            found[name] = []
        elif name and line:
            found[name].append(line)
    return found


def sitemap(path):
    raw = open(path, "rb").read()
    charset = re.search(rb"charset=([\w-]+)", raw).group(1).decode()
    text = raw.decode(CODECS.get(charset, charset))
    objects = re.findall(r"<OBJECT type=\"text/sitemap\">(.*?)</OBJECT>", text, re.S)
    return [[(k, html.unescape(v)) for k, v in re.findall(r'<param name="(\w+)" value="([^"]*)">', o)] for o in objects]


def check_project(folder, cnt, failures):
    site = os.path.join(folder, "html")
    hhp = next(f for f in os.listdir(site) if f.endswith(".hhp"))
    name = hhp[:-4]
    project = sections(open(os.path.join(site, hhp), encoding="latin-1").read())
    options = dict(line.split("=", 1) for line in project["OPTIONS"])
    pages = {f for f in os.listdir(site) if f.endswith(".html")}
    own = {name + extension for extension in (".hhp", ".h", ".hhc", ".hhk")}
    if set(os.listdir(site)) - own != set(project["FILES"]):
        failures.append(f"{name}: [FILES] is not the folder's files")
    if options["Default topic"] not in pages or options["Contents file"] != name + ".hhc":
        failures.append(f"{name}: [OPTIONS] {options}")
    titles = {p: html.unescape(re.search(r"<title>(.*?)</title>", open(os.path.join(site, p), encoding="utf-8").read()).group(1))
              for p in pages}
    contents = sitemap(os.path.join(site, name + ".hhc"))
    for entry in contents:
        local = dict(entry).get("Local", "")
        if local and (local.split("#")[0] not in pages or ("#" not in local and titles[local] != entry[0][1])):
            failures.append(f"{name}: .hhc entry {entry} against the page's title {titles.get(local)!r}")
    if cnt is not None:
        shown = [line.split(" ", 1)[1].split("=")[0] for line in cnt.splitlines() if line[:1].isdigit()]
        if [e[0][1] for e in contents] != shown:
            failures.append(f"{name}: .hhc {[e[0][1] for e in contents]} is not the .cnt's {shown}")
    dts = re.findall(r"<dt\b[^>]*>(.*?)</dt>", open(os.path.join(site, "keywords.html"), encoding="utf-8").read())
    index = sitemap(os.path.join(site, name + ".hhk"))
    if [e[0][1] for e in index] != [html.unescape(d) for d in dts]:
        failures.append(f"{name}: the .hhk's keywords are not those of keywords.html")
    return name, site, project, pages


def check_map(folder, name, site, project, pages, failures):
    """Every [MAP] number of the project file for WinHelp is in NAME.h and its alias names a page (and
    anchor) of html/: the page named for its context id when there is one."""
    hpj = open(next(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".hpj")), encoding="latin-1")
    # 21KSYK4 (its hash is -1) names a number no topic defines: it has nowhere to land.
    winhelp = {int(line.split()[-1]) & 0xFFFFFFFF: line.split()[0] for line in sections(hpj.read()).get("MAP", [])
               if line.split()[0] != "21KSYK4"}
    header = os.path.join(site, name + ".h")
    defines = dict(re.findall(r"#define (\S+) (\d+)", open(header).read())) if os.path.exists(header) else {}
    aliases = dict(line.split("=", 1) for line in project.get("ALIAS", []))
    if set(defines) != set(aliases) or {int(n) for n in defines.values()} != set(winhelp):
        failures.append(f"{name}: NAME.h and [ALIAS] against the .hpj's [MAP]")
    texts = {p: open(os.path.join(site, p), encoding="utf-8").read() for p in pages}
    for symbol, number in defines.items():
        page, _, anchor = aliases.get(symbol, "").partition("#")
        context = winhelp.get(int(number), "")
        # A context id inside its topic has an anchor there: the alias leads to it.
        spans = [p for p in pages if context.isalnum() and f'id="c{context_hash(context):08x}"' in texts[p]]
        expected = f"{spans[0]}#c{context_hash(context):08x}" if spans else None
        named = context + ".html" in pages and not anchor
        if page not in pages or (anchor and f'id="{anchor}"' not in texts[page]) or (named and page != context + ".html") \
                or (expected and aliases[symbol] != expected):
            failures.append(f"{name}: {number} ({context}) leads to {page}#{anchor}")
    return defines, aliases


def compile_trimmed(name, site, defines, aliases, work):
    """The project without what chmcmd refuses, compiled in a copy of html/; the .chm's path."""
    copy = os.path.join(work, "chm")
    shutil.rmtree(copy, ignore_errors=True)
    shutil.copytree(site, copy)
    kept, seen = {}, set()
    for symbol, target in aliases.items():
        if "#" not in target and target not in seen:
            kept[symbol] = target
            seen.add(target)
    text = open(os.path.join(copy, name + ".hhp"), encoding="latin-1", newline="").read()
    text = re.sub(r"\[ALIAS\]\r\n.*?\r\n\r\n", "[ALIAS]\r\n" + "".join(f"{s}={t}\r\n" for s, t in kept.items()) + "\r\n",
                  text, flags=re.S)
    open(os.path.join(copy, name + ".hhp"), "w", encoding="latin-1", newline="").write(text)
    if defines:
        with open(os.path.join(copy, name + ".h"), "w", newline="") as f:
            f.writelines(f"#define {s} {defines[s]}\r\n" for s in kept)
    run = subprocess.run(["chmcmd", name + ".hhp"], cwd=copy, capture_output=True, text=True, errors="replace")
    chm = os.path.join(copy, name + ".chm")
    return chm if run.returncode == 0 and os.path.exists(chm) else None, {int(defines[s]) for s in kept}


def check_chm(chm, name, project, numbers, work, failures):
    listing = subprocess.run(["chmls", "-n", "list", chm], capture_output=True, text=True, errors="replace").stdout
    inside = {line.strip().lstrip("/") for line in listing.splitlines()}
    missing = [f for f in project["FILES"] + [name + ".hhc", name + ".hhk"] if f not in inside]
    if missing:
        failures.append(f"{name}: not in the .chm: {missing[:5]}")
    if not numbers:
        return
    tables = {}
    for part in ("#IVB", "#STRINGS"):
        tables[part] = os.path.join(work, part[1:])
        subprocess.run(["chmls", "extract", chm, "/" + part, tables[part]], capture_output=True)
    ivb, strings = open(tables["#IVB"], "rb").read(), open(tables["#STRINGS"], "rb").read()
    pairs = [struct.unpack_from("<II", ivb, 4 + 8 * i) for i in range(struct.unpack_from("<I", ivb)[0] // 8)]
    # chmcmd stores each alias's page with the folder it compiled in.
    for number, offset in pairs:
        page = os.path.basename(strings[offset:strings.index(b"\0", offset)].decode("latin-1"))
        if page not in inside:
            failures.append(f"{name}: alias {number} leads to {page}, not in the .chm")
    if {n for n, _ in pairs} != numbers:
        failures.append(f"{name}: the .chm's aliases {sorted(n for n, _ in pairs)} are not {sorted(numbers)}")


def main(tool, sample, corpus, work):
    if not shutil.which("chmcmd") or not shutil.which("chmls"):
        print("chmcmd or chmls is missing (bash scripts/install-deps.sh installs fp-utils)")
        return 77
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(os.path.join(work, "cnt"))
    shutil.copy(sample, os.path.join(work, "cnt", "sample.hlp"))
    open(os.path.join(work, "cnt", "sample.cnt"), "w").write(SAMPLE_CNT)
    files = [(sample, None), (os.path.join(work, "cnt", "sample.hlp"), SAMPLE_CNT)]
    files += [(os.path.join(corpus, f), None) for f in CORPUS if os.path.exists(os.path.join(corpus, f))]
    failed = 0
    for number, (path, cnt) in enumerate(files):
        folder = os.path.join(work, f"{number}-{os.path.splitext(os.path.basename(path))[0]}")
        subprocess.run([tool, "-q", "--htmlhelp", "-o", folder, path], stdout=subprocess.DEVNULL, check=True)
        failures = []
        name, site, project, pages = check_project(folder, cnt, failures)
        defines, aliases = check_map(folder, name, site, project, pages, failures)
        chm, numbers = compile_trimmed(name, site, defines, aliases, folder)
        if chm is None:
            failures.append(f"{name}: chmcmd failed")
        else:
            check_chm(chm, name, project, numbers, folder, failures)
        print("\n".join(f"FAIL {f}" for f in failures[:10]) if failures else f"ok {name}: {len(pages)} pages, {len(aliases)} aliases")
        failed += bool(failures)
    print(f"{len(files) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:5]))
