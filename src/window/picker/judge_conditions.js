// SPDX-License-Identifier: GPL-3.0-or-later
// The body of a function of `list` (JSON text of [name, prelude] pairs): which conditions hold now.
// A condition the page cannot judge holds: the rule is shown rather than hidden.
return JSON.stringify(JSON.parse(list).map(([name, prelude]) => {
  try {
    if (name === 'media') return matchMedia(prelude).matches;
    if (name === 'supports') return CSS.supports(prelude);
  } catch (e) {}
  return true;
}));
