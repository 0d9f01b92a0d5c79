// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps a page that the app serves to a browser live. The app sends where things stand: the
// page's version (a change reloads it at the same scroll position), the CSS's version (swapped in
// place, so scroll, form values and script state stay) and the compile's error, if any. A lost
// connection comes back by itself and catches up from the first message.
(() => {
  const me = document.currentScript;
  const start = new URL(me.src);
  let page = start.searchParams.get('page');
  let css = start.searchParams.get('css');
  const posted = start.searchParams.has('posted');
  const scrollKey = 'fennelview-scroll';

  const kept = sessionStorage.getItem(scrollKey);
  if (kept) {
    sessionStorage.removeItem(scrollKey);
    const [x, y] = kept.split(',').map(Number);
    const restore = () => window.scrollTo(x, y);
    if (document.readyState === 'complete') restore(); else window.addEventListener('load', restore, {once: true});
  }

  function swapLinks(paths, version) {
    for (const old of document.querySelectorAll('link')) {
      if (!/(^|\s)stylesheet(\s|$)/i.test(old.rel) || !old.href) continue;
      const url = new URL(old.href, document.baseURI);
      if (url.origin !== location.origin || !paths.includes(decodeURIComponent(url.pathname))) continue;
      url.search = '?v=' + version;
      const fresh = old.cloneNode();
      fresh.href = url.href;
      fresh.onload = fresh.onerror = () => old.remove();
      old.after(fresh);
    }
  }

  async function swapSampleStyle(version) {
    const answer = await fetch('/.fennelview/style.css?v=' + version, {cache: 'no-store'});
    const style = document.getElementById('fennelview-css');
    if (answer.ok && style) style.textContent = await answer.text();
  }

  // The error over the page, in a shadow root the page's CSS cannot reach.
  let panel = null;
  function showError(error, place) {
    const own = document.getElementById('fennelview-error');
    if (own) {
      own.textContent = error ? (place ? place + '\n' : '') + error : '';
      return;
    }
    if (!error) {
      if (panel) panel.host.remove();
      panel = null;
      return;
    }
    if (!panel) {
      const host = document.createElement('fennelview-error');
      host.style.cssText = 'all: initial; position: fixed; inset: auto 0 0 0; z-index: 2147483647;';
      panel = host.attachShadow({mode: 'closed'});
      panel.host = host;
      document.documentElement.append(host);
    }
    panel.replaceChildren();
    const text = document.createElement('pre');
    text.style.cssText = 'margin: 0; padding: 12px; max-height: 40vh; overflow: auto; white-space: pre-wrap;' +
        'font: 13px monospace; background: #fdecea; color: #611a15; border-top: 2px solid #c62828;';
    text.textContent = (place ? place + '\n' : '') + error;
    panel.append(text);
  }

  function apply(state) {
    if (String(state.page) !== page) {
      sessionStorage.setItem(scrollKey, window.scrollX + ',' + window.scrollY);
      if (posted) location.replace(location.href.split('#')[0]); else location.reload();
      return;
    }
    if (String(state.css) !== css) {
      css = String(state.css);
      if (state.sample) swapSampleStyle(css); else swapLinks(state.paths || [], css);
    }
    showError(state.error, state.place);
  }

  let source = null;
  function connect() {
    source = new EventSource('/.fennelview/events');
    source.onmessage = (event) => apply(JSON.parse(event.data));
    // The browser retries by itself unless the server refused; then try again later.
    source.onerror = () => {
      if (source.readyState === EventSource.CLOSED) setTimeout(connect, 2000);
    };
  }
  connect();
})();
