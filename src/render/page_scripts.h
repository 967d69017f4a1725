#pragma once

// What the renderer runs in a page, as DevTools' Runtime.evaluate takes it.
namespace kestrine::page_scripts {

// Opens every closed <details> (their toggle handlers fetch what they
// show); how many it opened.
inline constexpr const char* kOpenDisclosures = R"JS((() => {
  const closed = [...document.querySelectorAll('details:not([open])')].slice(0, 50);
  for (const d of closed) d.open = true;
  return closed.length;
})())JS";

// Focuses the page's search field, if it has one; whether it did.
inline constexpr const char* kFocusSearch = R"JS((() => {
  const field = document.querySelector(
    'input[type=search], input[role=searchbox], input[name*=search i], input[id*=search i], ' +
    'input[placeholder*=search i], input[aria-label*=search i]');
  if (!field) return false;
  field.scrollIntoView();
  field.focus();
  return document.activeElement === field;
})())JS";

// Scrolls one view further; [where the view ends, how tall the page is].
inline constexpr const char* kScrollStep = R"JS((() => {
  window.scrollBy(0, window.innerHeight);
  const root = document.scrollingElement || document.documentElement;
  return [Math.ceil(window.scrollY + window.innerHeight), root.scrollHeight];
})())JS";

// The rendered document as it will be stored: its doctype and markup, its
// scripts made inert ("text/kestrine-inert", their type kept aside) so that
// from disk nothing wipes what was rendered, and a small script that
// brings them back wherever the page is served (the copy's viewer) rather
// than opened from disk. Served from its stored name, the page first takes
// back the site's address it was rendered at, so the application's router
// finds its route; the scripts' own addresses are made absolute before, so
// they still load from where the page is stored. Loads that file://
// refuses (crossorigin) are made plain, and the document says it is
// UTF-8, as it is stored.
inline constexpr const char* kSerialize = R"JS((() => {
  const revive = () => {
    if (location.protocol === 'file:') return;
    const boot = document.currentScript;
    const address = boot ? boot.getAttribute('data-kestrine-address') : null;
    const inert = [...document.querySelectorAll('script[type="text/kestrine-inert"]')];
    const made = inert.map(old => {
      const s = document.createElement('script');
      for (const a of old.attributes) {
        if (a.name !== 'type' && a.name !== 'data-kestrine-type') s.setAttribute(a.name, a.value);
      }
      if (old.hasAttribute('src')) s.src = old.src;
      const type = old.getAttribute('data-kestrine-type');
      if (type) s.setAttribute('type', type);
      s.async = false;
      s.text = old.text;
      return s;
    });
    if (address && address !== location.pathname + location.search) {
      history.replaceState(history.state, '', address);
    }
    inert.forEach((old, i) => old.replaceWith(made[i]));
  };
  const runnable = /^(|module|text\/javascript|application\/javascript|text\/ecmascript)$/i;
  const root = document.documentElement.cloneNode(true);
  for (const s of root.querySelectorAll('script')) {
    const type = s.getAttribute('type');
    if (!runnable.test(type || '')) continue;
    if (type !== null) s.setAttribute('data-kestrine-type', type);
    s.setAttribute('type', 'text/kestrine-inert');
  }
  for (const e of root.querySelectorAll('[crossorigin]')) e.removeAttribute('crossorigin');
  for (const m of root.querySelectorAll('meta[charset]')) m.setAttribute('charset', 'utf-8');
  for (const m of root.querySelectorAll('meta[http-equiv]')) {
    if (m.getAttribute('http-equiv').toLowerCase() === 'content-type') {
      m.setAttribute('content', 'text/html; charset=utf-8');
    }
  }
  const boot = document.createElement('script');
  boot.setAttribute('data-kestrine', 'scripts');
  boot.setAttribute('data-kestrine-address', location.pathname + location.search);
  boot.textContent = '(' + revive.toString() + ')();';
  (root.querySelector('body') || root).appendChild(boot);
  const doctype = document.doctype ? new XMLSerializer().serializeToString(document.doctype) : '';
  return doctype + '\n' + root.outerHTML;
})())JS";

}  // namespace kestrine::page_scripts
