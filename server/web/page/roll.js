// The roll call: the board's rows taken once, in four groups, with a box to
// tick beside each name. Ticks and the list are kept in this browser, so a
// reload or a lost connection loses none. Every text goes in by textContent.
'use strict';

(() => {
  const rollKey = 'pegora-roll-call';
  // ?at=: the roll call as it stood then, rebuilt from the history; looked at, never kept.
  const asAt = new URLSearchParams(location.search).get('at') || '';
  const groupTitles = ['In', 'No word for a while', 'Other', 'Out', 'Planned away'];
  let unreachable = false;
  // { started, taken, board: {in, out, other}, groups: [[row]], ticks: Map key -> true }; kept with
  // the ticks as a list, since no name (not even "constructor") may collide with an object's own keys.
  let roll = null;

  function nameKey(name) {
    return asciiLower(name);  // app.js's: the board's key rule
  }

  function when(ms) {
    return new Date(ms).toLocaleString([], {
      weekday: 'long', day: 'numeric', month: 'long', year: 'numeric', hour: '2-digit', minute: '2-digit',
      hourCycle: 'h23',
    });
  }

  function clock(ms) {
    return new Date(ms).toLocaleTimeString([], { hour: '2-digit', minute: '2-digit', hourCycle: 'h23' });
  }

  function minutesAgo(ms) {
    const minutes = Math.floor((Date.now() - ms) / 60000);
    if (minutes < 1) return 'just now';
    return minutes === 1 ? '1 minute ago' : minutes + ' minutes ago';
  }

  function quietFor(seconds) {
    const minutes = Math.floor(seconds / 60);
    if (minutes < 60) return 'no word for ' + minutes + ' min';
    const hours = Math.floor(minutes / 60);
    return hours < 48 ? 'no word for ' + hours + ' h' : 'no word for ' + Math.floor(hours / 24) + ' days';
  }

  // The same groups as the board's /roll.csv: silent first, whatever the status; but a desk that
  // said goodbye is not silent (Other), and a browser's word over a desk that says "in" is In.
  function groupRows(board) {
    const silentAfter = board.asAt ? Infinity : 60 * (board.silentMinutes > 0 ? board.silentMinutes : 3);
    const groups = [[], [], [], [], []];
    // ?group= narrows the roll call to one section of the staff directory, as on the page.
    const only = new URLSearchParams(location.search).get('group') || '';
    const wanted = (row) => !only || !board.directory || sectionOf(row) === only;  // app.js's rule
    for (const row of board.rows.filter(wanted)) {
      const goodbye = row.source === 'desk' && row.word === 'other' && row.message === 'Client shutdown';
      const deskIn = row.source === 'browser' && row.desk === 'in';
      // Out by a plan: not expected in the building, whatever the desk says.
      const plannedAway = row.planned === true && row.word === 'out';
      const group = plannedAway ? 4 : goodbye ? 2 : row.age > silentAfter ? 1 : deskIn || row.word === 'in' ? 0 : row.word === 'out' ? 3 : 2;
      const kept = { name: row.name, word: row.word, message: row.message, age: row.age };
      if (row.displayName) kept.displayName = row.displayName;
      if (row.since > 0) kept.sinceAt = Date.now() - row.sinceAge * 1000;
      if (goodbye) kept.said = Date.now() - row.age * 1000;
      if (deskIn && row.word !== 'in') kept.browser = 'set from a browser: ' + row.word + (row.message ? ', ' + row.message : '');
      if (row.group) kept.group = row.group;
      if (row.setBy && asciiLower(row.setBy.name) !== asciiLower(row.name)) kept.setBy = row.setBy.displayName;
      groups[group].push(kept);
    }
    // With a staff directory everybody is on it: the unheard have had no word at all.
    for (const person of (board.unheard || []).filter(wanted)) {
      groups[1].push({ name: person.name, displayName: person.displayName, word: '', message: '', age: 0, unheard: true,
        group: person.group });
    }
    // Called out by the names people answer to.
    const called = (row) => row.displayName || row.name;
    for (const group of groups) group.sort((a, b) => called(a).localeCompare(called(b), undefined, { sensitivity: 'base' }));
    if (!groups[4].length) groups.pop();  // a group of its own only where plans put people out
    return groups;
  }

  function save() {
    if (asAt) return;
    try {
      localStorage.setItem(rollKey, JSON.stringify({ ...roll, ticks: [...roll.ticks.keys()] }));
    } catch (error) {
      say('This browser cannot keep the ticks; do not reload the page.', true);
    }
  }

  function load() {
    if (asAt) return null;
    try {
      const kept = JSON.parse(localStorage.getItem(rollKey));
      if (kept && Array.isArray(kept.groups) && kept.groups.length === 4 && kept.ticks) {
        // A list, or an object as an older page kept them.
        const keys = Array.isArray(kept.ticks) ? kept.ticks : Object.keys(kept.ticks);
        kept.ticks = new Map(keys.filter((k) => typeof k === 'string').map((k) => [k, true]));
        return kept;
      }
    } catch (error) {
      // a damaged entry is a roll call not begun
    }
    return null;
  }

  function say(text, trouble) {
    const state = document.getElementById('roll-state');
    state.textContent = text;
    state.classList.toggle('trouble', trouble);
  }

  function element(tag, text, className) {
    const e = document.createElement(tag);
    if (text) e.textContent = text;
    if (className) e.className = className;
    return e;
  }

  function listed() {
    return roll.groups.flat();
  }

  function progress() {
    const names = listed();
    const accounted = names.filter((row) => roll.ticks.has(nameKey(row.name))).length;
    document.getElementById('roll-progress').textContent =
      accounted + ' accounted for, ' + (names.length - accounted) + ' not yet accounted for';
    roll.groups.forEach((group, i) => {
      const ticked = group.filter((row) => roll.ticks.has(nameKey(row.name))).length;
      const count = document.getElementById('roll-count-' + i);
      if (count) count.textContent = group.length + (ticked ? ', ' + ticked + ' accounted for' : '');
    });
  }

  function render() {
    const taken = roll.asAt ? 'As at ' + when(roll.asAt) : 'Taken at ' + when(roll.taken);
    document.getElementById('roll-taken').textContent = taken;
    document.getElementById('roll-footer').textContent = 'Roll call, ' + taken.charAt(0).toLowerCase() + taken.slice(1);
    const b = roll.board;
    document.getElementById('roll-board').textContent =
      'On the board: ' + b.in + ' in, ' + b.out + ' out, ' + b.other + ' other';
    const main = element('main');
    main.id = 'roll-groups';
    roll.groups.forEach((group, i) => {
      const section = element('section', '', 'group group-' + i);
      const details = element('details');
      details.open = i !== 3 && i !== 4;  // out is folded away until asked for
      const summary = element('summary');
      const heading = element('h2', groupTitles[i] + ' ');
      const count = element('span', '', 'count');
      count.id = 'roll-count-' + i;
      heading.appendChild(count);
      summary.appendChild(heading);
      details.appendChild(summary);
      const list = element('ul', '', 'names');
      if (group.length === 0) list.appendChild(element('li', 'Nobody', 'nobody'));
      for (const row of group) {
        const item = element('li');
        const label = element('label', '', 'tick');
        const box = element('input');
        box.type = 'checkbox';
        box.checked = roll.ticks.has(nameKey(row.name));
        box.addEventListener('change', () => {
          if (box.checked) roll.ticks.set(nameKey(row.name), true);
          else roll.ticks.delete(nameKey(row.name));
          save();
          progress();
        });
        label.appendChild(box);
        label.appendChild(element('span', '', 'box'));
        const text = element('span', '', 'who');
        const called = element('span', row.displayName || row.name, 'name');
        if (row.displayName && row.displayName !== row.name) called.appendChild(element('span', row.name, 'login'));
        text.appendChild(called);
        text.appendChild(element('span', ' accounted for', 'visually-hidden'));
        if (row.sinceAt) {
          const since = sinceText((Date.now() - row.sinceAt) / 1000);
          text.appendChild(element('span', row.word + ' ' + since, 'since'));
        }
        let detail = '';
        if (row.unheard) detail = 'no word yet';
        else if (i === 0 && row.browser) detail = row.browser;
        else if (i === 1) detail = row.word + ', ' + quietFor(row.age) + (row.message ? ': ' + row.message : '');
        else if (i === 2 && row.said) detail = row.message + ', at ' + clock(row.said);
        else if (i === 2) detail = row.message;
        if (row.setBy) detail = (detail ? detail + ', ' : '') + 'set by ' + row.setBy;
        if (row.group) detail = detail ? row.group + ' · ' + detail : row.group;
        if (detail) text.appendChild(element('span', detail, 'detail'));
        label.appendChild(text);
        item.appendChild(label);
        list.appendChild(item);
      }
      details.appendChild(list);
      section.appendChild(details);
      main.appendChild(section);
    });
    document.getElementById('roll-groups').replaceWith(main);
    progress();
  }

  function showAge() {
    if (asAt) return;
    if (roll && !unreachable) say('List taken ' + minutesAgo(roll.taken) + '. Refresh takes a new one and keeps the ticks.', false);
  }

  async function take(fresh) {
    try {
      let response;
      if (asAt) {
        const answer = await window.pegoraHistory.ask('/roll.json?at=' + encodeURIComponent(asAt));
        if (!answer.ok) {
          document.getElementById('roll-at-code-box').hidden = answer.status !== 403;
          say(answer.error, true);
          return;
        }
        response = answer.response;
      } else {
        response = await fetch('/board.json', { cache: 'no-store' });
      }
      if (!response.ok) throw new Error('the board answered ' + response.status);
      const board = await response.json();
      const counts = { in: 0, out: 0, other: 0 };
      for (const row of board.rows) counts[row.word] += 1;
      const ticks = new Map();
      const groups = groupRows(board);
      if (roll && !fresh) {
        // Ticks stay for the names still listed.
        for (const row of groups.flat()) if (roll.ticks.has(nameKey(row.name))) ticks.set(nameKey(row.name), true);
      }
      roll = { started: roll && !fresh ? roll.started : Date.now(), taken: Date.now(), board: counts, groups, ticks,
        asAt: board.asAt || 0 };
      unreachable = false;
      save();
      render();
      showAge();
    } catch (error) {
      unreachable = true;
      if (roll) {
        render();
        say('The board cannot be reached right now; this is the list taken at ' + when(roll.taken) + '.', true);
      } else {
        say('The board cannot be reached right now, and this browser has no list yet. Try Refresh.', true);
      }
    }
  }

  // Every group on paper, folded or not, however the printing was asked for.
  let folded = [];
  function unfold() {
    folded = Array.from(document.querySelectorAll('#roll-groups details')).filter((d) => !d.open);
    for (const d of folded) d.open = true;
  }
  function refold() {
    for (const d of folded) d.open = false;
    folded = [];
  }

  document.addEventListener('DOMContentLoaded', () => {
    if (!new URLSearchParams(location.search).has('roll')) return;
    document.title = 'Roll call - Pegora board';
    document.getElementById('board-view').hidden = true;
    document.getElementById('roll-view').hidden = false;
    roll = load();
    if (asAt) {
      for (const id of ['roll-refresh', 'roll-new']) document.getElementById(id).hidden = true;
      document.getElementById('roll-csv').addEventListener('click', (event) => {
        event.preventDefault();
        window.pegoraHistory.downloadAt(asAt);
      });
    }
    document.getElementById('roll-refresh').addEventListener('click', () => take(false));
    document.getElementById('roll-print').addEventListener('click', () => window.print());
    window.addEventListener('beforeprint', unfold);
    window.addEventListener('afterprint', refold);
    document.getElementById('roll-new').addEventListener('click', () => {
      if (window.confirm('Start a new roll call? Every tick of this one is cleared.')) take(true);
    });
    take(false);
    setInterval(showAge, 30000);
  });
})();
