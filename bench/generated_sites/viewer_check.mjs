// Opens a served copy in Chromium: counts failed requests, follows an in-site
// link (client-side navigation), tries the colour switch and the search with
// a word from one page.
import { chromium } from 'playwright-core';
const [url, word, navSel, themeSel, searchSel, inputSel, resultSel] = process.argv.slice(2);
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox','--disable-gpu','--disable-quic','--no-first-run','--disable-background-networking','--disable-component-update','--disable-sync'] });
const page = await browser.newPage();
const failed = [];
page.on('requestfailed', r => { if (!String(r.failure()?.errorText).includes('ABORTED')) failed.push(r.url() + ' ' + r.failure()?.errorText); });
page.on('response', r => { if (r.status() >= 400) failed.push(r.url() + ' ' + r.status()); });
const errors = [];
page.on('pageerror', e => errors.push(String(e)));
await page.goto(url, { waitUntil: 'networkidle' });
const title = await page.title();
let navigated = 'not tried', themed = 'not tried', searched = 'not tried';
try {
  if (searchSel) await page.click(searchSel, { timeout: 5000 });
  // A search loads its index when first used: a few tries.
  let found = false;
  for (let attempt = 0; attempt < 3 && !found; ++attempt) {
    await page.waitForTimeout(1500);
    await page.fill(inputSel, '', { timeout: 5000 });
    await page.click(inputSel, { timeout: 5000 });
    await page.keyboard.type(word, { delay: 40 });
    found = await page.waitForSelector(resultSel, { timeout: 5000, state: 'attached' }).then(() => true, () => false);
  }
  if (!found) throw new Error('no result');
  const text = await page.locator(resultSel).first().innerText();
  searched = 'ok: ' + text.slice(0, 60).replace(/\n/g, ' ');
} catch (e) { searched = 'failed: ' + String(e).slice(0, 120); }
await page.goto(url, { waitUntil: 'networkidle' });
try {
  await page.click(navSel, { timeout: 5000 });
  await page.waitForFunction(w => document.body.innerText.includes(w), word, { timeout: 8000 });
  navigated = 'ok: ' + page.url();
  await page.waitForLoadState('networkidle');
} catch (e) { navigated = 'failed: ' + String(e).slice(0, 100); }
await page.goto(url, { waitUntil: 'networkidle' });
try {
  const before = await page.evaluate(() => document.documentElement.className + ' ' + (document.documentElement.dataset.theme || '') + ' ' + (document.body.dataset.mdColorScheme || ''));
  themed = 'no change';
  for (let i = 0; i < 3 && themed !== 'ok'; ++i) {
    if (themeSel.startsWith('select:')) {
      const [sel, value] = themeSel.slice(7).split('=');
      await page.selectOption(sel, value, { timeout: 5000 });
    } else {
      await page.click(themeSel, { timeout: 5000 });
    }
    await page.waitForTimeout(400);
    const after = await page.evaluate(() => document.documentElement.className + ' ' + (document.documentElement.dataset.theme || '') + ' ' + (document.body.dataset.mdColorScheme || ''));
    if (before !== after) themed = 'ok';
  }
} catch (e) { themed = 'failed: ' + String(e).slice(0, 100); }
console.log(JSON.stringify({ title, failed, errors: errors.slice(0, 3), navigated, themed, searched }, null, 1));
await browser.close();
