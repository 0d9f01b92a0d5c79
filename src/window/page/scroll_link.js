// SPDX-License-Identifier: GPL-3.0-or-later
// Side by side panes scroll together by element: after the user scrolls, the app is told the
// element under the top edge (its path from the body, and how far down it the edge lies); asked,
// the page brings the element at such a path to its top edge in the same way. Elements fixed or
// stuck to the top are passed over: they lie under the edge wherever the page is.
(() => {
  if (globalThis.fennelviewScrollLink) return;
  // The scrolls the app asked for are not told back.
  let quietUntil = 0;
  let pending = false;
  const pinned = (element) => ['fixed', 'sticky'].includes(getComputedStyle(element).position);
  const anchor = () => {
    const body = document.body;
    let element = document.elementsFromPoint(window.innerWidth / 2, 1).find((e) => !pinned(e)) || body;
    if (!body || !body.contains(element)) element = body;
    if (!element) return null;
    const path = [];
    for (let e = element; e !== body; e = e.parentElement) path.unshift(Array.prototype.indexOf.call(e.parentElement.children, e));
    const box = element.getBoundingClientRect();
    const fraction = box.height > 0 ? Math.min(1, Math.max(0, -box.top / box.height)) : 0;
    return path.join('/') + '@' + fraction;
  };
  window.addEventListener('scroll', () => {
    if (performance.now() < quietUntil || pending) return;
    pending = true;
    requestAnimationFrame(() => {
      pending = false;
      const text = anchor();
      if (text !== null) window.webkit.messageHandlers.fennelviewScroll.postMessage(text);
    });
  }, {passive: true});
  globalThis.fennelviewScrollLink = {
    scrollTo(path, fraction) {
      let element = document.body;
      for (const index of path) {
        const next = element && element.children[index];
        if (!next) break;
        element = next;
      }
      if (!element) return;
      const box = element.getBoundingClientRect();
      quietUntil = performance.now() + 250;
      window.scrollTo(window.scrollX, window.scrollY + box.top + fraction * box.height);
    },
  };
})();
