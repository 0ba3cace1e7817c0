// The history on the page, for those who hold the board's code: a row's last
// changes, and the roll call as it stood at a moment. The code is asked for
// once and kept as the update form keeps it. Every text goes in by textContent.
'use strict';

(() => {
  const codeKey = 'pegora-update-code';  // update.js's

  function element(id) {
    return document.getElementById(id);
  }

  function code() {
    try {
      return sessionStorage.getItem(codeKey) || localStorage.getItem(codeKey) || '';
    } catch (error) {
      return '';
    }
  }

  function keepCode(value) {
    try {
      sessionStorage.setItem(codeKey, value);
    } catch (error) {
      // asked again next time
    }
  }

  // The answer to a reading of the history: { ok, status, body } with the board's words on refusal.
  async function ask(url) {
    let response;
    try {
      response = await fetch(url, { cache: 'no-store', headers: { 'X-Pegora-Code': code() } });
    } catch (error) {
      return { ok: false, status: 0, error: 'The board cannot be reached right now.' };
    }
    if (response.status === 404) return { ok: false, status: 404, error: 'This board keeps no history.' };
    if (!response.ok) {
      let said = '';
      try {
        said = (await response.json()).error || '';
      } catch (error) {
        said = '';
      }
      return { ok: false, status: response.status, error: said || 'The board answered ' + response.status + '.' };
    }
    return { ok: true, status: response.status, response };
  }

  const clock = new Intl.DateTimeFormat('en-GB', { hour: '2-digit', minute: '2-digit', hourCycle: 'h23' });
  const day = new Intl.DateTimeFormat('en-GB', { weekday: 'short', day: 'numeric', month: 'short' });
  function moment(ms) {
    const at = new Date(ms);
    return (at.toDateString() === new Date().toDateString() ? '' : day.format(at) + ' ') + clock.format(at);
  }

  // "out since 14:05, at lunch, set from a browser (10.0.0.5)"
  function entryText(e) {
    const how = {
      desk: 'from the desk',
      browser: 'set from a browser' + (e.until ? ' until ' + e.until : ''),
      'until passed': "the browser's word ran out",
      removed: 'removed from the board',
      forgotten: 'forgotten after its silent days',
    }[e.source] || e.source;
    const said = e.source === 'removed' || e.source === 'forgotten' ? 'gone at ' + moment(e.at)
      : e.word + ' since ' + moment(e.at) + (e.message ? ', ' + e.message : '');
    const by = e.by ? ' by ' + e.by : '';
    return said + ', ' + how + by + (e.from && e.source !== 'desk' ? ' (' + e.from + ')' : '');
  }

  let shownName = '';
  async function showRow() {
    const list = element('history-list');
    list.replaceChildren();
    element('history-error').textContent = '';
    // Signed in, the session's cookie goes with the request; no code is asked.
    const needsCode = !(window.pegoraBoard && window.pegoraBoard.signIn);
    element('history-code-box').hidden = !needsCode || code() !== '';
    if (needsCode && !code()) return;
    const answer = await ask('/history?name=' + encodeURIComponent(shownName));
    if (!answer.ok) {
      element('history-error').textContent = answer.error;
      element('history-code-box').hidden = answer.status !== 403;
      return;
    }
    const entries = (await answer.response.json()).entries.slice(-10).reverse();
    if (entries.length === 0) list.appendChild(Object.assign(document.createElement('li'), { textContent: 'No changes kept.' }));
    for (const entry of entries) {
      const item = document.createElement('li');
      item.textContent = entryText(entry);
      list.appendChild(item);
    }
  }

  function openRow(name) {
    shownName = name;
    element('history-title').textContent = 'Last changes of ' + name;
    element('history').showModal();
    showRow();
  }

  // The roll call of a moment gone: downloaded with the code, which a plain link cannot send.
  async function downloadAt(at) {
    const answer = await ask('/roll.csv?at=' + encodeURIComponent(at));
    if (!answer.ok) return window.alert(answer.error);
    const link = document.createElement('a');
    link.href = URL.createObjectURL(await answer.response.blob());
    link.download = 'roll-call-' + at + '.csv';
    link.click();
    URL.revokeObjectURL(link.href);
  }

  window.pegoraHistory = { code, keepCode, ask, openRow, downloadAt, at: new URLSearchParams(location.search).get('at') || '' };

  document.addEventListener('DOMContentLoaded', () => {
    element('history-show').addEventListener('click', () => {
      keepCode(element('history-code').value);
      showRow();
    });
    const at = window.pegoraHistory.at;
    element('roll-at').value = at.slice(0, 16);
    element('roll-at-code-box').hidden = code() !== '';
    element('roll-at-form').addEventListener('submit', (event) => {
      event.preventDefault();
      if (!element('roll-at-code-box').hidden) keepCode(element('roll-at-code').value);
      location.href = '/?roll&at=' + encodeURIComponent(element('roll-at').value);
    });
  });
})();
