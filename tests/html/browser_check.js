// Drives Debian's Chromium over the HTML editions written by browser_check.sh:
//   node browser_check.js SHOTS SITE... [cnt=SITE:FILE.cnt]
// Each SITE is a decompiled help file's folder (NAME.rtf and html/). One
// browser renders index.html, the first contents topics, the page with most
// links and a page with popups of each, leaving screenshots under SHOTS;
// the feature checks run on the sites they need. Prints one line a failure.
'use strict';
const fs = require('fs');
const path = require('path');
const { chromium } = require('playwright-core');
const pages = require('./page_checks');
const features = require('./feature_checks');
const { readTopics } = require('./rtf_topics');

function pagesToRender(html) {
  const read = (n) => fs.readFileSync(path.join(html, n), 'utf8');
  const all = fs.readdirSync(html).filter((n) => n.endsWith('.html')).sort();
  const listed = [...read('index.html').matchAll(/<a href="([^"#?]+\.html)"/g)].map((m) => m[1])
    .filter((n) => !['keywords.html', 'akeywords.html', 'search.html', 'index.html'].includes(n)).slice(0, 3);
  const links = (n) => (read(n).match(/<a href=/g) || []).length;
  const busiest = all.reduce((a, b) => (links(b) > links(a) ? b : a), all[0]);
  const popup = all.find((n) => read(n).includes('class="popup-box"'));
  const chosen = new Set(['index.html', ...listed, busiest, ...(popup ? [popup] : [])]);
  if (all.includes('keywords.html')) chosen.add('keywords.html');
  return [...chosen].filter((n) => all.includes(n));
}

async function checkSite(page, site, shots, report) {
  const html = path.join(site, 'html');
  const stem = path.basename(site);
  let popupClosedChecked = false;
  for (const name of pagesToRender(html)) {
    const file = path.join(html, name);
    await page.goto('file://' + file);
    const shot = path.join(shots, stem, name.replace(/\.html$/, '.png'));
    fs.mkdirSync(path.dirname(shot), { recursive: true });
    report(`${stem}/${name}`, [
      ...(await pages.checkVisibleText(page)),
      ...(await pages.checkScreenshot(page, shot)),
      ...(await pages.checkReferences(page, html)),
      ...(await pages.checkTitleAndRegion(page)),
    ]);
    const ids = [...fs.readFileSync(file, 'utf8').matchAll(/class="popup-box" id="([^"]+)"/g)].map((m) => m[1]);
    if (ids.length) report(`${stem}/${name}`, await pages.checkPopupOpened(page, 'file://' + file, ids[0]));
    for (const id of ids.slice(-3).reverse()) {
      if (popupClosedChecked) break;
      const closed = await pages.checkPopupClosed(page, 'file://' + file, id);
      if (closed === null) continue;
      popupClosedChecked = true;
      report(`${stem}/${name}`, closed);
    }
  }
}

async function main() {
  const [shots, ...args] = process.argv.slice(2);
  const sites = args.filter((a) => !a.startsWith('cnt='));
  const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
                                          args: ['--no-sandbox', '--disable-gpu'] });
  const page = await browser.newPage({ viewport: { width: 1000, height: 750 } });
  let failures = 0;
  const report = (where, problems) => {
    for (const p of problems) { console.log(`FAIL ${where}: ${p}`); ++failures; }
  };
  const feature = async (name, where, run) => {
    try { report(`${where} [${name}]`, await run()); } catch (e) { report(`${where} [${name}]`, [String(e.message || e).split('\n')[0]]); }
  };
  for (const site of sites) {
    const stem = path.basename(site);
    await feature('pages', stem, async () => { await checkSite(page, site, shots, report); return []; });
    const rtf = fs.readdirSync(site).find((n) => n.endsWith('.rtf'));
    const topics = rtf ? readTopics(path.join(site, rtf)) : [];
    await feature('search', stem, () => features.checkSearch(page, site));
    if (/PENAPIWH/i.test(stem)) await feature('tab columns', stem, () => features.checkTabColumns(page, site, topics));
    if (topics.some((t) => /\{\\v !(KLink|KL|ALink|AL)\(/.test(t.rtf)))
      await feature('keyword link', stem, () => features.checkKeywordLink(page, site, topics));
  }
  for (const arg of args.filter((a) => a.startsWith('cnt='))) {
    const [site, cnt] = arg.slice(4).split(':');
    await feature('contents tree', `${path.basename(site)} with ${path.basename(cnt)}`, () => features.checkContentsTree(page, site, cnt));
  }
  await browser.close();
  console.log(failures ? `${failures} failures` : 'every page shows its text, every reference resolves, every feature checked');
  process.exit(failures ? 1 : 0);
}

main().catch((e) => { console.log(`FAIL the browser could not be driven: ${e.message}`); process.exit(1); });
