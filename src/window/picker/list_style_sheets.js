// SPDX-License-Identifier: GPL-3.0-or-later
// The body of a function: the page's URL and its style sheets, a linked one's URL or a <style>'s
// text; the compiled CSS put in a link's place goes by the link's URL, or, on a server's page, is
// marked as such. A server's other sheets of the page's own origin are read here, as the page
// reads them, each to a bound: the app never asks a server for them.
const most = 4 * 1024 * 1024;
let left = 4 * most;
const served = /^https?:$/.test(location.protocol);
const read = async (url) => {
  try {
    const answer = await fetch(url, {cache: 'force-cache', credentials: 'same-origin'});
    if (!answer.ok || !answer.body) return '';
    const reader = answer.body.getReader(), decoder = new TextDecoder();
    let text = '';
    for (;;) {
      const {done, value} = await reader.read();
      if (done) return text + decoder.decode();
      text += decoder.decode(value, {stream: true});
      if (text.length > Math.min(most, left)) { reader.cancel(); return ''; }
    }
  } catch (e) { return ''; }
};
const sheets = [];
for (const sheet of Array.from(document.styleSheets)) {
  const owner = sheet.ownerNode;
  const style = owner?.localName === 'style';
  if (served && style && owner.dataset.fennelviewBase !== undefined) { sheets.push(['', '', 'compiled']); continue; }
  const address = sheet.href || (style ? owner.dataset.fennelviewHref : '');
  if (served && sheet.href && new URL(sheet.href).origin === location.origin && left > 0) {
    const text = await read(sheet.href);
    left -= text.length;
    sheets.push([address, text, 'read']);
  } else {
    sheets.push(address ? [address, ''] : ['', style ? owner.textContent : '']);
  }
}
return JSON.stringify({page: location.href, sheets});
