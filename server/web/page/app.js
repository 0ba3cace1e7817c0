// The board's page: fetches /board.json every 2 seconds and builds the rows
// with textContent only, since anybody on the network can write any name or
// message.
'use strict';

const wall = new URLSearchParams(location.search).has('wall');
const refreshMs = 2000;
const wallPageMs = 10000;
let rows = [];
let silentMinutes = 3;
let updates = false;
let wallPage = 0;
let lastPaged = Date.now();

function ago(seconds) {
  if (seconds < 60) return 'just now';
  const minutes = Math.floor(seconds / 60);
  if (minutes < 60) return minutes + ' min ago';
  const hours = Math.floor(minutes / 60);
  if (hours < 48) return hours + ' h ago';
  return Math.floor(hours / 24) + ' days ago';
}

// Since when a row's words have stood, on this clock: "since 14:05" today, "since Mon
// 14:05" within the week, "since 3 Dec" before. From the age, so a browser whose clock
// is off still says the board's moment.
function sinceText(seconds) {
  const at = new Date(Date.now() - seconds * 1000);
  const now = new Date();
  const time = at.toLocaleTimeString('en-GB', { hour: '2-digit', minute: '2-digit', hourCycle: 'h23' });
  if (at.toDateString() === now.toDateString()) return 'since ' + time;
  const midnight = new Date(now.getFullYear(), now.getMonth(), now.getDate());
  if (midnight - at < 6 * 86400000) return 'since ' + at.toLocaleDateString('en-GB', { weekday: 'short' }) + ' ' + time;
  return 'since ' + at.toLocaleDateString('en-GB', { day: 'numeric', month: 'short' });
}

function noWordFor(seconds) {
  return 'no word for ' + ago(seconds).replace(' ago', '');
}

function cell(tag, text, className) {
  const element = document.createElement(tag);
  element.textContent = text;
  if (className) element.className = className;
  return element;
}

function matches(row, filter) {
  if (!filter) return true;
  return row.name.toLowerCase().includes(filter) || row.message.toLowerCase().includes(filter);
}

function render() {
  if (document.getElementById('update').open) return;  // the rows stay put under the form
  const filter = wall ? '' : document.getElementById('filter').value.trim().toLowerCase();
  const counts = { in: 0, out: 0, other: 0 };
  for (const row of rows) counts[row.word] += 1;
  for (const word of Object.keys(counts)) document.getElementById('count-' + word).textContent = counts[word];

  let shown = rows.filter((row) => matches(row, filter));
  const page = document.getElementById('page');
  if (wall) {
    const perPage = Math.max(1, Math.floor((window.innerHeight - 260) / 64));
    const pages = Math.max(1, Math.ceil(shown.length / perPage));
    if (Date.now() - lastPaged >= wallPageMs) {
      wallPage = (wallPage + 1) % pages;
      lastPaged = Date.now();
    }
    wallPage %= pages;
    shown = shown.slice(wallPage * perPage, (wallPage + 1) * perPage);
    page.hidden = pages < 2;
    page.textContent = 'Page ' + (wallPage + 1) + ' of ' + pages;
  }

  const body = document.createElement('tbody');
  body.id = 'rows';
  for (const row of shown) {
    const silent = row.age > silentMinutes * 60;
    const tr = document.createElement('tr');
    if (silent) tr.className = 'silent';
    tr.appendChild(cell('th', row.name)).setAttribute('scope', 'row');
    const status = cell('td', '');
    status.appendChild(cell('span', row.word, 'label ' + row.word));
    if (row.since > 0) status.appendChild(cell('span', sinceText(row.sinceAge), 'since'));
    tr.appendChild(status);
    const message = cell('td', row.message, 'message');
    if (row.source === 'browser') {
      // Said beside the message, so nobody takes it for the desk's own word.
      let said = 'set from a browser';
      if (row.until) said += ', until ' + row.until + (row.passed ? ' (passed)' : '');
      message.appendChild(cell('span', said, 'source'));
    }
    tr.appendChild(message);
    const age = cell('td', silent ? noWordFor(row.age) : ago(row.age), 'age');
    if (updates && !wall) {
      const change = cell('button', 'Update', 'row-update');
      change.type = 'button';
      change.setAttribute('aria-label', 'Update the status of ' + row.name);
      change.addEventListener('click', () => window.openUpdateForm(row.name));
      age.appendChild(change);
    }
    tr.appendChild(age);
    body.appendChild(tr);
  }
  document.getElementById('rows').replaceWith(body);
}

function say(text, trouble) {
  const state = document.getElementById('state');
  state.textContent = text;
  state.classList.toggle('trouble', trouble);
}

async function refresh() {
  try {
    const response = await fetch('/board.json', { cache: 'no-store' });
    if (!response.ok) throw new Error('the board answered ' + response.status);
    const board = await response.json();
    rows = board.rows;
    silentMinutes = board.silentMinutes > 0 ? board.silentMinutes : 3;
    updates = board.updates === true;
    window.pegoraBoard = board;  // the update form's names and whether it needs a code
    document.getElementById('update-open').hidden = !updates || wall;
    say(rows.length === 1 ? '1 person on the board' : rows.length + ' people on the board', false);
    render();
  } catch (error) {
    say('The board cannot be reached right now; showing the last rows it sent.', true);
  }
}

function tick() {
  const clock = document.getElementById('clock');
  clock.textContent = new Date().toLocaleTimeString([], { hour: '2-digit', minute: '2-digit', hourCycle: 'h23' });
}

document.addEventListener('DOMContentLoaded', () => {
  if (new URLSearchParams(location.search).has('roll')) return;  // roll.js has the page
  if (wall) {
    document.body.classList.add('wall');
    document.getElementById('filter-box').hidden = true;
    document.getElementById('roll-link').hidden = true;
    document.getElementById('clock').hidden = false;
    tick();
    setInterval(tick, 1000);
  } else {
    document.getElementById('filter').addEventListener('input', render);
  }
  window.refreshBoard = refresh;
  refresh();
  setInterval(refresh, refreshMs);
});
