// SPDX-License-Identifier: GPL-3.0-or-later
// Swaps the page's compiled CSS for the current version in place: a new link replaces the old
// one once loaded, so scroll, form values and script state stay.
// Arguments: paths (JSON list of the decoded URL paths of the compiled CSS), version.
const list = JSON.parse(paths);
for (const old of document.querySelectorAll('link')) {
  if (!/(^|\s)stylesheet(\s|$)/i.test(old.rel) || !old.href) continue;
  const url = new URL(old.href, document.baseURI);
  if (url.origin !== location.origin || !list.includes(decodeURIComponent(url.pathname))) continue;
  url.search = '?v=' + version;
  const fresh = old.cloneNode();
  fresh.href = url.href;
  fresh.onload = fresh.onerror = () => old.remove();
  old.after(fresh);
}
