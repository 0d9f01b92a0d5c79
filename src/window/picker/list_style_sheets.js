// SPDX-License-Identifier: GPL-3.0-or-later
// The body of a function: the page's URL and its style sheets, a linked one's URL or a <style>'s text.
return JSON.stringify({page: location.href, sheets: Array.from(document.styleSheets, (sheet) =>
  sheet.href ? [sheet.href, ''] : ['', sheet.ownerNode?.localName === 'style' ? sheet.ownerNode.textContent : ''])});
