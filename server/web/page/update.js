// The form that sets a status from a browser: the person's own, or a
// colleague's when reception takes the call. The board checks everything
// again and answers in words, which the form shows as they come.
'use strict';

(() => {
  const codeKey = 'pegora-update-code';
  let untilAsked = '';  // the past until time the person was asked about

  // The name is kept on this device; the code only for this browser session
  // unless the person ticks "Remember the code on this device".
  function remembered(key, store = localStorage) {
    try {
      return store.getItem(key) || '';
    } catch (error) {
      return '';
    }
  }

  function remember(key, value, store = localStorage) {
    try {
      store.setItem(key, value);
    } catch (error) {
      // a browser that keeps nothing asks again next time
    }
  }

  function forget(key, store) {
    try {
      store.removeItem(key);
    } catch (error) {
      // nothing was kept
    }
  }

  function rememberCode(code, onDevice) {
    remember(codeKey, code, sessionStorage);
    if (onDevice) remember(codeKey, code);
    else forget(codeKey, localStorage);
  }

  function element(id) {
    return document.getElementById(id);
  }

  function board() {
    return window.pegoraBoard || { rows: [], code: false };
  }

  function say(text) {
    element('update-error').textContent = text;
  }

  function open(name) {
    const b = board();
    const names = element('update-names');
    names.replaceChildren();
    for (const row of b.rows) {
      const option = document.createElement('option');
      option.value = row.name;
      if (row.displayName && row.displayName !== row.name) option.label = row.displayName;
      names.appendChild(option);
    }
    // Signed in: a person's own row only, reception any and may remove one. Each opening
    // starts afresh: a row's button gives its name, and the message is always typed new,
    // so nothing of the last person's word is sent for the next one.
    const me = b.signIn ? window.pegoraMe : null;
    const given = me && !me.reception ? me.name : name || '';
    element('update-name').value = given;
    element('update-name').readOnly = Boolean(me && !me.reception);
    const row = b.rows.find((r) => asciiLower(r.name) === asciiLower(given));
    const status = row ? String(row.status) : '1';
    for (const radio of document.querySelectorAll('input[name="update-status"]')) radio.checked = radio.value === status;
    element('update-message').value = '';
    element('update-until').value = '';
    untilAsked = '';
    element('update-code-box').hidden = !b.code;
    element('update-remove').hidden = !(b.code || (me && me.reception));
    const kept = remembered(codeKey);
    element('update-code').value = kept || remembered(codeKey, sessionStorage);
    element('update-remember').checked = kept !== '';
    say('');
    element('update').showModal();
    element(given ? 'update-message' : 'update-name').focus();
  }

  async function post(path, body) {
    let response;
    try {
      response = await fetch(path, {
        method: 'POST',
        headers: { 'Content-Type': 'application/json', 'X-Pegora-Update': '1' },
        body: JSON.stringify(body),
        cache: 'no-store',
      });
    } catch (error) {
      say('The board cannot be reached right now; nothing was changed.');
      return false;
    }
    let answer = {};
    try {
      answer = await response.json();
    } catch (error) {
      answer = {};
    }
    if (response.ok && answer.ok) return true;
    say(answer.error || 'The board refused the change (' + response.status + ').');
    if (response.status === 401 && window.pegoraSignIn) window.pegoraSignIn.signedOut();
    return false;
  }

  function fields() {
    const name = element('update-name').value.trim();
    const code = element('update-code').value;
    if (!name) {
      say('Type the name as the board shows it.');
      element('update-name').focus();
      return null;
    }
    if (board().code) rememberCode(code, element('update-remember').checked);
    return { name, code };
  }

  async function send(event) {
    event.preventDefault();
    const f = fields();
    if (!f) return;
    const status = Number(document.querySelector('input[name="update-status"]:checked').value);
    const until = element('update-until').value;
    // An until already past today means tomorrow: asked once, so that nobody keeps a word for a day by mistake.
    const now = new Date();
    const clock = String(now.getHours()).padStart(2, '0') + ':' + String(now.getMinutes()).padStart(2, '0');
    if (until && until <= clock && untilAsked !== until) {
        untilAsked = until;
        say(until + ' has passed today: the word would stand until tomorrow at ' + until +
          '. Send again for tomorrow, or change the time.');
        return;
    }
    const body = { name: f.name, status, message: element('update-message').value, until };
    if (board().code) body.code = f.code;
    if (await post('/status', body)) done();
  }

  async function remove() {
    const f = fields();
    if (!f) return;
    if (!window.confirm('Remove ' + f.name + ' from the board? A desk that is still running brings the row back.')) return;
    if (await post('/remove', { name: f.name, code: f.code })) done();
  }

  function done() {
    element('update').close();
    if (window.refreshBoard) window.refreshBoard();
  }

  document.addEventListener('DOMContentLoaded', () => {
    window.openUpdateForm = open;
    element('update-open').addEventListener('click', () => open(''));
    element('update-form').addEventListener('submit', send);
    element('update-remove').addEventListener('click', remove);
    element('update-cancel').addEventListener('click', () => element('update').close());
  });
})();
