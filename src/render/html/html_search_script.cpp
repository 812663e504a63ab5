// search.js: reads search.html?q=WORDS, finds the words in hlpSearchIndex
// (search-index.js) and lists the topics, best first. It splits and folds
// words as search_words does.
#include "render/html/html_search.h"

namespace html_site {

const char html_search_script[] = R"js((function () {
  "use strict";
  var index = window.hlpSearchIndex;
  var longest = 40;

  function fold(c) {
    if ((c >= 65 && c <= 90) || (c >= 0xC0 && c <= 0xDE && c !== 0xD7)) return c + 0x20;
    if (c >= 0x100 && c <= 0x17F) {
      var oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
      if (c === 0x130 || c === 0x131 || c === 0x138 || c === 0x149 || c === 0x178 || c === 0x17F) return c;
      return (c % 2 === 1) === oddUpper ? c + 1 : c;
    }
    if ((c >= 0x391 && c <= 0x3A9 && c !== 0x3A2) || (c >= 0x410 && c <= 0x42F) || (c >= 0xFF21 && c <= 0xFF3A))
      return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
  }
  function cjk(c) {
    return (c >= 0x3040 && c <= 0x30FF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
      (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF66 && c <= 0xFF9F);
  }
  function separator(c) {
    if (c < 0x80) return !((c >= 48 && c <= 57) || (c >= 97 && c <= 122) || (c >= 65 && c <= 90) || c === 95);
    return c < 0xC0 || c === 0xD7 || c === 0xF7 || (c >= 0x2000 && c <= 0x2BFF) || (c >= 0x3000 && c <= 0x303F) ||
      (c >= 0xFF00 && c <= 0xFF20 && !(c >= 0xFF10 && c <= 0xFF19)) || (c >= 0xFF3B && c <= 0xFF40) ||
      (c >= 0xFF5B && c <= 0xFF65) || c === 0xFFFD || c === 0xFEFF;
  }
  function words(text) {
    var out = [], word = "", characters = 0;
    var points = Array.from(text + " ");
    for (var i = 0; i < points.length; ++i) {
      var c = points[i].codePointAt(0);
      var alone = cjk(c);
      if (alone || separator(c)) {
        if (word) out.push(word);
        word = "";
        characters = 0;
        if (alone) out.push(points[i]);
        continue;
      }
      if (characters++ < longest) word += String.fromCodePoint(fold(c));
    }
    return out;
  }
  // A word's topics and counts from its "DELTA[*COUNT],..." items.
  function postings(items) {
    var found = {}, topic = 0;
    items.split(",").forEach(function (item) {
      var parts = item.split("*");
      topic += parseInt(parts[0], 36);
      found[topic] = parts.length > 1 ? parseInt(parts[1], 36) : 1;
    });
    return found;
  }
  // The topics of a query word: its own, else those of the words it begins.
  function lookup(word) {
    var table = index.words, found = {};
    if (Object.prototype.hasOwnProperty.call(table, word)) return postings(table[word]);
    for (var key in table) {
      if (key.length > word.length && key.lastIndexOf(word, 0) === 0) {
        var more = postings(table[key]);
        for (var t in more) found[t] = (found[t] || 0) + more[t];
      }
    }
    return found;
  }
  // Topics with more of the words first, then by the words' weight: how
  // often each is there, rarer words weighing more.
  function search(query) {
    var total = index.pages.length, scores = {}, matched = {};
    var unique = words(query).filter(function (w, i, all) { return all.indexOf(w) === i; });
    unique.forEach(function (word) {
      var found = lookup(word), topics = Object.keys(found);
      var rarity = Math.log(1 + total / Math.max(1, topics.length));
      topics.forEach(function (t) {
        scores[t] = (scores[t] || 0) + (1 + Math.log(found[t])) * rarity;
        matched[t] = (matched[t] || 0) + 1;
      });
    });
    return Object.keys(scores).sort(function (a, b) {
      return matched[b] - matched[a] || scores[b] - scores[a] || a - b;
    }).map(Number);
  }
  function show() {
    var query = new URLSearchParams(window.location.search).get("q") || "";
    var input = document.getElementById("q"), list = document.getElementById("results");
    var summary = document.getElementById("summary");
    input.value = query;
    if (!index) { summary.textContent = "The search index (search-index.js) is missing."; return; }
    if (!query.trim()) return;
    var results = search(query), shown = Math.min(results.length, 200);
    summary.textContent = results.length === 0 ? "No topic holds these words." :
      results.length + (results.length === 1 ? " topic" : " topics") +
      (shown < results.length ? ", the first " + shown + " shown." : ".");
    for (var i = 0; i < shown; ++i) {
      var t = results[i], item = document.createElement("li"), link = document.createElement("a");
      link.href = index.pages[t];
      link.textContent = index.titles[t];
      item.appendChild(link);
      item.appendChild(document.createTextNode(" " + index.snippets[t]));
      list.appendChild(item);
    }
  }
  show();
})();
)js";

}  // namespace html_site
