// Features of the HTML edition checked against what the help file itself
// says (its decompiled topic file, its .cnt): tab columns, search, keyword
// links and the contents tree.
'use strict';
const fs = require('fs');
const path = require('path');
const { words } = require('./page_checks');

const url = (file) => 'file://' + path.resolve(file);
const pageTitle = (file) => (fs.readFileSync(file, 'utf8').match(/<title>([^<]*)<\/title>/) || [])[1] || '';
const htmlText = (text) => text.replace(/&amp;/g, '&').replace(/&lt;/g, '<').replace(/&gt;/g, '>').replace(/&quot;/g, '"');

function pageHolding(htmlFolder, needles) {
  return fs.readdirSync(htmlFolder).filter((n) => n.endsWith('.html'))
    .find((n) => { const t = fs.readFileSync(path.join(htmlFolder, n), 'utf8'); return needles.every((s) => t.includes(s)); });
}

// Where a tab takes the pen: the first stop past the position, else the
// next multiple of half an inch.
function nextStop(stops, at) {
  return stops.find((s) => s > at) ?? (Math.floor(at / 720) + 1) * 720;
}

// A C declaration block ("TYPE name;<tab>...// comment"): the paragraphs whose
// comment the topic file's tab stops put at one position (worked out in
// twips from the stops and the monospaced font's advance) show their
// comments at one x, within a pixel.
async function checkTabColumns(page, site, topics) {
  const topic = topics.find((t) => /\\tab int cyEndCusp;/.test(t.rtf));
  if (!topic) return ['no topic with the BOXLAYOUT declaration in the topic file'];
  const before = topic.rtf.slice(0, topic.rtf.indexOf('typedef struct'));
  const pard = before.slice(before.lastIndexOf('\\pard'));
  const stops = [...pard.matchAll(/\\tx(\d+)/g)].map((m) => Number(m[1]));
  const name = pageHolding(path.join(site, 'html'), ['cyEndCusp', 'typedef struct']);
  if (!name) return ['no page holds the BOXLAYOUT declaration'];
  await page.goto(url(path.join(site, 'html', name)));
  const declared = [...topic.rtf.matchAll(/\\tab (\w+ \w+;)((?:\\tab\s?)+)\/\//g)]
    .map((m) => ({ text: m[1], tabs: (m[2].match(/\\tab/g) || []).length }));
  const lines = await page.evaluate((declared) => {
    // The box of LENGTH characters from OFFSET of the paragraph's text.
    const box = (p, offset, length) => {
      const walker = document.createTreeWalker(p, NodeFilter.SHOW_TEXT);
      const range = document.createRange();
      let seen = 0, node, started = false;
      while ((node = walker.nextNode())) {
        const n = node.textContent.length;
        if (!started && offset < seen + n) { range.setStart(node, offset - seen); started = true; }
        if (started && offset + length <= seen + n) { range.setEnd(node, offset + length - seen); break; }
        seen += n;
      }
      return range.getBoundingClientRect();
    };
    const found = [];
    for (const line of declared) {
      const p = [...document.querySelectorAll('main p')].find((e) => e.textContent.includes(line.text));
      if (!p) continue;
      const at = p.textContent.indexOf(line.text), comment = p.textContent.indexOf('//', at);
      found.push({ ...line, width: box(p, at, line.text.length).width, comment: box(p, comment, 1).left });
    }
    return found;
  }, declared);
  if (lines.length < 3) return [`${name}: ${lines.length} of ${declared.length} declaration lines found as paragraphs`];
  const groups = new Map();
  for (const line of lines) {
    const advance = (line.width / line.text.length) * 15;  // twips a character
    let at = stops[0] + line.text.length * advance;
    for (let i = 0; i < line.tabs; ++i) at = nextStop(stops, at);
    if (!groups.has(at)) groups.set(at, []);
    groups.get(at).push(line);
  }
  const problems = [];
  for (const [stop, group] of groups) {
    const xs = group.map((l) => l.comment);
    if (Math.max(...xs) - Math.min(...xs) > 1)
      problems.push(`${name}: comments meant for the stop at ${stop} twips start at x ${xs.map((x) => x.toFixed(1)).join(', ')}`);
  }
  if (![...groups.values()].some((g) => g.length >= 2)) problems.push(`${name}: no two declarations share a stop`);
  return problems;
}

// search.html?q=WORD lists the page of a contents topic whose title holds
// that word.
async function checkSearch(page, site) {
  const html = path.join(site, 'html');
  if (!fs.existsSync(path.join(html, 'search.html'))) return ['no search.html'];
  const first = (fs.readFileSync(path.join(html, 'index.html'), 'utf8').match(/<li><a href="([^"#]+)"/) || [])[1];
  if (!first) return ['no topic listed in index.html'];
  const word = words(pageTitle(path.join(html, first))).filter((w) => w.length >= 4).sort((a, b) => b.length - a.length)[0];
  if (!word) return [];
  await page.goto(`${url(path.join(html, 'search.html'))}?q=${encodeURIComponent(word)}`);
  await page.waitForSelector('#results li', { timeout: 5000 }).catch(() => {});
  const hits = await page.evaluate(() => [...document.querySelectorAll('#results li a')].map((a) => a.getAttribute('href')));
  return hits.some((h) => h.split('#')[0] === first) ? [] : [`search for "${word}" does not list ${first} (${hits.length} results)`];
}

// A keyword hotspot (KLink, ALink) lands on its keyword: an element with
// the fragment's id reading the keyword, or a page of a topic with it.
async function checkKeywordLink(page, site, topics) {
  const hotspot = /\\uldb ([^\\{]+?)\\plain[^{]*\{\\v !(KLink|KL|ALink|AL)\(["`']([^"'`;]+)/;
  const source = topics.find((t) => hotspot.test(t.rtf));
  if (!source) return ['no KLink or ALink hotspot in the topic file'];
  const [, text, macro, keyword] = source.rtf.match(hotspot);
  const alink = macro.startsWith('A');
  const holders = topics.filter((t) => (alink ? t.aKeywords : t.kKeywords).some((k) => k.toLowerCase() === keyword.toLowerCase()));
  const html = path.join(site, 'html');
  const name = fs.readdirSync(html).find((n) => n.endsWith('.html') && htmlText(pageTitle(path.join(html, n))) === source.title);
  if (!name) return [`no page titled "${source.title}"`];
  await page.goto(url(path.join(html, name)));
  const hrefs = await page.evaluate((text) => [...document.querySelectorAll('main a[href]')]
    .filter((a) => a.textContent.trim() === text.trim()).map((a) => a.href), text);
  for (const href of hrefs) {
    await page.goto(href);
    const landed = await page.evaluate(() => {
      const id = decodeURIComponent(location.hash.slice(1));
      const target = id && document.getElementById(id);
      return { target: target ? target.textContent.trim() : null, title: document.title };
    });
    if (landed.target !== null ? landed.target.toLowerCase() === keyword.toLowerCase()
                               : holders.some((t) => t.title === htmlText(landed.title))) return [];
  }
  return [`${name}: the ${macro} hotspot "${text.trim()}" does not land on keyword "${keyword}" (links: ${hrefs.join(' ') || 'none'})`];
}

// index.html's nav.cnt holds the .cnt's headings (details/summary) and
// topics (links to the page of that title) in the file's order and nesting.
async function checkContentsTree(page, site, cntFile) {
  const expected = [];
  const open = [];  // the levels of the headings enclosing the next line
  for (const line of fs.readFileSync(cntFile, 'latin1').split(/\r?\n/)) {
    const m = line.match(/^(\d)\s+([^=]+?)(?:=(.*))?$/);
    if (!m) continue;
    const level = Number(m[1]);
    while (open.length && open[open.length - 1] >= level) open.pop();
    expected.push(`${open.length}${m[3] ? 'T' : 'H'} ${m[2].trim()}`);
    if (!m[3]) open.push(level);
  }
  const html = path.join(site, 'html');
  await page.goto(url(path.join(html, 'index.html')));
  const shown = await page.evaluate(() => {
    const nav = document.querySelector('nav.cnt');
    if (!nav) return null;
    const depth = (e) => { let n = 0; for (let p = e.parentElement; p && p !== nav; p = p.parentElement) n += p.tagName === 'DETAILS'; return n; };
    return [...nav.querySelectorAll('summary, a[href]')].filter((e) => !e.closest('summary') || e.tagName === 'SUMMARY')
      .map((e) => e.tagName === 'SUMMARY' ? { line: `${depth(e) - 1}H ${e.textContent.trim()}` }
                                           : { line: `${depth(e)}T ${e.textContent.trim()}`, href: e.getAttribute('href') });
  });
  if (!shown) return ['index.html has no nav.cnt'];
  const problems = [];
  if (shown.map((s) => s.line).join('\n') !== expected.join('\n'))
    problems.push(`nav.cnt shows\n  ${shown.map((s) => s.line).join('\n  ')}\nwhere the .cnt has\n  ${expected.join('\n  ')}`);
  for (const s of shown.filter((s) => s.href)) {
    const target = path.join(html, s.href.split('#')[0]);
    if (!fs.existsSync(target) || htmlText(pageTitle(target)) !== s.line.slice(3)) problems.push(`nav.cnt item ${s.line} links to ${s.href}, not its topic`);
  }
  return problems;
}

module.exports = { checkTabColumns, checkSearch, checkKeywordLink, checkContentsTree };
