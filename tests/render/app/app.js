// A single-page application in a few lines: routes through the history
// API, text fetched as JSON, a list that loads its next page when its end
// comes into view, an image that loads only when scrolled to.
const root = document.getElementById('root');
const getJson = url => fetch(url).then(r => r.json());

function navigate(path) {
  history.pushState(null, '', path);
  render();
}
document.addEventListener('click', e => {
  const a = e.target.closest('a[data-link]');
  if (!a) return;
  e.preventDefault();
  navigate(a.getAttribute('href'));
});

const nav = '<nav><a data-link href="/">Home</a> <a data-link href="/items">Items</a></nav>';

async function home(main) {
  const about = await getJson('/api/about');
  main.innerHTML = `<h1>${about.title}</h1><p>${about.text}</p>` +
    '<div class="spacer"></div><img id="lazy" alt="bird" data-src="/img/bird.svg">';
  const lazy = main.querySelector('#lazy');
  new IntersectionObserver((seen, observer) => {
    if (!seen.some(e => e.isIntersecting)) return;
    lazy.src = lazy.dataset.src;
    observer.disconnect();
  }).observe(lazy);
}

async function items(main) {
  main.innerHTML = '<h1>Items</h1><ul id="list"></ul><p id="end"></p>';
  const list = main.querySelector('#list');
  const end = main.querySelector('#end');
  let page = 0;
  let loading = false;
  const more = new IntersectionObserver(async seen => {
    if (!seen.some(e => e.isIntersecting) || loading) return;
    loading = true;
    const data = await getJson(`/api/items?page=${++page}`);
    for (const item of data.items) {
      list.insertAdjacentHTML('beforeend',
        `<li style="height: 400px"><a data-link href="/items/${item.id}">${item.name}</a></li>`);
    }
    if (!data.next) { end.textContent = 'owlend'; more.disconnect(); }
    loading = false;
  });
  more.observe(end);
}

async function item(main, id) {
  const data = await getJson(`/api/item/${id}`);
  main.innerHTML = `<h1>${data.name}</h1><p>${data.text}</p>`;
}

function render() {
  root.innerHTML = nav + '<main></main>';
  const main = root.querySelector('main');
  const path = location.pathname;
  const match = path.match(/^\/items\/(\d+)$/);
  if (match) return item(main, match[1]);
  if (path === '/items') return items(main);
  return home(main);
}
render();
