// What every rendered page must show a reader: its text visible, its content
// area drawn in more than one colour, its links and pictures present, and its
// popups shown on top when opened and closed without a jump to the top.
'use strict';
const fs = require('fs');
const path = require('path');
const { PNG } = require('pngjs');

const words = (text) => (text.toLowerCase().match(/[\p{L}\p{N}]+/gu) || []);

// The page's own text (of <main>, else of the body less popups, scripts and
// closed branches of a tree)
// against what the browser lays out for a reader (innerText of the document,
// which leaves out what CSS hides).
async function checkVisibleText(page) {
  const { own, shown } = await page.evaluate(() => {
    const source = document.querySelector('main') || document.body;
    const copy = source.cloneNode(true);
    copy.querySelectorAll('script, style, .popup-box, details:not([open]) > :not(summary)').forEach((e) => e.remove());
    const heading = document.querySelector('h1');
    return { own: (heading ? heading.textContent + ' ' : '') + copy.textContent,
             shown: document.documentElement.innerText };
  });
  // Tabs and cells may join words in innerText: each word is looked for in
  // the shown text with its white space taken out.
  const seen = words(shown).join('');
  const missing = words(own).filter((w) => !seen.includes(w));
  if (words(own).length === 0) return ['the page holds no text'];
  return missing.length ? [`text not shown to a reader: ${missing.slice(0, 10).join(' ')}`] : [];
}

// The screenshot is drawn in at least two colours where the first text of
// the content (main, else the body; outside the non-scrolling region and
// popups) lies: a blank, hidden or unreadable page has one there.
async function checkScreenshot(page, shot) {
  const box = await page.evaluate(() => {
    const content = document.querySelector('main') || document.body;
    const walker = document.createTreeWalker(content, NodeFilter.SHOW_TEXT);
    let node;
    while ((node = walker.nextNode()))
      if (/\S/.test(node.textContent) && !node.parentElement.closest('.nonscroll, .popup-box, script, style')) break;
    const range = document.createRange();
    if (node) range.selectNodeContents(node); else range.selectNodeContents(content);
    const r = range.getClientRects()[0] || range.getBoundingClientRect();
    const left = Math.max(0, r.left), top = Math.max(0, r.top);
    return { x: left, y: top, width: Math.min(innerWidth, r.right) - left, height: Math.min(innerHeight, r.bottom) - top };
  });
  const png = PNG.sync.read(await page.screenshot({ path: shot }));
  if (box.width < 1 || box.height < 1) return ['the first text of the content has no size on screen'];
  const colours = new Set();
  for (let y = Math.floor(box.y); y < Math.min(png.height, box.y + box.height) && colours.size < 2; ++y) {
    for (let x = Math.floor(box.x); x < Math.min(png.width, box.x + box.width); ++x) {
      colours.add(png.data.readUInt32BE((y * png.width + x) * 4));
      if (colours.size >= 2) break;
    }
  }
  return colours.size < 2 ? ['the first text of the content is drawn in one colour'] : [];
}

// Every href and src of the DOM names a written file (links into other help
// files' sites, fragments on the page and data: URLs aside).
async function checkReferences(page, folder) {
  const refs = await page.evaluate(() => [...document.querySelectorAll('[href], [src]')]
    .map((e) => e.getAttribute('href') ?? e.getAttribute('src')));
  const problems = [];
  for (const ref of refs) {
    if (/^(data:|javascript:|#|\.\.\/\.\.\/)/.test(ref) || ref === '') continue;
    const target = decodeURIComponent(ref.split(/[#?]/)[0]);
    if (!target) continue;
    if (!fs.existsSync(path.isAbsolute(target) ? target : path.join(folder, target)))
      problems.push(`${ref} names no written file`);
  }
  return problems;
}

// Opened by its fragment, a popup box is shown, has a size and is the
// topmost element at its centre.
async function checkPopupOpened(page, url, id) {
  await page.goto(`${url}#${id}`);
  const state = await page.evaluate((id) => {
    const box = document.getElementById(id);
    if (!box) return 'absent';
    const style = getComputedStyle(box), r = box.getBoundingClientRect();
    if (style.display === 'none' || style.visibility === 'hidden') return 'hidden';
    if (r.width < 1 || r.height < 1) return 'of no size';
    const x = Math.min(Math.max(r.left + r.width / 2, 0), innerWidth - 1);
    const y = Math.min(Math.max(r.top + Math.min(r.height / 2, 10), 0), innerHeight - 1);
    return box.contains(document.elementFromPoint(x, y)) ? 'shown' : 'covered by other content';
  }, id);
  return state === 'shown' ? [] : [`popup #${id} opened by its fragment is ${state}`];
}

// In a short window, a popup link lower down is clicked and the box closed
// by its own close link: the page stays where the reader was. null when
// the page has no link to the box.
async function checkPopupClosed(page, url, id) {
  await page.setViewportSize({ width: 1000, height: 300 });
  try {
    await page.goto(url);
    const link = page.locator(`a[href="#${id}"]:not(.close)`).first();
    if ((await link.count()) === 0) return null;
    // Room below the page, so that even a short page is scrolled down.
    await link.evaluate((e) => {
      document.body.insertAdjacentHTML('beforeend', '<div style="height:2000px"></div>');
      e.scrollIntoView({ block: 'center' });
      if (scrollY < 20) scrollBy(0, Math.min(40, e.getBoundingClientRect().top));
    });
    const before = await page.evaluate(() => scrollY);
    if (before === 0) return null;
    await link.click();
    const close = page.locator(`[id="${id}"] a.close`).first();
    if ((await close.count()) === 0) return [`popup #${id} has no close link`];
    await close.click();
    await page.waitForTimeout(50);
    const after = await page.evaluate(() => scrollY);
    return after === 0 ? [`closing popup #${id} scrolled the page to the top (from ${before})`] : [];
  } finally {
    await page.setViewportSize({ width: 1000, height: 750 });
  }
}

// A topic page shows its title once, and its non-scrolling region stays
// at the top (position: sticky) when the page scrolls. The title is shown
// by a heading, by a paragraph of the region, or (no region) by the first
// paragraph of the text; white space and case aside, as authors write
// "PenData Functions" for "Pen Data Functions". The same words inside the
// text are not a showing of the title.
async function checkTitleAndRegion(page) {
  const state = await page.evaluate(() => {
    if (!document.querySelector('main')) return null;
    const plain = (text) => text.replace(/\s+/g, '').toLowerCase();
    const title = plain(document.title);
    const region = document.querySelector('.nonscroll');
    const places = [...document.querySelectorAll('h1, .nonscroll p')];
    if (!region) {
      const first = [...document.querySelectorAll('main > p')].find((p) => p.textContent.trim());
      if (first) places.push(first);
    }
    const titles = places.filter((e) => !e.closest('.popup-box') && plain(e.textContent) === title).length;
    return { titles, sticky: !region || getComputedStyle(region).position === 'sticky' };
  });
  if (!state) return [];
  const problems = [];
  if (state.titles !== 1) problems.push(`the title is shown ${state.titles} times`);
  if (!state.sticky) problems.push('the non-scrolling region is not sticky');
  return problems;
}

module.exports = { checkTitleAndRegion,  checkVisibleText, checkScreenshot, checkReferences, checkPopupOpened, checkPopupClosed, words };
