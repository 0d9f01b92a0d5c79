// SPDX-License-Identifier: GPL-3.0-or-later
// Pick mode, in the picker's own script world: defined once per page, later runs reuse it.
globalThis.fennelviewPicker ??= (() => {
  const post = (message) => window.webkit.messageHandlers.fennelviewPicker.postMessage(JSON.stringify(message));
  let box = null, label = null, outlined = null;
  const labelText = (el) => el.localName + (el.id ? '#' + el.id : '') + Array.from(el.classList, (c) => '.' + c).join('');
  const show = (el) => {
    outlined = el;
    if (!box) {
      box = document.createElement('div');
      box.style.cssText = 'all:initial;position:fixed;pointer-events:none;z-index:2147483647;box-sizing:border-box;' +
        'outline:2px solid #3584e4;background:rgba(53,132,228,.15)';
      label = document.createElement('div');
      label.style.cssText = 'all:initial;position:fixed;pointer-events:none;z-index:2147483647;white-space:nowrap;' +
        'font:12px/1.5 monospace;color:#fff;background:#1c71d8;padding:0 4px;border-radius:3px';
    }
    if (!box.isConnected) document.documentElement.append(box, label);
    const r = el.getBoundingClientRect();
    Object.assign(box.style, {left: r.left + 'px', top: r.top + 'px', width: r.width + 'px', height: r.height + 'px'});
    label.textContent = labelText(el);
    Object.assign(label.style, {left: Math.max(0, r.left) + 'px', top: (r.top >= 20 ? r.top - 20 : r.bottom + 2) + 'px'});
  };
  const hide = () => { box?.remove(); label?.remove(); outlined = null; };
  const ours = (el) => el === box || el === label || el === mark;
  const elementOf = (e) => {
    const node = e.composedPath()[0];
    return node instanceof Element ? node : (node?.parentElement ?? null);
  };
  // Nothing of the pick gesture reaches the page: the window sees these first, in the capture phase.
  const swallow = (e) => { e.preventDefault(); e.stopImmediatePropagation(); };
  const onMove = (e) => { const el = elementOf(e); if (el) show(el); };
  const onClick = (e) => {
    swallow(e);
    const el = elementOf(e);
    if (el) pick(el);
  };
  const pick = (el) => {
    globalThis.fennelviewPicked = el;
    stop();
    post({kind: 'picked', tag: el.localName, id: el.id, classes: Array.from(el.classList), path: pathOf(el)});
  };
  // Where an element sits, as child indices from <html>: the same element in another pane of the same page.
  const pathOf = (el) => {
    const path = [];
    for (; el && el !== document.documentElement; el = el.parentElement) {
      path.unshift(Array.from(el.parentElement?.children ?? []).filter((c) => !ours(c)).indexOf(el));
    }
    return path;
  };
  // The picked element stays outlined, in page coordinates so that it scrolls with the page.
  let mark = null;
  const markPath = (path) => {
    mark?.remove();
    let el = document.documentElement;
    for (const at of path) el = Array.from(el?.children ?? []).filter((c) => !ours(c))[at];
    globalThis.fennelviewPicked = el ?? null;
    if (!el || !path.length) return;
    mark ??= document.createElement('div');
    mark.dataset.fennelviewMark = '';
    const r = el.getBoundingClientRect();
    mark.style.cssText = 'all:initial;position:absolute;pointer-events:none;z-index:2147483646;box-sizing:border-box;' +
      'outline:2px solid #3584e4;' + `left:${r.left + scrollX}px;top:${r.top + scrollY}px;width:${r.width}px;height:${r.height}px`;
    document.documentElement.append(mark);
  };
  // From the keyboard: Tab outlines the focused element; the arrow keys walk the tree from the
  // outlined one (Up or Left: its parent, Down: its first child, Right: its next sibling, round
  // to the first), so elements that take no focus can be picked too; Enter picks the outlined one.
  const inBody = (el) => el instanceof Element && el !== document.body && document.body?.contains(el) && !ours(el);
  const onFocus = (e) => { if (inBody(e.target)) show(e.target); };
  const siblings = (el) => Array.from(el.parentElement?.children ?? [el]).filter((s) => !ours(s));
  const walk = (el, key) => {
    if (el === document.body && key !== 'ArrowDown') return el;
    if (key === 'ArrowUp' || key === 'ArrowLeft') {
      return inBody(el.parentElement) || el.parentElement === document.body ? el.parentElement : el;
    }
    if (key === 'ArrowDown') return Array.from(el.children).find((c) => !ours(c)) ?? el;
    const all = siblings(el);
    return all[(all.indexOf(el) + 1) % all.length] ?? el;
  };
  const onKey = (e) => {
    if (e.key === 'Escape') { swallow(e); stop(); post({kind: 'left'}); return; }
    const start = [outlined, document.activeElement].find(inBody) ?? document.body;
    if (['ArrowUp', 'ArrowDown', 'ArrowLeft', 'ArrowRight'].includes(e.key) && start) {
      swallow(e);
      const next = walk(start, e.key);
      next.scrollIntoView({block: 'nearest', inline: 'nearest'});
      show(next);
      return;
    }
    if (e.key === 'Enter' && start && start !== document.body) { swallow(e); pick(start); }
  };
  const swallowed = ['pointerdown', 'mousedown', 'pointerup', 'mouseup', 'dblclick', 'auxclick', 'contextmenu',
                     'touchstart', 'touchend'];
  const listeners = [['pointermove', onMove], ['click', onClick], ['keydown', onKey], ['focusin', onFocus],
                     ...swallowed.map((type) => [type, swallow])];
  const options = {capture: true};
  let active = false;
  const start = () => {
    if (active) return;
    active = true;
    for (const [type, listener] of listeners) addEventListener(type, listener, options);
  };
  const stop = () => {
    if (!active) return;
    active = false;
    for (const [type, listener] of listeners) removeEventListener(type, listener, options);
    hide();
  };
  return {start, stop, markPath};
})();
