// Plans on the page: "Plan an absence" (dates or times, a weekly repeat), a
// person's upcoming plans with edit and delete, and a calendar's address.
'use strict';

(() => {
  const codeKey = 'pegora-update-code';  // update.js's
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
    element('plan-said').textContent = '';
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
    say('');
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
    // One plan per click: the button waits for the board's answer.
    element('plan-send').disabled = true;
    let done;
    try {
      done = await ask(editing ? 'PUT' : 'POST', editing ? '/plans/' + editing : '/plans', body);
    } catch (error) {
      done = { ok: false, answer: { error: 'The board cannot be reached right now.' } };
    } finally {
      element('plan-send').disabled = false;
    }
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
    const allDay = start.length === 10;
    const said = (editing ? 'Saved: ' : 'Planned: ') + when(start, allDay) + (end === start ? '' : ' - ' +
      when(end, allDay)) + ', ' + (body.status === 2 ? 'out' : 'other') + (body.message ? ', ' + body.message : '');
    // The form starts again for the same person, whose plans are listed below it.
    element('plan-form').reset();
    element('plan-name').value = name;
    element('plan-repeat-box').hidden = true;
    element('plan-code-box').hidden = !board().code || code() !== '';
    setKind();
    element('plan-said').textContent = said;
    editing = 0;
    element('plan-send').textContent = 'Plan it';
    showUpcoming(name);
    if (window.refreshBoard) window.refreshBoard();
  }

  document.addEventListener('DOMContentLoaded', () => {
    window.openPlanForm = open;
    window.pegoraPlans = { ask };  // Who's away asks with the same code
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
  });
})();
