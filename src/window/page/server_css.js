// SPDX-License-Identifier: GPL-3.0-or-later
// Runs in a server's page before any of its own content: each style sheet that is the document's
// compiled CSS (a <link> by the stem rule, or Vite's <style data-vite-dev-id>) is replaced, as it
// is inserted and before it can apply, by a <style> at the same place holding the CSS from
// memory. Mutation records come before the next rendering, so the server's copy never shows.
// Prefixed by the app: const fennelview = {stem, css}.
(() => {
  const sassName = /\.(scss|sass)$/i;
  const stemOf = (path) => {
    let name = path.slice(path.lastIndexOf('/') + 1);
    if (!/\.css$/i.test(name)) return '';
    name = name.slice(0, -4).replace(/\.min$/i, '');
    try { return decodeURIComponent(name); } catch { return name; }
  };
  const isCompiled = (node) => {
    if (node.localName === 'link') {
      if (!/(^|\s)stylesheet(\s|$)/i.test(node.rel) || !node.getAttribute('href')) return false;
      const url = new URL(node.getAttribute('href'), document.baseURI);
      return url.origin === location.origin && stemOf(url.pathname) === fennelview.stem;
    }
    const id = node.localName === 'style' && node.getAttribute('data-vite-dev-id');
    if (!id || !sassName.test(id)) return false;
    return id.slice(id.lastIndexOf('/') + 1).replace(sassName, '') === fennelview.stem;
  };
  // In a <style> relative URLs resolve against the page, so they are made absolute against the
  // address the link had.
  const rebased = (css, base) => css.replace(/url\(\s*(['"]?)([^'"()\s]+)\1\s*\)/g, (whole, quote, url) => {
    if (/^([a-z][a-z0-9+.-]*:|\/|#)/i.test(url)) return whole;
    return 'url(' + quote + new URL(url, base).href + quote + ')';
  });
  const replace = (node) => {
    const style = document.createElement('style');
    style.dataset.fennelviewBase = node.localName === 'link' ? new URL(node.getAttribute('href'), document.baseURI).href
                                                             : document.baseURI;
    if (node.media) style.media = node.media;
    document.querySelector('style[data-fennelview-added]')?.remove();
    style.textContent = rebased(fennelview.css, style.dataset.fennelviewBase);
    node.replaceWith(style);
  };
  const look = (node) => {
    if (node.nodeType !== Node.ELEMENT_NODE) return;
    if (isCompiled(node)) return replace(node);
    if (node.firstElementChild) for (const inner of node.querySelectorAll('link, style')) if (isCompiled(inner)) replace(inner);
  };
  new MutationObserver((records) => {
    for (const record of records) {
      if (record.type === 'attributes') look(record.target);
      for (const node of record.addedNodes) look(node);
    }
  }).observe(document, {childList: true, subtree: true, attributes: true, attributeFilter: ['href', 'rel']});
  // A page that links no sheet of the document gets the CSS after its own sheets.
  document.addEventListener('DOMContentLoaded', () => {
    if (document.querySelector('style[data-fennelview-base]')) return;
    const style = document.createElement('style');
    style.dataset.fennelviewBase = document.baseURI;
    style.dataset.fennelviewAdded = '';
    style.textContent = rebased(fennelview.css, style.dataset.fennelviewBase);
    (document.body || document.documentElement).append(style);
  });
  // A save swaps the text of each replaced sheet in place.
  globalThis.fennelviewSwap = (css) => {
    fennelview.css = css;
    for (const style of document.querySelectorAll('style[data-fennelview-base]')) {
      style.textContent = rebased(css, style.dataset.fennelviewBase);
    }
  };
})();
