// SPDX-License-Identifier: GPL-3.0-or-later
// Replaces the user's style sheet and the error panel of the loaded sample page. After an error
// and its fix the page returns to where it was before the error, unless the user scrolled.
// Arguments: css, replaceStyle ('yes' or ''), error, place, editorLink. Returns whether it could.
const style = document.getElementById('fennelview-css');
const panel = document.getElementById('fennelview-error');
if (!style || !panel) return false;
const x = window.scrollX, y = window.scrollY;
if (replaceStyle) style.textContent = css;
panel.textContent = error;
if (error && place) {
  const link = document.createElement('a');
  link.id = 'fennelview-error-location';
  link.href = editorLink;
  link.textContent = place;
  link.title = 'Open in the editor';
  panel.prepend(link, '\n');
}
const kept = globalThis.fennelviewKept;
if (error && !kept) {
  globalThis.fennelviewKept = {x, y, shownY: window.scrollY};
} else if (!error && kept) {
  if (window.scrollY === kept.shownY) window.scrollTo(kept.x, kept.y);
  globalThis.fennelviewKept = null;
}
return true;
