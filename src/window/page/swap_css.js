// SPDX-License-Identifier: GPL-3.0-or-later
// Puts the current compiled CSS into the page in place, without a request: each link to it gives
// way to a <style> with its text where the link stood (its place in the cascade, media and
// title), and later versions replace that text, so the new rules apply in the next frame while
// scroll, form values and script state stay. The <style> keeps the link's address, by which the
// pick panel knows the compiled CSS; with a map served, the text names it by its full address.
// Where the page's policy refuses a <style>, the link is swapped for a new one instead.
// Arguments: paths (JSON list of the decoded URL paths of the compiled CSS), version, css,
// map ('yes' or '').
const list = JSON.parse(paths);
const addressOf = (node) => {
  if (node.localName === 'style') return node.dataset.fennelviewHref;
  return /(^|\s)stylesheet(\s|$)/i.test(node.rel) && node.href ? node.href : '';
};
for (const old of document.querySelectorAll('link, style[data-fennelview-href]')) {
  const address = addressOf(old);
  if (!address) continue;
  const url = new URL(address, document.baseURI);
  if (url.origin !== location.origin || !list.includes(decodeURIComponent(url.pathname))) continue;
  url.search = '?v=' + version;
  const name = url.pathname.slice(url.pathname.lastIndexOf('/') + 1);
  const text = map ? css + '\n/*# sourceMappingURL=' + new URL(name + '.map?v=' + version, url).href + ' */\n' : css;
  if (old.localName === 'style') {
    old.dataset.fennelviewHref = url.href;
    old.textContent = text;
    continue;
  }
  const style = document.createElement('style');
  style.dataset.fennelviewHref = url.href;
  if (old.media) style.media = old.media;
  if (old.title) style.title = old.title;
  style.textContent = text;
  old.after(style);
  if (style.sheet) {
    old.remove();
    continue;
  }
  style.remove();
  const fresh = old.cloneNode();
  fresh.href = url.href;
  fresh.onload = fresh.onerror = () => old.remove();
  old.after(fresh);
}
