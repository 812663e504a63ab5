// The topics of the decompiled topic file, read apart from the HTML writer:
// each topic's title, context strings, K and A keywords and raw RTF, so
// that the browser checks have expectations of their own.
'use strict';
const fs = require('fs');

function footnotes(chunk, mark) {
  const found = [];
  const pattern = new RegExp(`\\{\\\\footnote\\\\pard\\\\plain\\{\\\\up \\${mark}\\} ((?:[^{}\\\\]|\\\\.)*)\\}`, 'g');
  for (const m of chunk.matchAll(pattern)) found.push(unescape(m[1]));
  return found;
}

// Plain ASCII escapes only: enough for titles and keywords of western files.
function unescape(text) {
  return text.replace(/\\'([0-9a-f]{2})/gi, (_, h) => String.fromCharCode(parseInt(h, 16)))
    .replace(/\\([{}\\])/g, '$1').trim();
}

function readTopics(rtfPath) {
  const rtf = fs.readFileSync(rtfPath, 'latin1');
  return rtf.split(/\\page\b/).map((chunk) => ({
    title: footnotes(chunk, '$')[0] || '',
    contexts: footnotes(chunk, '#'),
    kKeywords: footnotes(chunk, 'K').flatMap((k) => k.split(';')).map((k) => k.trim()).filter(Boolean),
    aKeywords: footnotes(chunk, 'A').flatMap((k) => k.split(';')).map((k) => k.trim()).filter(Boolean),
    rtf: chunk,
  }));
}

module.exports = { readTopics };
