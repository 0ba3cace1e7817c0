// Signing in, where the board asks for it: the form, who is signed in, and
// signing out. The session lives in a cookie the page's scripts never see;
// /me says who it is.
'use strict';

(() => {
  function element(id) {
    return document.getElementById(id);
  }

  let asked = false;

  function show() {
    const board = window.pegoraBoard || {};
    const me = window.pegoraMe;
    element('sign-in-open').hidden = !board.signIn || Boolean(me);
    element('signed-in').hidden = !me;
    if (me) element('signed-in-as').textContent = 'Signed in as ' + me.displayName + (me.reception ? ' (Reception)' : '');
    element('update-open').hidden = !board.updates || (board.signIn && !me);
    element('plan-open').hidden = element('update-open').hidden;
    if (window.renderBoard) window.renderBoard();
  }

  async function whoAmI() {
    try {
      const response = await fetch('/me', { cache: 'no-store' });
      window.pegoraMe = response.ok ? await response.json() : null;
    } catch (error) {
      window.pegoraMe = null;
    }
    show();
  }

  function say(text) {
    element('sign-in-error').textContent = text;
  }

  function open() {
    say('');
    element('sign-in-password').value = '';
    element('sign-in').showModal();
    element('sign-in-name').focus();
  }

  async function post(path, body) {
    return fetch(path, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json', 'X-Pegora-Update': '1' },
      body: JSON.stringify(body),
      cache: 'no-store',
    });
  }

  async function signIn(event) {
    event.preventDefault();
    const name = element('sign-in-name').value.trim();
    const password = element('sign-in-password').value;
    if (!name || !password) {
      say('Type your name and your password.');
      return;
    }
    let response;
    try {
      response = await post('/sign-in', { name, password, keep: element('sign-in-keep').checked });
    } catch (error) {
      say('The board cannot be reached right now.');
      return;
    }
    if (response.status === 204) {
      element('sign-in').close();
      await whoAmI();
      if (window.refreshBoard) window.refreshBoard();
      if (window.onSignedIn) window.onSignedIn();
      return;
    }
    let answer = {};
    try {
      answer = await response.json();
    } catch (error) {
      answer = {};
    }
    say(answer.error || 'The board refused the sign-in (' + response.status + ').');
  }

  async function signOut() {
    try {
      await post('/sign-out', {});
    } catch (error) {
      // the page forgets the person anyway; the session ends when it idles out
    }
    window.pegoraMe = null;
    show();
    if (window.refreshBoard) window.refreshBoard();
  }

  document.addEventListener('DOMContentLoaded', () => {
    window.pegoraSignIn = {
      open,
      signedOut: () => {
        window.pegoraMe = null;
        show();
      },
      needed: () => {
        // Nothing is shown before signing in: the form is the page.
        window.pegoraBoard = Object.assign({}, window.pegoraBoard, { signIn: true });
        window.pegoraMe = null;
        show();
        if (!asked && !new URLSearchParams(location.search).has('wall')) {
          asked = true;
          open();
        }
      },
    };
    window.onBoard = (board) => {
      if (board.signIn && !asked) {
        asked = true;
        whoAmI();
      }
    };
    element('sign-in-open').addEventListener('click', open);
    element('sign-in-form').addEventListener('submit', signIn);
    element('sign-in-cancel').addEventListener('click', () => element('sign-in').close());
    element('sign-out').addEventListener('click', signOut);
  });
})();
