// The board's page: fetches /board.json every 2 seconds and builds the rows
// with textContent only, since anybody on the network can write any name or
// message.
'use strict';

const wall = new URLSearchParams(location.search).has('wall');
// A wall screen's view-only key, where the board shows itself to signed-in people only.
const wallKey = new URLSearchParams(location.search).get('key') || '';
const refreshMs = 2000;
// A wall pages every 10 seconds, or every ?every= seconds (3 to 60) where an office wants it.
const wallEvery = Number(new URLSearchParams(location.search).get('every'));
const wallPageMs = (wallEvery >= 3 && wallEvery <= 60 ? wallEvery : 10) * 1000;
let rows = [];
let silentMinutes = 3;
let updates = false;
let historyServed = false;  // the board serves its history to the code's holders
let wallPage = 0;
let directory = null;  // the staff directory's state, when the board has one
let unheard = [];
let chosenGroup = new URLSearchParams(location.search).get('group') || '';  // '' is all groups
const noGroup = 'No group';
const notListed = 'Not in the directory';
let lastPaged = Date.now();
// The row whose details and actions a tap opened, where a phone folds them away.
let openRow = '';
// Each shown row's look -> its <tr>: a refresh builds only the rows whose look changed.
let built = new Map();
let fresh = new Map();
// The board answers 304 while what it shows is what this page has: its tag, and when the
// rows came, from which their "since" is worked out.
let boardTag = '';
let receivedAt = Date.now();
// The browser's clock less the board's, from the rows' ages, kept while it moves by less
// than a few seconds: each poll's reading is off by up to a second, which would flip a
// row's "since" between two minutes from one poll to the next.
let clockOffset = null;

function keepClockOffset(shown, at) {
  const row = shown.find((r) => r.since > 0);
  if (!row) return;
  const reading = at - row.sinceAge * 1000 - row.since;
  if (clockOffset === null || Math.abs(reading - clockOffset) > 5000) clockOffset = reading;
}

// The board's own key rule: only the 26 ASCII letters fold, so "ÉMILE" and "émile" stay two people.
function asciiLower(text) {
  return text.replace(/[A-Z]+/g, (letters) => letters.toLowerCase());
}

function cell(tag, text, className) {
  const element = document.createElement(tag);
  element.textContent = text;
  if (className) element.className = className;
  return element;
}

function matches(row, filter) {
  if (!filter) return true;
  return [row.name, row.message, row.displayName || '', row.group || ''].some((t) => t.toLowerCase().includes(filter));
}

// With a staff directory: one section per group, alphabetically, then people without
// a group, then rows the directory does not know (usually a desk set up with the wrong name).
function sectionOf(row) {
  if (!row.displayName) return notListed;
  return row.group || noGroup;
}

function sections(list) {
  if (!directory) return [{ title: '', rows: list }];
  const by = new Map();
  for (const row of list) {
    const title = sectionOf(row);
    if (!by.has(title)) by.set(title, []);
    by.get(title).push(row);
  }
  const titles = [...by.keys()].filter((t) => t !== noGroup && t !== notListed).sort((a, b) => a.localeCompare(b));
  for (const last of [noGroup, notListed]) if (by.has(last)) titles.push(last);
  return titles.map((title) => {
    const rows = by.get(title).sort((a, b) => (a.displayName || a.name).localeCompare(b.displayName || b.name));
    return { title, rows };
  });
}

function sectionHeading(section) {
  const count = { in: 0, out: 0, other: 0, quiet: 0 };
  for (const row of section.rows) {
    if (row.unheard || row.age > silentMinutes * 60) count.quiet += 1;
    else count[row.word] += 1;
  }
  return section.title + ': ' + count.in + ' in, ' + count.out + ' out, ' + count.other + ' other, ' +
    count.quiet + ' no word';
}

function groupMenu() {
  const box = document.getElementById('group-box');
  box.hidden = !directory || wall;
  if (!directory) return;
  const menu = document.getElementById('group-filter');
  const groups = [...new Set([...rows, ...unheard].map(sectionOf))];
  if (chosenGroup && !groups.includes(chosenGroup)) groups.push(chosenGroup);  // chosen stays chosen
  groups.sort((a, b) => a.localeCompare(b));
  const wanted = ['', ...groups];
  const have = [...menu.options].map((o) => o.value);
  if (wanted.join('\n') === have.join('\n')) return;
  menu.replaceChildren(cell('option', 'All groups'));
  menu.options[0].value = '';
  for (const group of groups) {
    const option = cell('option', group);
    option.value = group;
    menu.appendChild(option);
  }
  menu.value = chosenGroup;
}

function render() {
  if (document.getElementById('update').open) return;  // the rows stay put under the form
  const filter = wall ? '' : document.getElementById('filter').value.trim().toLowerCase();
  const counts = { in: 0, out: 0, other: 0 };
  for (const row of rows) counts[row.word] += 1;
  for (const word of Object.keys(counts)) document.getElementById('count-' + word).textContent = counts[word];

  const group = directory ? chosenGroup : '';
  const everybody = directory ? rows.concat(unheard.map((u) => ({ ...u, unheard: true, word: '', message: '', age: 0 }))) : rows;
  let shown = everybody.filter((row) => matches(row, filter) && (!group || sectionOf(row) === group));
  if (wall) {
    renderWall(sections(shown));
    return;
  }
  shown = sections(shown).flatMap((s) => (s.title ? [{ heading: sectionHeading(s) }] : []).concat(s.rows));

  fresh = new Map();
  const wanted = [];
  let heading = null;
  for (const row of shown) {
    if (row.heading) {
      heading = row.heading;
      continue;
    }
    if (heading) wanted.push(headingOf(heading));
    heading = null;
    wanted.push(rowOf(row));
  }
  place(document.getElementById('rows'), wanted);
  built = fresh;
}

// Only what changed is touched: a board of thousands is not laid out again every refresh.
function place(parent, wanted) {
  let current = parent.firstChild;
  for (const element of wanted) {
    if (element === current) current = current.nextSibling;
    else parent.insertBefore(element, current);
  }
  while (current) {
    const next = current.nextSibling;
    current.remove();
    current = next;
  }
}

// A row, or a section's heading, made again only when its look changed.
function reused(look, build) {
  const known = fresh.has(look) ? null : built.get(look);
  const tr = known || build();
  fresh.set(look, tr);
  return tr;
}

function headingOf(text) {
  return reused('heading\n' + text, () => {
    const tr = document.createElement('tr');
    tr.className = 'section';
    const th = cell('th', text, '');
    th.setAttribute('scope', 'rowgroup');
    th.colSpan = 4;
    tr.appendChild(th);
    return tr;
  });
}

function rowOf(row) {
  const silent = row.unheard || row.age > silentMinutes * 60;
  const ageText = row.unheard ? '' : silent ? noWordFor(row.age) : ago(row.age);
  const since = !row.unheard && row.since > 0
    ? sinceText((receivedAt - clockOffset - row.since) / 1000, receivedAt) : '';
  const look = JSON.stringify([row.name, row.displayName, row.phone, row.unheard, row.word, row.message, row.source,
    row.until, row.passed, silent, ageText, since, updates && !wall, historyServed && !wall, mayChange(row.name),
    row.setBy ? row.setBy.name + row.setBy.at : '', row.planned, row.back, JSON.stringify(row.nextPlan || null),
    openRow === row.name]);
  return reused(look, () => buildRow(row, silent, ageText, since));
}

function buildRow(row, silent, ageText, since) {
  const tr = document.createElement('tr');
  if (silent) tr.classList.add('silent');
  if (openRow === row.name) tr.classList.add('open');
  const who = cell('th', row.displayName || row.name);
  who.setAttribute('scope', 'row');
  if (row.displayName && row.displayName !== row.name) who.appendChild(cell('span', row.name, 'login'));
  if (row.phone) {
    const phone = cell('a', row.phone, 'phone');
    phone.href = 'tel:' + row.phone.replace(/[^0-9+]/g, '');
    who.appendChild(phone);
  }
  tr.appendChild(who);
  const status = cell('td', '', 'status');
  if (row.unheard) {
    status.appendChild(cell('span', 'no word yet', 'unheard'));
    tr.appendChild(status);
    const note = cell('td', '', 'message');
    if (row.nextPlan) note.appendChild(cell('span', nextText(row.nextPlan), 'source'));
    tr.appendChild(note);
    tr.appendChild(cell('td', '', 'age'));
    return tr;
  }
  status.appendChild(cell('span', row.word, 'label ' + row.word));
  if (since) status.appendChild(cell('span', since, 'since'));
  status.appendChild(detailsButton(row));
  tr.appendChild(status);
  tr.addEventListener('click', (event) => {
    if (!event.target.closest('button, a')) toggleRow(row.name);
  });
  const message = cell('td', row.message, 'message');
  if (row.source === 'browser') {
    // Said beside the message, so nobody takes it for the desk's own word.
    let said = 'set from a browser';
    if (row.setBy && asciiLower(row.setBy.name) !== asciiLower(row.name))
      said = 'set by ' + row.setBy.displayName + ' at ' + clockFormat.format(new Date(row.setBy.at));
    if (row.until) said += ', until ' + row.until + (row.passed ? ' (passed)' : '');
    message.appendChild(cell('span', said, 'source'));
  }
  if (row.planned) message.appendChild(cell('span', backText(row.back) + ', planned', 'source'));
  if (row.nextPlan) message.appendChild(cell('span', nextText(row.nextPlan), 'source'));
  tr.appendChild(message);
  const age = cell('td', ageText, 'age');
  if (updates && !wall && mayChange(row.name)) {
    const change = cell('button', 'Update', 'row-update');
    change.type = 'button';
    change.setAttribute('aria-label', 'Update the status of ' + row.name);
    change.addEventListener('click', () => window.openUpdateForm(row.name));
    age.appendChild(change);
  }
  if (historyServed && !wall && mayChange(row.name)) {
    const changes = cell('button', 'History', 'row-update');
    changes.type = 'button';
    changes.setAttribute('aria-label', 'History of ' + row.name);
    changes.addEventListener('click', () => window.pegoraHistory.openRow(row.name));
    age.appendChild(changes);
  }
  tr.appendChild(age);
  return tr;
}

// A phone shows a row's name, word and message; a tap shows since when, last heard and its actions.
function detailsButton(row) {
  const button = cell('button', '', 'row-details');
  button.type = 'button';
  button.setAttribute('aria-label', 'Details of ' + row.name);
  button.setAttribute('aria-expanded', String(openRow === row.name));
  button.addEventListener('click', () => toggleRow(row.name));
  return button;
}

function toggleRow(name) {
  openRow = openRow === name ? '' : name;
  render();
}

// Where people sign in, what the signed-in person may change: their own row, or reception any.
function mayChange(name) {
  const board = window.pegoraBoard;
  if (!board || !board.signIn) return true;
  const me = window.pegoraMe;
  return Boolean(me) && (me.reception || asciiLower(me.name) === asciiLower(name));
}

function say(text, trouble) {
  const state = document.getElementById('state');
  state.textContent = text;
  state.classList.toggle('trouble', trouble);
}

async function refresh() {
  try {
    const headers = boardTag ? { 'If-None-Match': boardTag } : {};
    if (wallKey) headers['X-Pegora-Wall'] = wallKey;
    const response = await fetch('/board.json', { cache: 'no-store', headers });
    if (response.status === 401) {
      // The board is shown to signed-in people only.
      rows = [];
      render();
      if (window.pegoraSignIn) window.pegoraSignIn.needed();
      say(wall ? 'This wall link no longer works; ask for a new one.' : 'Sign in to see the board.', true);
      return;
    }
    // 304: the rows this page has still say what the board says; the wall pages on.
    if (response.status !== 304) {
      if (!response.ok) throw new Error('the board answered ' + response.status);
      const board = await response.json();
      boardTag = response.headers.get('ETag') || '';
      receivedAt = Date.now();
      rows = board.rows;
      keepClockOffset(rows, receivedAt);
      silentMinutes = board.silentMinutes > 0 ? board.silentMinutes : 3;
      updates = board.updates === true;
      historyServed = board.history === true;
      directory = board.directory || null;
      unheard = board.unheard || [];
      groupMenu();
      window.pegoraBoard = board;  // the update form's names and whether it needs a code
      document.getElementById('update-open').hidden = !updates || wall || (board.signIn === true && !window.pegoraMe);
      document.getElementById('plan-open').hidden = document.getElementById('update-open').hidden;
      if (window.onBoard) window.onBoard(board);
    }
    say(rows.length === 1 ? '1 person on the board' : rows.length + ' people on the board', false);
    document.getElementById('updated').textContent = 'updated ' + secondsFormat.format(new Date());
    render();
  } catch (error) {
    say('The board cannot be reached right now; showing the last rows it sent.', true);
  }
}

const secondsFormat = new Intl.DateTimeFormat('en-GB', { hour: '2-digit', minute: '2-digit', second: '2-digit',
  hourCycle: 'h23' });

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
    document.getElementById('away-link').hidden = true;
    document.getElementById('clock').hidden = false;
    document.getElementById('updated').hidden = false;
    document.getElementById('board').hidden = true;
    document.getElementById('wall').hidden = false;
    tick();
    setInterval(tick, 1000);
    window.addEventListener('resize', render);
  } else {
    document.getElementById('filter').addEventListener('input', render);
    document.getElementById('group-filter').addEventListener('change', () => {
      const address = new URL(location.href);
      const group = document.getElementById('group-filter').value;
      chosenGroup = group;
      if (group) address.searchParams.set('group', group);
      else address.searchParams.delete('group');
      history.replaceState(null, '', address);
      render();
    });
  }
  window.refreshBoard = refresh;
  window.renderBoard = render;
  refresh();
  setInterval(refresh, refreshMs);
});
