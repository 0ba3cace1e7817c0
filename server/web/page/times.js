// How the board's times are said: "4 min ago", "since Mon 14:05", "back at 15:00",
// "away 20 Dec - 3 Jan". Shared by the page, the wall and the roll call.
'use strict';

function ago(seconds) {
  if (seconds < 60) return 'just now';
  const minutes = Math.floor(seconds / 60);
  if (minutes < 60) return minutes + ' min ago';
  const hours = Math.floor(minutes / 60);
  if (hours < 48) return hours + ' h ago';
  return Math.floor(hours / 24) + ' days ago';
}

// Since when a row's words have stood, on this clock: "since 14:05" today, "since Mon
// 14:05" within the week, "since 3 Dec" before. From the age when the rows came, so a
// browser whose clock is off still says the board's moment.
// Made once: a formatter made for each of thousands of rows costs seconds a refresh.
const clockFormat = new Intl.DateTimeFormat('en-GB', { hour: '2-digit', minute: '2-digit', hourCycle: 'h23' });
const weekdayFormat = new Intl.DateTimeFormat('en-GB', { weekday: 'short' });
const dateFormat = new Intl.DateTimeFormat('en-GB', { day: 'numeric', month: 'short' });
function sinceText(seconds, from = Date.now()) {
  const at = new Date(from - seconds * 1000);
  const now = new Date();
  const time = clockFormat.format(at);
  if (at.toDateString() === now.toDateString()) return 'since ' + time;
  const midnight = new Date(now.getFullYear(), now.getMonth(), now.getDate());
  if (midnight - at < 6 * 86400000) return 'since ' + weekdayFormat.format(at) + ' ' + time;
  return 'since ' + dateFormat.format(at);
}

function noWordFor(seconds) {
  return 'no word for ' + ago(seconds).replace(' ago', '');
}

// "back Mon 5 Jan", or "back at 15:00" today: when a plan's word ends.
function backText(ms) {
  const back = new Date(ms);
  const today = new Date().toDateString() === back.toDateString();
  const day = back.toLocaleDateString([], { weekday: 'short', day: 'numeric', month: 'short' });
  const time = clockFormat.format(back);
  return 'back ' + (today ? 'at ' + time : day + (time === '00:00' ? '' : ' ' + time));
}

// "away 20 Dec - 3 Jan": the next plan within two weeks.
function nextText(plan) {
  const whole = plan.start.length === 10;
  const day = (text) => new Date(whole ? text + 'T00:00' : text).toLocaleString([], whole
    ? { day: 'numeric', month: 'short' } : { weekday: 'short', day: 'numeric', month: 'short', hour: '2-digit',
      minute: '2-digit', hourCycle: 'h23' });
  const range = plan.end === plan.start ? day(plan.start) : day(plan.start) + ' - ' + day(plan.end);
  return (plan.status === 2 ? 'away ' : 'planned ') + range + (plan.message ? ' (' + plan.message + ')' : '');
}
