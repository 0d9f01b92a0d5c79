// SPDX-License-Identifier: GPL-3.0-or-later
// The body of a function of `list` (JSON text of selectors): which the picked element matches.
const el = globalThis.fennelviewPicked;
if (!el || !el.isConnected) return null;
return JSON.stringify(JSON.parse(list).map((s) => { try { return el.matches(s); } catch (e) { return false; } }));
