// Plans on the page: "Plan an absence" (dates or times, a weekly repeat), a
// person's upcoming plans with edit and delete, and "Who's away" (?away):
// this week and next, people down, days across, grouped as the page is.
'use strict';

(() => {
  const codeKey = 'pegora-update-code';  // update.js's
  const dayMs = 86400000;
  const weekdays = ['mon', 'tue', 'wed', 'thu', 'fri', 'sat', 'sun'];
  let editing = 0;

  function element(id) {
    return document.getElementById(id);
  }

  function make(tag, text, className) {
    const e = document.createElement(tag);
    if (text) e.textContent = text;
    if (className) e.className = className;
    return e;
  }

  function board() {
    return window.pegoraBoard || { rows: [] };
  }

  function code() {
    try {
      return sessionStorage.getItem(codeKey) || localStorage.getItem(codeKey) || '';
    } catch (error) {
      return '';
    }
  }

  function say(text) {
    element('plan-error').textContent = text;
  }

  async function ask(method, path, body) {
    const headers = { 'X-Pegora-Code': element('plan-code').value || code() };
    const options = { method, cache: 'no-store', headers };
    if (body) {
      headers['Content-Type'] = 'application/json';
      headers['X-Pegora-Update'] = '1';
      if (board().code) body.code = element('plan-code').value || code();
      options.body = JSON.stringify(body);
    }
    const response = await fetch(path, options);
    let answer = {};
    try {
      answer = await response.json();
    } catch (error) {
      answer = {};
    }
    return { ok: response.ok, status: response.status, answer };
  }

  function wholeDays() {
    return element('plan-whole').checked;
  }

  function setKind() {
    for (const id of ['plan-start', 'plan-end']) element(id).type = wholeDays() ? 'date' : 'datetime-local';
  }

  function when(text, allDay) {
    const d = new Date(allDay ? text + 'T00:00' : text);
    const options = allDay ? { weekday: 'short', day: 'numeric', month: 'short' }
      : { weekday: 'short', day: 'numeric', month: 'short', hour: '2-digit', minute: '2-digit', hourCycle: 'h23' };
    return d.toLocaleString([], options);
  }

  async function showUpcoming(name) {
    const list = element('plan-list');
    list.replaceChildren();
    if (!name) return;
    const got = await ask('GET', '/plans?name=' + encodeURIComponent(name));
    if (!got.ok) return;
    for (const plan of got.answer.plans) {
      if (!plan.times.length) continue;
      const item = make('li', when(plan.start, plan.allDay) + ' – ' + when(plan.end, plan.allDay) + ': ' + plan.word +
        (plan.message ? ', ' + plan.message : '') + (plan.repeat ? ' (repeats)' : ''));
      const edit = make('button', 'Edit', 'row-update');
      edit.type = 'button';
      edit.setAttribute('aria-label', 'Edit the plan from ' + when(plan.start, plan.allDay));
      edit.addEventListener('click', () => fill(plan));
      const remove = make('button', 'Delete', 'row-update');
      remove.type = 'button';
      remove.setAttribute('aria-label', 'Delete the plan from ' + when(plan.start, plan.allDay));
      remove.addEventListener('click', async () => {
        const done = await ask('DELETE', '/plans/' + plan.id, {});
        if (!done.ok) say(done.answer.error || 'The board refused (' + done.status + ').');
        showUpcoming(name);
        if (window.refreshBoard) window.refreshBoard();
      });
      item.append(edit, remove);
      list.appendChild(item);
    }
  }

  function fill(plan) {
    editing = plan.id;
    element('plan-name').value = plan.name;
    element('plan-whole').checked = plan.allDay;
    setKind();
    element('plan-start').value = plan.start;
    element('plan-end').value = plan.end;
    element('plan-status-' + plan.status).checked = true;
    element('plan-message').value = plan.message;
    element('plan-repeats').checked = Boolean(plan.repeat);
    const repeat = plan.repeat || { weekdays: [], every: 1 };
    for (const day of weekdays) element('plan-day-' + day).checked = repeat.weekdays.includes(day);
    element('plan-every').value = repeat.every || 1;
    element('plan-until').value = repeat.until || '';
    element('plan-repeat-box').hidden = !plan.repeat;
    element('plan-send').textContent = 'Save the plan';
  }

  function open(name) {
    editing = 0;
    element('plan-form').reset();
    element('plan-send').textContent = 'Plan it';
    element('plan-repeat-box').hidden = true;
    element('plan-calendar-address').hidden = true;
    element('plan-calendar-label').hidden = true;
    setKind();
    const me = window.pegoraMe;
    element('plan-name').value = name || (me && !me.reception ? me.name : '');
    element('plan-code-box').hidden = !board().code || code() !== '';
    say('');
    element('plan').showModal();
    showUpcoming(element('plan-name').value.trim());
  }

  async function send(event) {
    event.preventDefault();
    const name = element('plan-name').value.trim();
    const start = element('plan-start').value;
    const end = element('plan-end').value;
    if (!name || !start || !end) {
      say('Give the name, the start and the end.');
      return;
    }
    const body = {
      name, start, end,
      status: Number(document.querySelector('input[name="plan-status"]:checked').value),
      message: element('plan-message').value,
    };
    if (element('plan-repeats').checked) {
      body.repeat = { weekdays: weekdays.filter((d) => element('plan-day-' + d).checked),
        every: Number(element('plan-every').value) || 1 };
      if (element('plan-until').value) body.repeat.until = element('plan-until').value;
    }
    const done = await ask(editing ? 'PUT' : 'POST', editing ? '/plans/' + editing : '/plans', body);
    if (!done.ok) {
      say(done.answer.error || 'The board refused the plan (' + done.status + ').');
      return;
    }
    say('');
    if (board().code && element('plan-code').value) {
      try {
        sessionStorage.setItem(codeKey, element('plan-code').value);  // for this browser session, as update.js keeps it
      } catch (error) {
        // asked again next time
      }
    }
    editing = 0;
    element('plan-send').textContent = 'Plan it';
    showUpcoming(name);
    if (window.refreshBoard) window.refreshBoard();
  }

  // "Who's away": two weeks from this Monday, a row for each person with a plan in them.
  async function showAway() {
    const today = new Date();
    const monday = new Date(today.getFullYear(), today.getMonth(), today.getDate() - ((today.getDay() + 6) % 7));
    const days = [...Array(14).keys()].map((i) => new Date(monday.getFullYear(), monday.getMonth(), monday.getDate() + i));
    const iso = (d) => d.getFullYear() + '-' + String(d.getMonth() + 1).padStart(2, '0') + '-' +
      String(d.getDate()).padStart(2, '0');
    const got = await ask('GET', '/plans?from=' + iso(days[0]) + '&to=' + iso(new Date(+days[13] + dayMs)));
    const state = element('away-state');
    if (!got.ok) {
      state.textContent = got.answer.error || 'The plans cannot be read (' + got.status + ').';
      return;
    }
    const people = new Map();
    for (const plan of got.answer.plans)
      for (const [from, to] of plan.times) {
        if (!people.has(plan.name)) people.set(plan.name, []);
        people.get(plan.name).push({ from, to, word: plan.word, message: plan.message });
      }
    const known = new Map([...board().rows, ...(board().unheard || [])].map((r) => [r.name.toLowerCase(), r]));
    const called = (name) => (known.get(name.toLowerCase()) || {}).displayName || name;
    const groupOf = (name) => (known.get(name.toLowerCase()) || {}).group || '';
    const names = [...people.keys()].sort((a, b) => (groupOf(a) + '\u0000' + called(a)).localeCompare(
      groupOf(b) + '\u0000' + called(b), undefined, { sensitivity: 'base' }));
    const head = element('away-head');
    head.replaceChildren(make('th', 'Name'));
    head.firstChild.setAttribute('scope', 'col');
    for (const d of days) {
      const th = make('th', d.toLocaleDateString([], { weekday: 'short', day: 'numeric' }));
      th.setAttribute('scope', 'col');
      head.appendChild(th);
    }
    const body = element('away-rows');
    body.replaceChildren();
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
      }
      const tr = make('tr');
      const th = make('th', called(name));
      th.setAttribute('scope', 'row');
      tr.appendChild(th);
      for (const d of days) {
        const hit = people.get(name).find((t) => t.from < +d + dayMs && t.to > +d);
        const td = make('td', hit ? hit.word : '', hit ? 'away ' + hit.word : '');
        if (hit && hit.message) td.title = hit.message;
        tr.appendChild(td);
      }
      body.appendChild(tr);
    }
    state.textContent = names.length ? '' : 'Nobody has a plan these two weeks.';
  }

  document.addEventListener('DOMContentLoaded', () => {
    window.openPlanForm = open;
    element('plan-open').addEventListener('click', () => open(''));
    element('plan-form').addEventListener('submit', send);
    element('plan-cancel').addEventListener('click', () => element('plan').close());
    element('plan-whole').addEventListener('change', setKind);
    element('plan-repeats').addEventListener('change', () => {
      element('plan-repeat-box').hidden = !element('plan-repeats').checked;
    });
    element('plan-name').addEventListener('change', () => showUpcoming(element('plan-name').value.trim()));
    element('plan-calendar').addEventListener('click', async () => {
      const name = element('plan-name').value.trim();
      if (!name) {
        say('Give the name whose plans the calendar shows.');
        return;
      }
      const got = await ask('POST', '/calendar-link', { name });
      if (!got.ok) {
        say(got.answer.error || 'The board refused (' + got.status + ').');
        return;
      }
      const address = element('plan-calendar-address');
      address.value = got.answer.address;
      address.hidden = false;
      element('plan-calendar-label').hidden = false;
      address.select();
    });
    if (new URLSearchParams(location.search).has('away')) {
      element('board-view').hidden = true;
      element('away-view').hidden = false;
      element('away-print').addEventListener('click', () => window.print());
      // The names and groups come with the board; the plans once they are there.
      const wait = setInterval(() => {
        if (!window.pegoraBoard) return;
        clearInterval(wait);
        showAway();
      }, 200);
    }
  });
})();
