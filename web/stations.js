// SPDX-License-Identifier: MIT
// The index of the machine's foF2 stations (stations.html, served at /foF2/): for each station
// it lists, reads the station's run record (pictures/plotfoF2.json) and settings (page.conf),
// and shows the station's name, its latest value with its age and its deviation from the
// forecast curve, its last run, and a warning when the station is out of date (no run, or no
// measurement, for longer than its settings allow) or failing. Read again every minute. Without
// this script the index is its list of links.
"use strict";

const RECORD_FORMAT = "norvane_foF2 run record";
const MINUTE = 60 * 1000;
const MONTHS = ["January", "February", "March", "April", "May", "June", "July", "August",
  "September", "October", "November", "December"];

// The text of `url`, or null when it cannot be had (missing, refused, no answer in 10 s).
async function fetchText(url) {
  const abort = new AbortController();
  const timer = setTimeout(() => abort.abort(), 10000);
  try {
    const response = await fetch(url, { cache: "no-cache", signal: abort.signal });
    return response.ok ? await response.text() : null;
  } catch {
    return null;
  } finally {
    clearTimeout(timer);
  }
}

// A station's settings, from its page.conf ("name = value" lines, "#" comments), as the
// station's page reads them.
function settingsOf(text) {
  const settings = { outOfDateMinutes: 30, measurementOutOfDateMinutes: 60 };
  for (const line of (text || "").split("\n")) {
    const match = /^\s*([a-z_]+)\s*=\s*(.*?)\s*$/.exec(line);
    if (!match || !(Number(match[2]) > 0)) continue;
    if (match[1] === "out_of_date_after_minutes") settings.outOfDateMinutes = Number(match[2]);
    if (match[1] === "measurement_out_of_date_after_minutes") {
      settings.measurementOutOfDateMinutes = Number(match[2]);
    }
  }
  return settings;
}

// The record the text holds, or a word on why there is none.
function recordOf(text) {
  if (text === null) return { problem: "No run record" };
  try {
    const record = JSON.parse(text);
    if (record && record.format === RECORD_FORMAT && record.version === 1 &&
        Array.isArray(record.days)) {
      return { record };
    }
    return { problem: "Its run record is of an unknown version" };
  } catch {
    return { problem: "Its run record is damaged" };
  }
}

// A moment of "YYYY-MM-DDTHH:MM:SSZ", or of a date and "HH:MM" in UT; null when it is none.
function momentOf(date, time) {
  const match = /^(\d{4})-(\d\d)-(\d\d)(?:T(\d\d):(\d\d):(\d\d)Z)?$/.exec(date || "");
  if (!match) return null;
  const [, year, month, day, hour, minute, second] = match.map((part) => Number(part || 0));
  let moment = Date.UTC(year, month - 1, day, hour, minute, second);
  const clock = /^(\d\d):(\d\d)$/.exec(time || "");
  if (clock) moment += (Number(clock[1]) * 60 + Number(clock[2])) * MINUTE;
  return Number.isNaN(moment) ? null : new Date(moment);
}

// "14:30 UT", with the day when it is not today's (by UT).
function utText(moment) {
  const pad = (n) => String(n).padStart(2, "0");
  const text = `${pad(moment.getUTCHours())}:${pad(moment.getUTCMinutes())} UT`;
  if (moment.toISOString().slice(0, 10) === new Date().toISOString().slice(0, 10)) return text;
  return `${text} on ${moment.getUTCDate()} ${MONTHS[moment.getUTCMonth()]}`;
}

// "35 minutes ago", "2 hours ago", "3 days ago".
function agoText(moment) {
  const minutes = Math.max(0, Math.floor((Date.now() - moment) / MINUTE));
  const count = (n, unit) => `${n} ${unit}${n === 1 ? "" : "s"} ago`;
  if (minutes < 1) return "just now";
  if (minutes < 120) return count(minutes, "minute");
  if (minutes < 48 * 60) return count(Math.floor(minutes / 60), "hour");
  return count(Math.floor(minutes / 1440), "day");
}

// "+9%", "−10%" (with a minus sign).
function percentText(value) {
  const rounded = Math.round(value);
  return `${rounded > 0 ? "+" : rounded < 0 ? "\u2212" : ""}${Math.abs(rounded)}%`;
}

// The newest measurement of the record's days, with its moment; null when none was drawn.
function newestOf(record) {
  let newest = null;
  for (const day of record.days) {
    const moment = day && day.newest ? momentOf(day.date, day.newest.time) : null;
    if (moment && (!newest || moment > newest.moment)) newest = { ...day.newest, moment };
  }
  return newest;
}

// What the index says of a station: its lines and its warnings.
function statusOf(record, settings) {
  const lines = [];
  const warnings = [];
  if (record.station) lines.push({ text: record.station, kind: "name" });
  const newest = newestOf(record);
  if (newest) {
    const value = typeof newest.value_mhz === "number"
      ? `${newest.value_mhz.toFixed(1)} MHz` : "no value";
    let text = `Latest: ${value} at ${utText(newest.moment)}, ${agoText(newest.moment)}`;
    if (typeof newest.curve_mhz === "number") {
      text += `; forecast ${newest.curve_mhz.toFixed(1)} MHz`;
      if (typeof newest.deviation_percent === "number") {
        text += ` (${percentText(newest.deviation_percent)})`;
      }
    }
    lines.push({ text, kind: "latest" });
    if (Date.now() - newest.moment > settings.measurementOutOfDateMinutes * MINUTE) {
      warnings.push(`Out of date: no measurement since ${utText(newest.moment)}`);
    }
  } else {
    warnings.push("Out of date: no measurement in the last six days");
  }
  const finished = momentOf(record.run_finished);
  if (finished) {
    lines.push({ text: `Last run at ${utText(finished)}, ${agoText(finished)}`, kind: "run" });
    if (Date.now() - finished > settings.outOfDateMinutes * MINUTE) {
      warnings.push(`Out of date: no run since ${utText(finished)}`);
    }
  }
  if (record.success === false) warnings.push("Failing: the last run failed");
  return { lines, warnings };
}

// Shows `status` in the station's list item, in place of what it showed before.
function show(item, status) {
  for (const old of item.querySelectorAll(".detail")) old.remove();
  item.classList.toggle("warned", status.warnings.length > 0);
  for (const line of status.lines) {
    const paragraph = document.createElement("p");
    paragraph.className = `detail ${line.kind}`;
    paragraph.textContent = line.text;
    item.append(paragraph);
  }
  for (const warning of status.warnings) {
    const paragraph = document.createElement("p");
    paragraph.className = "detail warning";
    const mark = document.createElement("span");
    mark.className = "mark";
    mark.setAttribute("aria-hidden", "true");
    mark.textContent = "\u26a0 ";
    paragraph.append(mark, warning);
    item.append(paragraph);
  }
}

async function refreshStation(item) {
  const link = item.querySelector("a[href]");
  // A station of another machine is only linked: its files are not this page's to read.
  if (!link || new URL(link.href).origin !== location.origin) return;
  const [recordText, settingsText] = await Promise.all([
    fetchText(new URL("pictures/plotfoF2.json", link.href)),
    fetchText(new URL("page.conf", link.href)),
  ]);
  const { record, problem } = recordOf(recordText);
  show(item, record ? statusOf(record, settingsOf(settingsText))
    : { lines: [], warnings: [problem] });
}

async function refresh() {
  const items = [...document.querySelectorAll("#stations > li")];
  await Promise.all(items.map(refreshStation));
  const status = document.getElementById("status");
  if (status) status.textContent = `Read at ${utText(new Date())}; read again every minute.`;
}

refresh();
setInterval(refresh, MINUTE);
