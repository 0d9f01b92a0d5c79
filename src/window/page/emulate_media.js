// SPDX-License-Identifier: GPL-3.0-or-later
// Makes the page answer media queries as in an emulated state ({colorScheme, media, reducedMotion},
// as stored): matchMedia, and the @media rules of the page's style sheets the app does not
// rewrite itself (an own page's). Decided features become conditions always true or false, as
// in the app's own rewrite of the sample page's sheet.
(function (state) {
  const always = '(min-width: 0px)', never = '(not (min-width: 0px))';
  const print = state.media === 'print';
  const decide = (name, value) => {
    name = name.trim().toLowerCase();
    value = value.trim().toLowerCase();
    if (state.colorScheme && name === 'prefers-color-scheme' && (value === 'dark' || value === 'light')) {
      return value === state.colorScheme;
    }
    if (state.reducedMotion && name === 'prefers-reduced-motion' && (value === 'reduce' || value === 'no-preference')) {
      return value === 'reduce';
    }
    return null;
  };
  const condition = (text) => text.replace(/\(([^():]*):([^()]*)\)/g, (whole, name, value) => {
    const answer = decide(name, value);
    return answer === null ? whole : answer ? always : never;
  });
  const query = (text) => {
    text = text.trim();
    const words = /^(?:(not|only)\s+)?([A-Za-z-]+)([^]*)$/.exec(text);
    if (!words || /^(not|only|and|or)$/i.test(words[2])) return condition(text);
    const [, prefix, type, rest] = words;
    if (!print) return text.slice(0, text.length - rest.length) + condition(rest);
    if (!/^(all|print)$/i.test(type)) return /^not$/i.test(prefix || '') ? 'all' : 'not all';
    return (prefix ? prefix + ' ' : '') + 'all' + condition(rest);
  };
  const list = (text) => String(text).split(',').map(query).join(', ');
  const matchMedia = window.matchMedia;
  window.matchMedia = function (text) { return matchMedia.call(window, list(text)); };

  // Sheets are rewritten once each, rule by rule; a sheet of another origin cannot be read.
  const done = new WeakSet();
  const rewriteRules = (rules) => {
    for (const rule of rules) {
      if (rule instanceof CSSMediaRule && !done.has(rule)) {
        done.add(rule);
        const text = list(rule.media.mediaText);
        if (text !== rule.media.mediaText) rule.media.mediaText = text;
      }
      if (rule.cssRules) rewriteRules(rule.cssRules);
    }
  };
  const rewriteSheets = () => {
    for (const sheet of document.styleSheets) {
      try { rewriteRules(sheet.cssRules); } catch (e) { /* another origin's */ }
    }
  };
  // Only a style element's change or a new sheet brings new rules; a busy page's other changes cost nothing.
  const isSheet = (node) => node && (node.nodeName === 'STYLE' || node.nodeName === 'LINK');
  document.addEventListener('load', (event) => { if (isSheet(event.target)) rewriteSheets(); }, true);
  document.addEventListener('DOMContentLoaded', () => {
    rewriteSheets();
    new MutationObserver((records) => {
      if (records.some((r) => isSheet(r.target) || isSheet(r.target.parentNode) || [...r.addedNodes].some(isSheet))) rewriteSheets();
    }).observe(document, {childList: true, subtree: true, characterData: true});
  });
})
