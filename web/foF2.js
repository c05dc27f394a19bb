/* SPDX-License-Identifier: MIT */
// Shows a station's six current foF2 pictures, captioned with the days the program drew them
// for, how fresh they are, and the archive picture of a chosen day.
//
// The program says what it drew in its run record, pictures/plotfoF2.json: the station, the six
// days with their dates, when it ran and the newest measurement. The captions come from there,
// never from the visitor's clock, so that a picture is captioned with its figure's own date in
// any time zone. The archive's index (archive/index.json and archive/<yyyy>.json) tells which
// days have a picture. Without a record (an older program) the dates are reckoned from today as
// the page's settings or the visitor's clock give it, and the page says so.
//
// The record is read every minute; the pictures are loaded again when it tells of a new run.
// Each picture is loaded off-screen and swapped in with its caption once it is decoded, so that
// a reload never blanks the page and a caption never stands under another day's picture.
//
// A day is a calendar date held as the time of its midnight in UTC: every day is DAY_MS long,
// whatever the visitor's clock does.
"use strict";

const DAY_MS = 24 * 60 * 60 * 1000;
const MINUTE_MS = 60 * 1000;
const POLL_MS = MINUTE_MS;
// Without a record, the pictures are loaded again every fifth poll.
const POLLS_PER_RELOAD = 5;
// The earliest day an archive picture's name can hold (its year has four digits).
const EARLIEST_DAY = utcDay(1000, 0, 1);
const SLOT_WORDS = ["five days ago", "four days ago", "three days ago", "two days ago",
  "yesterday", "today"];

const settings = { outOfDateMinutes: 30, timeZone: undefined };
let record = null;
let archiveIndex = null;
const yearFiles = new Map();

function utcDay(year, monthIndex, day) {
  const date = new Date(0);
  date.setUTCFullYear(year, monthIndex, day); // Date.UTC would take years 0..99 as 19xx
  return date.getTime();
}

function isoDate(day) {
  const date = new Date(day);
  return `${String(date.getUTCFullYear()).padStart(4, "0")}-` +
    `${String(date.getUTCMonth() + 1).padStart(2, "0")}-${String(date.getUTCDate()).padStart(2, "0")}`;
}

// The day of an ISO date "yyyy-mm-dd", or NaN for anything else, impossible dates included.
function dayFromIso(text) {
  const match = /^(\d{4})-(\d{2})-(\d{2})$/.exec(typeof text === "string" ? text : "");
  if (!match) return NaN;
  const day = utcDay(Number(match[1]), Number(match[2]) - 1, Number(match[3]));
  return isoDate(day) === text ? day : NaN;
}

function dayOfYear(day) {
  return (day - utcDay(new Date(day).getUTCFullYear(), 0, 1)) / DAY_MS + 1;
}

// The archive picture's name: year and day of the year, 2026343.gif for 9 December 2026.
function archiveName(day) {
  const year = String(new Date(day).getUTCFullYear()).padStart(4, "0");
  return `${year}${String(dayOfYear(day)).padStart(3, "0")}.gif`;
}

const dayFormat = new Intl.DateTimeFormat("en-GB", {
  timeZone: "UTC", weekday: "short", day: "numeric", month: "long", year: "numeric",
});
const monthFormat = new Intl.DateTimeFormat("en-GB", {
  timeZone: "UTC", month: "long", year: "numeric",
});

function dayText(day) {
  return dayFormat.format(day);
}

// "14:35", the UT time of a moment.
function utText(time) {
  return new Date(time).toISOString().slice(11, 16);
}

// "3 minutes ago", "2 days ago".
function agoText(ms) {
  const minutes = Math.floor(ms / MINUTE_MS);
  const count = (n, unit) => `${n} ${unit}${n === 1 ? "" : "s"} ago`;
  if (minutes < 1) return "less than a minute ago";
  if (minutes < 60) return count(minutes, "minute");
  if (minutes < 48 * 60) return count(Math.floor(minutes / 60), "hour");
  return count(Math.floor(minutes / (24 * 60)), "day");
}

function mhzText(value) {
  return `${value.toFixed(1)} MHz`;
}

async function fetchJson(url) {
  try {
    const response = await fetch(url, { cache: "no-cache" });
    return response.ok ? await response.json() : null;
  } catch {
    return null;
  }
}

function isCount(value) {
  return Number.isInteger(value) && value >= 0;
}

// The newest measurement of a record's or an index's day, or null.
function soundNewest(value) {
  if (!value || typeof value !== "object" || !/^\d\d:\d\d$/.test(value.time)) return null;
  const number = (v) => (typeof v === "number" && Number.isFinite(v) ? v : null);
  return { time: value.time, value: number(value.value_mhz), forecast: number(value.forecast_mhz) };
}

// What is known of a day's measurements: their counts and the newest, or null.
function soundMeasurements(entry) {
  const counts = entry.measurements;
  if (!counts || !isCount(counts.with_value) || !isCount(counts.without_value)) return null;
  return { withValue: counts.with_value, withoutValue: counts.without_value,
    newest: soundNewest(entry.newest) };
}

// The run record as the page uses it, or null when it is missing or not one it can read.
function soundRecord(value) {
  if (!value || value.format !== "norvane_foF2 run record" || value.version !== 1) return null;
  const today = dayFromIso(value.today);
  const finished = Date.parse(value.run_finished);
  if (Number.isNaN(today) || Number.isNaN(finished) || !Array.isArray(value.days)) return null;
  const days = new Map();
  for (const entry of value.days) {
    const day = dayFromIso(entry && entry.date);
    if (Number.isNaN(day) || !Number.isInteger(entry.slot) || entry.slot < 1 || entry.slot > 6) {
      return null;
    }
    days.set(entry.slot, { day, measured: soundMeasurements(entry) });
  }
  return {
    station: typeof value.station === "string" ? value.station.trim() : "",
    folder: typeof value.station_folder === "string" ? value.station_folder : "",
    today, finished, success: value.success === true, days, runFinished: value.run_finished,
  };
}

function soundIndex(value) {
  if (!value || value.format !== "norvane_foF2 archive index" || value.version !== 1) return null;
  const first = dayFromIso(value.first);
  const last = dayFromIso(value.last);
  if (Number.isNaN(first) || Number.isNaN(last) || !Array.isArray(value.years)) return null;
  return { first, last, years: value.years.filter(Number.isInteger) };
}

// The days of a year that have a picture, each with what is known of its measurements.
async function yearDays(year) {
  if (!yearFiles.has(year)) {
    const value = await fetchJson(`archive/${String(year).padStart(4, "0")}.json`);
    const days = new Map();
    if (value && value.format === "norvane_foF2 archive year" && value.version === 1 &&
        Array.isArray(value.days)) {
      for (const entry of value.days) {
        const day = dayFromIso(entry && entry.date);
        if (!Number.isNaN(day)) days.set(day, soundMeasurements(entry));
      }
    }
    yearFiles.set(year, days);
  }
  return yearFiles.get(year);
}

function checkedTimeZone(name) {
  if (!name) return undefined;
  try {
    new Intl.DateTimeFormat("en", { timeZone: name });
    return name;
  } catch {
    console.error(`foF2 page: unknown time zone "${name}"; the visitor's own is used`);
    return undefined;
  }
}

// The page's settings, page.conf: "name = value" lines, "#" comments.
async function readSettings() {
  let text = "";
  try {
    const response = await fetch("page.conf", { cache: "no-cache" });
    if (response.ok) text = await response.text();
  } catch {
    return;
  }
  for (const line of text.split("\n")) {
    const match = /^\s*([a-z_]+)\s*=\s*(.*?)\s*$/.exec(line);
    if (!match) continue;
    const [, name, value] = match;
    if (name === "out_of_date_after_minutes" && Number(value) > 0) {
      settings.outOfDateMinutes = Number(value);
    } else if (name === "time_zone") {
      settings.timeZone = checkedTimeZone(value);
    }
  }
}

// Today by the settings' time zone or the visitor's clock: only for a station without a record.
function clockToday() {
  const parts = {};
  const format = new Intl.DateTimeFormat("en-US", {
    timeZone: settings.timeZone, year: "numeric", month: "numeric", day: "numeric",
  });
  for (const part of format.formatToParts(new Date())) parts[part.type] = Number(part.value);
  return utcDay(parts.year, parts.month - 1, parts.day);
}

function latestDay() {
  if (archiveIndex) return archiveIndex.last;
  return record ? record.today : clockToday();
}

function archiveBounds() {
  const first = archiveIndex ? archiveIndex.first : EARLIEST_DAY;
  return [first, Math.max(first, latestDay())];
}

// "foF2 on Sat, 5 December 2026: 96 measurements, 6 of them without a value; latest 7.3 MHz at
// 23:45 UT".
function altText(day, measured) {
  let text = `foF2 on ${dayText(day)}`;
  if (!measured) return text;
  const total = measured.withValue + measured.withoutValue;
  text += `: ${total} measurement${total === 1 ? "" : "s"}`;
  if (measured.withoutValue) text += `, ${measured.withoutValue} of them without a value`;
  const newest = measured.newest;
  if (newest) {
    text += newest.value === null ? `; latest at ${newest.time} UT, without a value`
      : `; latest ${mhzText(newest.value)} at ${newest.time} UT`;
  }
  return text;
}

// One picture with its caption and a link to its file. The figure's data-state is "loading",
// "shown" or "missing".
class Plot {
  constructor(figure) {
    this.figure = figure;
    this.img = figure.querySelector("img");
    this.time = figure.querySelector("time");
    this.link = figure.querySelector("a.file");
    this.url = null;
    this.probe = null;
  }

  caption(label) {
    this.time.dateTime = label.iso || "";
    this.time.textContent = label.text;
    this.link.href = this.url;
    this.link.textContent = this.url.split("/").pop();
    if (label.download) this.link.download = label.download;
    else this.link.removeAttribute("download");
  }

  // Shows the picture at url with its label ({iso, text, alt, download}); resolves to the
  // figure's state. While another picture than the one shown loads, the one shown stays,
  // dimmed; reloading the same one keeps it, with its caption, if the reload fails (the server
  // may be restarting).
  show(url, label) {
    const fresh = url !== this.url;
    if (fresh) {
      this.url = url;
      this.figure.dataset.state = "loading";
    }
    const probe = new Image();
    this.probe = probe;
    probe.src = `${url}?t=${Date.now()}`; // past any cache, the picture may have just changed
    return probe.decode().then(
      () => {
        if (this.probe !== probe) return "stale";
        this.img.src = probe.src;
        this.img.alt = label.alt;
        this.caption(label);
        this.figure.dataset.state = "shown";
        return "shown";
      },
      () => {
        if (this.probe !== probe) return "stale";
        if (fresh || this.figure.dataset.state !== "shown") {
          this.figure.dataset.state = "missing";
          this.img.removeAttribute("src");
          this.img.alt = "";
          this.caption(label);
        }
        return this.figure.dataset.state;
      });
  }
}

const recent = [...document.querySelectorAll("#recent .plot")].map((figure) => new Plot(figure));
const archiveTemplate = document.getElementById("plot-template").content.firstElementChild;
const archivePlot = new Plot(archiveTemplate.cloneNode(true));
document.getElementById("archive").append(archivePlot.figure);
const dayInput = document.getElementById("archive-day");
const previousButton = document.getElementById("previous-day");
const nextButton = document.getElementById("next-day");
let archiveDay = NaN;
let lastTyped = 0;

function recentLabel(slot) {
  const known = record && record.days.get(slot);
  if (known) {
    return { iso: isoDate(known.day), text: `${dayText(known.day)}, day ${dayOfYear(known.day)}`,
      alt: altText(known.day, known.measured), download: archiveName(known.day) };
  }
  if (record) return { text: `Slot ${slot}`, alt: `foF2, slot ${slot}` };
  const day = clockToday() - (6 - slot) * DAY_MS;
  return { iso: isoDate(day), text: `${dayText(day)}, day ${dayOfYear(day)}`,
    alt: `foF2 on ${dayText(day)}`, download: archiveName(day) };
}

function showRecent() {
  return Promise.all(recent.map((plot, index) =>
    plot.show(`pictures/plotfoF2${index + 1}.gif`, recentLabel(index + 1))));
}

// The sentence about the newest measurement: "Latest: 7.3 MHz at 14:30 UT; forecast 8.1 MHz".
function latestText() {
  for (let slot = 6; slot >= 1; --slot) {
    const known = record.days.get(slot);
    const newest = known && known.measured && known.measured.newest;
    if (!newest) continue;
    let text = newest.value === null ? `Latest: a measurement without a value at ${newest.time} UT`
      : `Latest: ${mhzText(newest.value)} at ${newest.time} UT`;
    if (known.day !== record.today) text += ` on ${dayText(known.day)}`;
    if (newest.forecast !== null) text += `; forecast ${mhzText(newest.forecast)}`;
    return `${text}.`;
  }
  return "No measurement in the last six days.";
}

function showFreshness() {
  const freshness = document.getElementById("freshness");
  const stale = document.getElementById("stale");
  const station = document.getElementById("station");
  freshness.hidden = false;
  document.getElementById("status").textContent = record
    ? "The pictures are loaded again when the station draws them; this page asks every minute."
    : "The pictures are loaded again every five minutes.";
  if (!record) {
    station.hidden = true;
    stale.hidden = true;
    freshness.textContent = "This station's program writes no run record (an older version): " +
      `the dates are reckoned from ${settings.timeZone ? `the time zone ${settings.timeZone}`
        : "your clock"} and may be a day off.`;
    return;
  }
  const name = record.station || record.folder;
  station.hidden = !name;
  station.querySelector("strong").textContent = name;
  document.title = name ? `foF2: ${name}` : "foF2: forecast and measurements";
  const age = Date.now() - record.finished;
  const when = `${utText(record.finished)} UT`;
  freshness.textContent = `Last run at ${when}, ${agoText(age)}. ${latestText()}` +
    (record.success ? "" : " The last run reported a fault.");
  const outOfDate = age > settings.outOfDateMinutes * MINUTE_MS;
  stale.hidden = !outOfDate;
  if (outOfDate) {
    stale.textContent = `Out of date: the station has not drawn its pictures since ${when} on ` +
      `${dayText(Math.floor(record.finished / DAY_MS) * DAY_MS)} (${agoText(age)}).`;
  }
}

// Loads the record and the current pictures. A run may rewrite the pictures while they load:
// the record is read again afterwards, and the pictures loaded once more if it changed.
async function refreshRecent() {
  for (let round = 0; round < 3; ++round) {
    const before = record ? record.runFinished : null;
    record = soundRecord(await fetchJson("pictures/plotfoF2.json"));
    if (round > 0 && (record ? record.runFinished : null) === before) break;
    await showRecent();
    if (!record) break;
  }
  showFreshness();
}

function setIfChanged(element, attribute, value) {
  if (element.getAttribute(attribute) !== value) element.setAttribute(attribute, value);
}

function announce(text) {
  document.getElementById("archive-announce").textContent = text;
}

// The nearest days with a picture before and after day, within its year and the years
// around it.
async function nearestDays(day) {
  if (!archiveIndex) return [];
  const year = new Date(day).getUTCFullYear();
  const years = archiveIndex.years;
  const found = [];
  for (const [direction, pick] of [[-1, Math.max], [1, Math.min]]) {
    const candidates = years.filter((y) => (direction < 0 ? y <= year : y >= year))
      .sort((a, b) => direction * (a - b));
    for (const y of candidates) {
      const days = [...(await yearDays(y)).keys()].filter((d) => direction * (d - day) > 0);
      if (days.length) {
        found.push(pick(...days));
        break;
      }
    }
  }
  return found;
}

function dayLink(day, text) {
  const link = document.createElement("a");
  link.href = `#${isoDate(day)}`;
  link.textContent = text;
  return link;
}

// The days of the shown day's month, those with a picture as links.
async function showMonth(day) {
  const month = document.getElementById("month");
  if (!archiveIndex) {
    month.hidden = true;
    return;
  }
  const date = new Date(day);
  const year = date.getUTCFullYear();
  const days = await yearDays(year);
  if (day !== archiveDay) return;
  const list = document.createElement("ol");
  const first = utcDay(year, date.getUTCMonth(), 1);
  const end = utcDay(year, date.getUTCMonth() + 1, 1);
  let count = 0;
  for (let d = first; d < end; d += DAY_MS) {
    const item = document.createElement("li");
    const number = String(new Date(d).getUTCDate());
    if (days.has(d)) {
      const link = dayLink(d, number);
      link.setAttribute("aria-label", dayText(d));
      if (d === day) link.setAttribute("aria-current", "date");
      item.append(link);
      ++count;
    } else {
      item.textContent = number;
      item.className = "none";
      item.setAttribute("aria-hidden", "true");
    }
    list.append(item);
  }
  month.querySelector("ol").replaceWith(list);
  document.getElementById("month-heading").textContent =
    `${monthFormat.format(day)}: ${count} day${count === 1 ? "" : "s"} with a picture` +
    (count ? " (linked)" : "");
  month.hidden = false;
}

async function showArchive(day) {
  archiveDay = day;
  const [first, last] = archiveBounds();
  setIfChanged(dayInput, "min", isoDate(first));
  setIfChanged(dayInput, "max", isoDate(last));
  // Set only when it differs, not to break off a date being typed in.
  if (dayInput.value !== isoDate(day)) dayInput.value = isoDate(day);
  previousButton.disabled = day <= first;
  nextButton.disabled = day >= last;
  const measured = archiveIndex ? (await yearDays(new Date(day).getUTCFullYear())).get(day) : null;
  if (day !== archiveDay) return;
  const text = `${dayText(day)}, day ${dayOfYear(day)}`;
  const state = await archivePlot.show(`archive/${archiveName(day)}`,
    { iso: isoDate(day), text, alt: altText(day, measured || null), download: archiveName(day) });
  if (state === "stale") return;
  const nearest = archivePlot.figure.querySelector(".nearest");
  nearest.replaceChildren();
  if (state === "missing") {
    const around = await nearestDays(day);
    if (day !== archiveDay) return;
    if (around.length) {
      nearest.append("Nearest with a picture: ");
      around.forEach((d, i) => {
        if (i) nearest.append(", ");
        nearest.append(dayLink(d, dayText(d)));
      });
    }
  }
  announce(`Archive: ${text}${state === "missing" ? ", no picture" : ""}`);
  showMonth(day);
}

// Shows day and makes it the address: a new history entry, or in place of the current one.
function goTo(day, replace) {
  const hash = `#${isoDate(day)}`;
  if (location.hash !== hash) history[replace ? "replaceState" : "pushState"](null, "", hash);
  if (day !== archiveDay) showArchive(day);
}

// Shows the day the address names. The bare address shows the latest day and stays bare; a day
// outside the archive or an address that names no day is replaced by the day shown.
function showAddress() {
  const hash = location.hash.slice(1);
  const [first, last] = archiveBounds();
  if (!hash) {
    if (archiveDay !== last) showArchive(last);
    return;
  }
  const day = dayFromIso(hash);
  goTo(Number.isNaN(day) ? last : Math.min(Math.max(day, first), last), true);
}

previousButton.addEventListener("click", () => goTo(Math.max(archiveDay - DAY_MS, archiveBounds()[0])));
nextButton.addEventListener("click", () => goTo(Math.min(archiveDay + DAY_MS, archiveBounds()[1])));
document.getElementById("latest-day").addEventListener("click", () => goTo(archiveBounds()[1]));
dayInput.addEventListener("change", () => {
  const day = dayFromIso(dayInput.value);
  if (Number.isNaN(day)) return;
  // A year being typed passes through 0002, 0020 and 0202: a day outside the archive is not
  // gone to, and the field is left as it is, so that the typing goes on.
  const [first, last] = archiveBounds();
  const range = document.getElementById("archive-range");
  if (day < first || day > last) {
    range.textContent = `The archive runs from ${dayText(first)} to ${dayText(last)}.`;
    return;
  }
  // The changes of one date being typed make one history entry.
  const now = Date.now();
  goTo(day, now - lastTyped < 2000);
  lastTyped = now;
});
dayInput.addEventListener("blur", () => {
  if (!Number.isNaN(archiveDay) && dayInput.value !== isoDate(archiveDay)) {
    dayInput.value = isoDate(archiveDay);
  }
});
window.addEventListener("popstate", showAddress);
window.addEventListener("hashchange", showAddress);

function showRange() {
  const range = document.getElementById("archive-range");
  range.textContent = archiveIndex
    ? `The archive holds pictures from ${dayText(archiveIndex.first)} to ${dayText(archiveIndex.last)}.`
    : "The archive has no index (an older program): a day without a picture shows as such.";
}

async function readIndex() {
  archiveIndex = soundIndex(await fetchJson("archive/index.json"));
  yearFiles.clear();
  showRange();
}

let polls = 0;

// Reads the record again; on a new run, reloads the pictures, the index, and the archive day
// when it is among the last six (those are still being redrawn).
async function refresh() {
  const before = record ? record.runFinished : null;
  const fresh = soundRecord(await fetchJson("pictures/plotfoF2.json"));
  const changed = (fresh ? fresh.runFinished : null) !== before;
  ++polls;
  if (changed || (!fresh && polls % POLLS_PER_RELOAD === 0)) {
    await Promise.all([refreshRecent(), readIndex()]);
    if (!location.hash) showAddress();
    else if (latestDay() - archiveDay < 6 * DAY_MS) showArchive(archiveDay);
  } else {
    record = fresh;
    showFreshness();
  }
}

async function start() {
  recent.forEach((plot) => { plot.figure.dataset.state = "loading"; });
  await readSettings();
  await Promise.all([refreshRecent(), readIndex()]);
  document.getElementById("archive-section").hidden = false;
  showAddress();
  setInterval(refresh, POLL_MS);
}

start();
