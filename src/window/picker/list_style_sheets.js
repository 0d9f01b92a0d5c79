// SPDX-License-Identifier: GPL-3.0-or-later
// The body of a function: the page's URL and its style sheets, a linked one's URL or a <style>'s
// text; the compiled CSS put in a link's place goes by the link's URL.
return JSON.stringify({page: location.href, sheets: Array.from(document.styleSheets, (sheet) => {
  const owner = sheet.ownerNode;
  const address = sheet.href || (owner?.localName === 'style' ? owner.dataset.fennelviewHref : '');
  return address ? [address, ''] : ['', owner?.localName === 'style' ? owner.textContent : ''];
})});
