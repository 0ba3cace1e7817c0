// The wall (?wall): everybody as tiles in columns on one screen of a TV across the
// room, grouped as the page is. The type is the largest at which everybody fits; only
// when even the smallest readable type cannot hold them all does the wall page.
'use strict';

const wallSizes = [48, 42, 36, 32, 28, 24];  // a name's type in CSS px; 24 still reads from three metres
const tileEm = 2.4;  // a tile's height in its name's em: the name's line and the word's line
const tileWidthEm = 10.5;  // the narrowest a tile gets, in its name's em
const tileGapPx = 6;

// The tiles of each page, column by column, perColumn down. A heading never ends a
// column, and a page that starts inside a section repeats its heading.
function wallPages(items, perColumn, columns) {
  const capacity = perColumn * columns;
  const pages = [];
  let page = [];
  let heading = null;
  const turn = (carry) => {
    pages.push(page);
    page = carry ? [carry] : [];
  };
  for (const item of items) {
    if (item.heading) {
      heading = item;
      if (perColumn > 2 && page.length % perColumn === perColumn - 1) page.push({ filler: true });
      if (page.length && page.length >= capacity - 1) turn(null);
      page.push(item);
    } else {
      if (page.length >= capacity) turn(heading && { heading: heading.heading, continued: true });
      page.push(item);
    }
  }
  if (page.length || !pages.length) pages.push(page);
  return pages;
}

// The largest type at which the items fit one page of a width x height area, else the smallest, paged.
function wallLayout(items, width, height) {
  for (const size of wallSizes) {
    const perColumn = Math.max(2, Math.floor((height + tileGapPx) / (size * tileEm + tileGapPx)));
    const columns = Math.max(1, Math.floor((width + tileGapPx) / (size * tileWidthEm + tileGapPx)));
    const pages = wallPages(items, perColumn, columns);
    if (pages.length === 1 || size === wallSizes[wallSizes.length - 1]) return { size, perColumn, columns, pages };
  }
  return null;
}

// What follows the state's word on a tile: when it ends (or since when), then the message.
function tileWords(row, silent) {
  if (row.unheard) return ['no word yet', row.nextPlan ? nextText(row.nextPlan) : ''];
  const words = [];
  if (silent) words.push(noWordFor(row.age));
  else if (row.planned) words.push(backText(row.back));
  else if (row.source === 'browser' && row.until) words.push('until ' + row.until + (row.passed ? ' (passed)' : ''));
  words.push(row.message);
  if (row.nextPlan) words.push(nextText(row.nextPlan));
  return words;
}

function wallTile(row) {
  const silent = !row.unheard && row.age > silentMinutes * 60;
  const since = !row.unheard && !silent && !row.planned && !row.until && row.since > 0
    ? sinceText((receivedAt - clockOffset - row.since) / 1000, receivedAt) : '';
  const words = tileWords(row, silent).filter((w) => w);
  const name = row.displayName || row.name;
  const look = JSON.stringify(['tile', name, row.unheard, row.word, silent, since, words]);
  return reused(look, () => {
    const tile = cell('li', '', 'tile ' + (row.unheard ? 'unheard' : row.word) + (silent ? ' silent' : ''));
    tile.appendChild(cell('span', name, 'tile-name')).title = name;
    const line = cell('span', '', 'tile-line');
    if (!row.unheard) line.appendChild(cell('span', row.word, 'label ' + row.word));
    if (words.length) line.appendChild(cell('span', words.join(' · '), 'tile-words'));
    if (since) line.appendChild(cell('span', since, 'since'));
    line.title = words.join(' · ');
    tile.appendChild(line);
    return tile;
  });
}

function wallItem(item, i) {
  if (item.filler) {
    return reused('filler\n' + i, () => {
      const li = cell('li', '', 'tile-filler');
      li.setAttribute('aria-hidden', 'true');
      return li;
    });
  }
  if (item.heading) {
    const text = item.heading + (item.continued ? ' (continued)' : '');
    return reused('wall heading\n' + text, () => {
      const li = cell('li', '', 'wall-heading');
      li.appendChild(cell('h2', text));
      return li;
    });
  }
  return wallTile(item);
}

// Paints this moment's page of the sections into the wall's list.
function renderWall(list) {
  // A section's heading on a tile: its name and head count, which a tile's width holds.
  const items = list.flatMap((s) => (s.title ? [{ heading: s.title + ' (' + s.rows.length + ')' }] : []).concat(s.rows));
  const tiles = document.getElementById('wall');
  const page = document.getElementById('page');
  if (Date.now() - lastPaged >= wallPageMs) {
    wallPage += 1;
    lastPaged = Date.now();
  }
  // Measured again once the page number is shown or hidden, since the strip above may change height.
  let layout = null;
  for (let pass = 0; pass < 2; pass += 1) {
    const height = document.documentElement.clientHeight - tiles.getBoundingClientRect().top - 12;
    layout = wallLayout(items, tiles.clientWidth, height);
    wallPage %= layout.pages.length;
    page.hidden = layout.pages.length < 2;
    page.textContent = 'Page ' + (wallPage + 1) + ' of ' + layout.pages.length;
  }

  tiles.style.setProperty('--wall-size', layout.size + 'px');
  tiles.style.gridTemplateColumns = 'repeat(' + layout.columns + ', minmax(0, 1fr))';
  tiles.style.gridTemplateRows = 'repeat(' + layout.perColumn + ', ' + layout.size * tileEm + 'px)';
  tiles.style.gap = tileGapPx + 'px';
  fresh = new Map();
  place(tiles, layout.pages[wallPage].map(wallItem));
  built = fresh;
}
