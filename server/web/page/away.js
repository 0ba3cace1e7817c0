// "Who's away" (?away): this week and next, people down and days across (a list of
// each person's days on a phone), grouped as the page is; the month and year, today
// marked, each plan's message on its first day, part-day plans by their times.
'use strict';

(() => {
  const codeKey = 'pegora-update-code';  // update.js's
  const element = (id) => document.getElementById(id);
  const board = () => window.pegoraBoard || { rows: [] };
  const day = (d, plus) => new Date(d.getFullYear(), d.getMonth(), d.getDate() + plus);  // summer time safe
  const iso = (d) => d.getFullYear() + '-' + String(d.getMonth() + 1).padStart(2, '0') + '-' +
    String(d.getDate()).padStart(2, '0');
  const timeFormat = new Intl.DateTimeFormat('en-GB', { hour: '2-digit', minute: '2-digit', hourCycle: 'h23' });
  const rangeFormat = new Intl.DateTimeFormat([], { day: 'numeric', month: 'long', year: 'numeric' });
  const daysFormat = new Intl.DateTimeFormat([], { weekday: 'short', day: 'numeric', month: 'short' });
  const timesFormat = new Intl.DateTimeFormat([], { weekday: 'short', day: 'numeric', month: 'short',
    hour: '2-digit', minute: '2-digit', hourCycle: 'h23' });

  function make(tag, text, className) {
    const e = document.createElement(tag);
    if (text) e.textContent = text;
    if (className) e.className = className;
    return e;
  }

  const midnight = (ms) => new Date(ms).getHours() === 0 && new Date(ms).getMinutes() === 0;

  // One plan's time in words: "Mon 14 – Wed 16 Dec" for whole days, else with the times.
  function spanText(t) {
    if (midnight(t.from) && midnight(t.to)) return daysFormat.formatRange(new Date(t.from), new Date(t.to - 1));
    return timesFormat.formatRange(new Date(t.from), new Date(t.to));
  }

  // What a day's cell says of the plans that touch it: the word, and the times where it is part of the day.
  function dayCell(times, start, end, first, today) {
    const hits = times.filter((t) => t.from < end && t.to > start);
    const td = make('td', '', today ? 'today' : '');
    if (!hits.length) return td;
    const whole = hits.some((t) => t.from <= start && t.to >= end);
    td.classList.add('away', hits[0].word);
    if (!whole) td.classList.add('part');
    td.appendChild(make('span', hits[0].word, 'word'));
    const notes = [];
    for (const t of hits) {
      if (!whole) notes.push(t.from <= start ? 'until ' + timeFormat.format(t.to) : t.to >= end
        ? 'from ' + timeFormat.format(t.from) : timeFormat.format(t.from) + '–' + timeFormat.format(t.to));
      if (t.message && (first || t.from >= start)) notes.push(t.message);
    }
    if (notes.length) td.appendChild(make('span', notes.join(', '), 'note'));
    td.title = hits.map((t) => spanText(t) + ': ' + t.word + (t.message ? ', ' + t.message : '')).join('\n');
    return td;
  }

  // Where the plans need the code or a sign-in, the way to give either is right here.
  function refused(got) {
    element('away-state').textContent = got.answer.error || 'The plans cannot be read (' + got.status + ').';
    element('away-sign-in').hidden = !(got.status === 401 && board().signIn);
    element('away-code-box').hidden = !(board().code && (got.status === 401 || got.status === 403));
  }

  async function showAway() {
    const today = new Date();
    const monday = day(today, -((today.getDay() + 6) % 7));
    const days = [...Array(15).keys()].map((i) => day(monday, i));  // 14 days and the end of the last
    const got = await window.pegoraPlans.ask('GET', '/plans?from=' + iso(days[0]) + '&to=' + iso(days[14]));
    if (!got.ok) return refused(got);
    element('away-sign-in').hidden = true;
    element('away-code-box').hidden = true;
    element('away-range').textContent = rangeFormat.formatRange(days[0], days[13]);
    const people = new Map();
    for (const plan of got.answer.plans)
      for (const [from, to] of plan.times) {
        if (!people.has(plan.name)) people.set(plan.name, []);
        people.get(plan.name).push({ from, to, word: plan.word, message: plan.message });
      }
    for (const times of people.values()) times.sort((a, b) => a.from - b.from);
    const known = new Map([...board().rows, ...(board().unheard || [])].map((r) => [r.name.toLowerCase(), r]));
    const called = (name) => (known.get(name.toLowerCase()) || {}).displayName || name;
    const groupOf = (name) => (known.get(name.toLowerCase()) || {}).group || '';
    const names = [...people.keys()].sort((a, b) => (groupOf(a) + '\u0000' + called(a)).localeCompare(
      groupOf(b) + '\u0000' + called(b), undefined, { sensitivity: 'base' }));
    const isToday = (d) => d.toDateString() === today.toDateString();

    const head = element('away-head');
    head.replaceChildren(make('th', 'Name'));
    head.firstChild.setAttribute('scope', 'col');
    days.slice(0, 14).forEach((d, i) => {
      const month = i === 0 || d.getDate() === 1;
      const th = make('th', d.toLocaleDateString([], month ? { weekday: 'short', day: 'numeric', month: 'short' }
        : { weekday: 'short', day: 'numeric' }), isToday(d) ? 'today' : '');
      th.setAttribute('scope', 'col');
      if (isToday(d)) {
        th.setAttribute('aria-current', 'date');
        th.appendChild(make('span', 'today', 'today-mark'));
      }
      head.appendChild(th);
    });
    const body = element('away-rows');
    const list = element('away-list');
    body.replaceChildren();
    list.replaceChildren();
    let group = null;
    for (const name of names) {
      if (groupOf(name) !== group && board().directory) {
        group = groupOf(name);
        const tr = make('tr', '', 'section');
        const th = make('th', group || 'No group');
        th.setAttribute('scope', 'rowgroup');
        th.colSpan = 15;
        tr.appendChild(th);
        body.appendChild(tr);
        list.appendChild(make('li', '', 'away-group')).appendChild(make('h2', group || 'No group'));
      }
      const times = people.get(name);
      const tr = make('tr');
      const th = make('th', called(name));
      th.setAttribute('scope', 'row');
      tr.appendChild(th);
      days.slice(0, 14).forEach((d, i) => tr.appendChild(dayCell(times, +d, +days[i + 1], i === 0, isToday(d))));
      body.appendChild(tr);
      const item = make('li', '', 'away-person');
      item.appendChild(make('strong', called(name)));
      const spans = make('ul');
      for (const t of times)
        spans.appendChild(make('li', spanText(t) + ': ' + t.word + (t.message ? ', ' + t.message : '')));
      item.appendChild(spans);
      list.appendChild(item);
    }
    element('away-state').textContent = names.length ? '' : 'Nobody has a plan these two weeks.';
    return null;
  }

  document.addEventListener('DOMContentLoaded', () => {
    if (!new URLSearchParams(location.search).has('away')) return;
    element('board-view').hidden = true;
    element('away-view').hidden = false;
    element('away-print').addEventListener('click', () => window.print());
    element('away-sign-in').addEventListener('click', () => window.pegoraSignIn.open());
    element('away-code-box').addEventListener('submit', (event) => {
      event.preventDefault();
      try {
        sessionStorage.setItem(codeKey, element('away-code').value);  // for this browser session, as update.js keeps it
      } catch (error) {
        // asked again next time
      }
      showAway();
    });
    window.onSignedIn = showAway;
    // The names and groups come with the board; the plans once they are there.
    const wait = setInterval(() => {
      if (!window.pegoraBoard) return;
      clearInterval(wait);
      showAway();
    }, 200);
  });
})();
