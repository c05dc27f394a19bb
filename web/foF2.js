/* SPDX-License-Identifier: MIT */
// Shows a station's six current foF2 pictures, captioned with the days the program drew them
// for, how fresh the pictures and the measurements are, the value under the pointer, and the
// archive picture of a chosen day.
//
// The program says what it drew in its run record, pictures/plotfoF2.json: the station, the six
// days with their dates, when it ran, the newest measurement and the archive's first and last
// day. The captions come from there, never from the visitor's clock, so that a picture is
// captioned with its figure's own date in any time zone. Without a usable record (none, a
// damaged one, or one of a version this page does not know) the days are taken from the
// archive: a current picture is captioned with a day only when it is byte for byte that day's
// archive picture; otherwise the page says the day is not known.
//
// A first view reads the settings, the record, the six pictures and the year file of the
// month shown, nothing more: the archive view of one of the six days shows the current picture
// already loaded, the archive index is read only when the record does not give the archive's
// days, and a day's record (its measurements, for the value under the pointer and the table of
// values) only once it is asked for. The record is read every minute; a picture is loaded again
// only when a run has rewritten it, under an address of its own, so that it is fetched once.
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
const WIDTH = 286;
const HEIGHT = 231;
const MINUS = "\u2212";

const settings = { outOfDateMinutes: 30, measurementOutOfDateMinutes: 60, timeZone: undefined };
// The sound run record, or null; without one, why: "missing", "damaged" or "version".
let record = null;
let recordProblem = null;
// The six current days by slot (each a Day, below, or null where the day is not known).
let slotDays = new Map();
let archiveIndex = null;
const yearFiles = new Map();
const dayRecords = new Map();

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

// The archive files' name without its ending: year and day of the year, 2026343 for
// 9 December 2026.
function archiveStem(day) {
  const year = String(new Date(day).getUTCFullYear()).padStart(4, "0");
  return `${year}${String(dayOfYear(day)).padStart(3, "0")}`;
}

const dayFormat = new Intl.DateTimeFormat("en-GB", {
  timeZone: "UTC", weekday: "short", day: "numeric", month: "long", year: "numeric",
});
const shortDayFormat = new Intl.DateTimeFormat("en-GB", {
  timeZone: "UTC", day: "numeric", month: "long", year: "numeric",
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

// "+9.8%", "−10%": a deviation with its sign, to `digits` decimals.
function percentText(value, digits) {
  const text = Math.abs(value).toFixed(digits);
  if (Number(text) === 0) return `${text}%`;
  return `${value < 0 ? MINUS : "+"}${text}%`;
}

// value to a hundredth, as the program's records and CSV give it: an exact half away from zero.
function hundredths(value) {
  return roundTo(value, 100).toFixed(2);
}

function number(value) {
  return typeof value === "number" && Number.isFinite(value) ? value : null;
}

// A JSON file: {value} when read, {problem: "missing"} or {problem: "damaged"} when not; null
// when the server could not be reached (the page keeps what it shows).
async function readJson(url, options) {
  let response;
  try {
    response = await fetch(url, options || { cache: "no-cache" });
  } catch {
    return null;
  }
  if (!response.ok) return { problem: "missing" };
  try {
    return { value: JSON.parse(await response.text()) };
  } catch {
    return { problem: "damaged" };
  }
}

async function fetchJson(url) {
  const read = await readJson(url);
  return read && read.value !== undefined ? read.value : null;
}

function isCount(value) {
  return Number.isInteger(value) && value >= 0;
}

function soundTime(value) {
  return typeof value === "string" && /^([01]\d|2[0-3]):[0-5]\d$/.test(value);
}

// {time, value} of a record's lowest or highest, or null.
function soundExtreme(value) {
  if (!value || typeof value !== "object" || !soundTime(value.time)) return null;
  const mhz = number(value.value_mhz);
  return mhz === null ? null : { time: value.time, value: mhz };
}

// The newest measurement of a record's or an index's day, or null. `curve` is undefined where
// the file does not tell it (an older program).
function soundNewest(value) {
  if (!value || typeof value !== "object" || !soundTime(value.time)) return null;
  return { time: value.time, value: number(value.value_mhz), forecast: number(value.forecast_mhz),
    curve: "curve_mhz" in value ? number(value.curve_mhz) : undefined,
    deviation: number(value.deviation_percent) };
}

// What a run record or a year file tells of a day: a Day.
function dayOf(day, entry) {
  const counts = entry.measurements;
  const stem = archiveStem(day);
  return {
    day,
    counts: counts && isCount(counts.with_value) && isCount(counts.without_value)
      ? { withValue: counts.with_value, withoutValue: counts.without_value } : null,
    newest: soundNewest(entry.newest),
    lowest: soundExtreme(entry.lowest),
    highest: soundExtreme(entry.highest),
    min: number(entry.min_mhz),
    max: number(entry.max_mhz),
    meanDeviation: number(entry.mean_deviation_percent),
    drawnFrom: typeof entry.drawn_from === "string" ? entry.drawn_from : undefined,
    record: typeof entry.record === "string" ? entry.record : `${stem}.json`,
    csv: typeof entry.csv === "string" ? entry.csv : `${stem}.csv`,
    hasFiles: true,
  };
}

// The run record as the page uses it, or {problem}.
function soundRecord(value) {
  if (!value || typeof value !== "object" || value.format !== "norvane_foF2 run record") {
    return { problem: "damaged" };
  }
  if (value.version !== 1) return { problem: "version", version: value.version };
  const today = dayFromIso(value.today);
  const finished = Date.parse(value.run_finished);
  if (Number.isNaN(today) || Number.isNaN(finished) || !Array.isArray(value.days)) {
    return { problem: "damaged" };
  }
  const days = new Map();
  for (const entry of value.days) {
    const day = dayFromIso(entry && entry.date);
    if (Number.isNaN(day) || !Number.isInteger(entry.slot) || entry.slot < 1 || entry.slot > 6) {
      return { problem: "damaged" };
    }
    const known = dayOf(day, entry);
    known.current = entry.current;
    // The day's record and CSV are written beside its archive picture.
    known.hasFiles = ["written", "unchanged", "kept"].includes(entry.archive) &&
      entry.drawn_from !== null;
    days.set(entry.slot, known);
  }
  let archive;
  if (value.archive && typeof value.archive === "object") {
    const first = dayFromIso(value.archive.first);
    const last = dayFromIso(value.archive.last);
    if (value.archive.first === null) archive = null;
    else if (!Number.isNaN(first) && !Number.isNaN(last)) archive = { first, last, years: null };
  }
  return {
    station: typeof value.station === "string" ? value.station.trim() : "",
    folder: typeof value.station_folder === "string" ? value.station_folder : "",
    today, finished, success: value.success === true, days, runFinished: value.run_finished,
    archive,
  };
}

function soundIndex(value) {
  if (!value || value.format !== "norvane_foF2 archive index" || value.version !== 1) return null;
  const first = dayFromIso(value.first);
  const last = dayFromIso(value.last);
  if (Number.isNaN(first) || Number.isNaN(last) || !Array.isArray(value.years)) return null;
  return { first, last, years: value.years.filter(Number.isInteger) };
}

// The days of a year that have a picture, each a Day.
async function yearDays(year) {
  if (!yearFiles.has(year)) {
    yearFiles.set(year, (async () => {
      const value = await fetchJson(`archive/${String(year).padStart(4, "0")}.json`);
      const days = new Map();
      if (value && value.format === "norvane_foF2 archive year" && value.version === 1 &&
          Array.isArray(value.days)) {
        for (const entry of value.days) {
          const day = dayFromIso(entry && entry.date);
          if (Number.isNaN(day)) continue;
          const known = dayOf(day, entry);
          known.hasFiles = typeof entry.record === "string";
          days.set(day, known);
        }
      }
      return days;
    })());
  }
  return yearFiles.get(year);
}

// The curve's value in tenths of MHz at minute of the day, as the figure draws it: the dot's
// value at a whole hour, the value on the line between two joined dots, null where no curve is
// drawn. `tenths` are the record's hourly values in tenths.
function curveAt(tenths, minute) {
  const hour = Math.floor(minute / 60);
  const within = minute % 60;
  if (hour > 23 || tenths[hour] === null) return null;
  if (within === 0) return tenths[hour];
  if (hour === 23 || tenths[hour + 1] === null) return null;
  return tenths[hour] + (tenths[hour + 1] - tenths[hour]) * within / 60;
}

// Half away from zero, to `scale` (10, 100), as the program rounds.
function roundTo(value, scale) {
  return Math.sign(value) * Math.round(Math.abs(value) * scale) / scale;
}

// A day's record, archive/<yyyy><ddd>.json, as a list of measurements {time, minute, value,
// drawn (tenths of MHz), curve, deviation}, or null. Read once for each day (again after a run
// that redrew the day).
function dayRecord(known) {
  const url = `archive/${known.record}`;
  if (!dayRecords.has(url)) {
    dayRecords.set(url, (async () => {
      const value = await fetchJson(url);
      if (!value || value.format !== "norvane_foF2 day record" || value.version !== 1 ||
          value.date !== isoDate(known.day) || !Array.isArray(value.measurements)) {
        dayRecords.delete(url);
        return null;
      }
      // The record's MHz are its tenths divided by ten.
      const forecast = Array.from({ length: 24 }, (_, hour) => {
        const mhz = Array.isArray(value.forecast_mhz) ? number(value.forecast_mhz[hour]) : null;
        return mhz === null ? null : Math.round(mhz * 10 * 1e6) / 1e6;
      });
      const list = [];
      for (const entry of value.measurements) {
        if (!entry || !soundTime(entry.time)) continue;
        const minute = Number(entry.time.slice(0, 2)) * 60 + Number(entry.time.slice(3));
        const mhz = number(entry.value_mhz);
        const drawn = number(entry.tenths) !== null ? entry.tenths
          : mhz === null ? null : Math.round(mhz * 10 * 1e6) / 1e6;
        const exact = curveAt(forecast, minute);
        // Shown to a hundredth as the day's CSV gives it (from the exact binary value).
        const curve = exact === null ? null : exact / 10;
        const deviation = drawn === null || exact === null || exact === 0 ? null
          : roundTo((drawn - exact) / exact * 100, 10);
        list.push({ time: entry.time, minute, value: mhz, drawn, curve, deviation });
      }
      return list;
    })());
  }
  return dayRecords.get(url);
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
    } else if (name === "measurement_out_of_date_after_minutes" && Number(value) > 0) {
      settings.measurementOutOfDateMinutes = Number(value);
    } else if (name === "time_zone") {
      settings.timeZone = checkedTimeZone(value);
    }
  }
}

// Today by the settings' time zone or the visitor's clock: only to bound the archive of a
// station that tells neither its record nor an index, never to name a picture's day.
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

function archiveYears() {
  if (!archiveIndex) return [];
  if (archiveIndex.years) return archiveIndex.years;
  const years = [];
  for (let y = new Date(archiveIndex.first).getUTCFullYear();
    y <= new Date(archiveIndex.last).getUTCFullYear(); ++y) years.push(y);
  return years;
}

// The day's lowest and highest {time, value}, from what its entry tells or from its record.
function extremes(known, list) {
  if (known.lowest && known.highest) return [known.lowest, known.highest];
  if (!list) {
    return [known.min === null ? null : { value: known.min },
      known.max === null ? null : { value: known.max }];
  }
  let lowest = null;
  let highest = null;
  for (const m of list) {
    if (m.value === null) continue;
    if (!lowest || m.value < lowest.value) lowest = m;
    if (!highest || m.value > highest.value) highest = m;
  }
  return [lowest, highest];
}

function extremeText(word, extreme) {
  return `${word} ${mhzText(extreme.value)}${extreme.time ? ` at ${extreme.time} UT` : ""}`;
}

// "foF2 on Sat, 5 December 2026: 96 measurements, 6 of them without a value; lowest 3.0 MHz at
// 04:15 UT, highest 11.0 MHz at 12:30 UT; latest 5.0 MHz at 23:45 UT; on average 9.8% above the
// forecast".
function altText(known, list) {
  let text = `foF2 on ${dayText(known.day)}`;
  const counts = known.counts;
  if (!counts) return text;
  const total = counts.withValue + counts.withoutValue;
  text += `: ${total} measurement${total === 1 ? "" : "s"}`;
  if (counts.withoutValue) text += `, ${counts.withoutValue} of them without a value`;
  const [lowest, highest] = extremes(known, list);
  if (lowest && highest) {
    text += `; ${extremeText("lowest", lowest)}, ${extremeText("highest", highest)}`;
  }
  const newest = known.newest;
  if (newest) {
    text += newest.value === null ? `; latest at ${newest.time} UT, without a value`
      : `; latest ${mhzText(newest.value)} at ${newest.time} UT`;
  }
  if (known.meanDeviation !== null) {
    const d = known.meanDeviation;
    text += d === 0 ? "; on average on the forecast"
      : `; on average ${Math.abs(d).toFixed(1)}% ${d > 0 ? "above" : "below"} the forecast`;
  }
  return text;
}

// The figure's position of a measurement, in fractions of the picture: the figure's user scale
// runs from x = -35 (left edge) to 251 (right) and from y = 215 (top) to -46 (bottom), in tenths
// of an hour and tenths of MHz; a measurement is drawn at x = 10 per hour plus (minute + 2) / 6,
// y = its value, each rounded to the nearest pixel.
function pixelOf(minute) {
  const x = Math.floor(minute / 60) * 10 + Math.floor((minute % 60 + 2) / 6);
  return (Math.floor(x + 35 + 0.5) + 0.5) / WIDTH;
}

function rowOf(tenths) {
  return (Math.floor((215 - tenths) * HEIGHT / 261 + 0.5) + 0.5) / HEIGHT;
}

function readoutText(m) {
  const parts = [`${m.time} UT`, m.value === null ? "no value" : mhzText(m.value)];
  parts.push(m.curve === null ? "no forecast" : `forecast ${hundredths(m.curve)} MHz`);
  if (m.deviation !== null) parts.push(percentText(m.deviation, 1));
  return parts.join(", ");
}

// One picture with its caption, its files and its values. The figure's data-state is
// "shown" or "missing".
class Plot {
  constructor(figure) {
    this.figure = figure;
    this.frame = figure.querySelector(".frame");
    this.img = figure.querySelector("img");
    this.time = figure.querySelector("time");
    this.link = figure.querySelector("a.file");
    this.known = null;
    this.list = null;
    this.index = -1;
    const extras = document.getElementById("plot-extras").content;
    this.frame.append(extras.querySelector(".readout").cloneNode(true));
    figure.append(extras.querySelector(".values").cloneNode(true));
    this.readout = this.frame.querySelector(".readout");
    this.values = figure.querySelector(".values");
    this.drawn = document.createElement("span");
    this.drawn.className = "drawn";
    this.time.after(this.drawn);
    this.files = document.createElement("span");
    this.files.className = "files";
    this.link.replaceWith(this.files);
    this.files.append(this.link);
    for (const kind of ["csv", "json"]) {
      const link = document.createElement("a");
      link.className = kind;
      this[kind] = link;
    }
    // "loading" until the picture has come and its caption is known.
    this.figure.dataset.state = "loading";
    this.img.addEventListener("load", () => this.settle());
    this.img.addEventListener("error", () => this.settle());
    this.listen();
  }

  // Shows `src` (fetched only when it is not the one shown) with its caption: info is {known
  // (a Day or null), text, alt, gif (the link's address), download, note}.
  settle() {
    if (!this.captioned) return;
    if (this.img.complete) this.figure.dataset.state = this.img.naturalWidth ? "shown" : "missing";
  }

  show(src, info) {
    if (this.img.getAttribute("src") !== src) {
      this.figure.dataset.state = "loading";
      this.img.src = src;
    }
    if (this.known !== info.known ||
        (info.known && this.known && info.known.record !== this.known.record)) {
      this.list = null;
      this.index = -1;
      this.readout.hidden = true;
    }
    this.known = info.known;
    this.img.alt = info.alt;
    this.time.dateTime = info.known ? isoDate(info.known.day) : "";
    this.time.textContent = info.text;
    this.drawn.textContent = info.note || "";
    this.link.href = info.gif;
    const named = info.known ? shortDayFormat.format(info.known.day) : null;
    this.link.textContent = named ? `Picture of ${named}` : info.linkText;
    if (info.download) this.link.download = info.download;
    else this.link.removeAttribute("download");
    const files = info.known && info.known.hasFiles;
    this.img.tabIndex = info.known ? 0 : -1;
    this.files.replaceChildren(this.link);
    if (files) {
      this.csv.href = `archive/${info.known.csv}`;
      this.csv.textContent = `CSV of ${named}`;
      this.csv.download = info.known.csv;
      this.json.href = `archive/${info.known.record}`;
      this.json.textContent = `JSON of ${named}`;
      this.files.append(this.csv, this.json);
    }
    this.values.hidden = !files;
    this.captioned = true;
    this.settle();
    if (files) {
      const which = document.createElement("span");
      which.className = "visually-hidden";
      which.textContent = ` of ${named}`;
      this.values.querySelector("summary").replaceChildren("Values", which);
    }
    if (this.values.open && files) this.fill();
  }

  // The day's measurements, read once it is asked for; the alt text gains their times.
  async load() {
    const known = this.known;
    if (!known || !known.hasFiles) return null;
    if (!this.list) {
      const list = await dayRecord(known);
      if (this.known !== known) return null;
      this.list = list;
      if (list && !(known.lowest && known.highest)) this.img.alt = altText(known, list);
    }
    return this.list;
  }

  // Shows the readout of measurement i, or hides it.
  point(i) {
    const m = this.list && this.list[i];
    this.index = m ? i : -1;
    this.readout.hidden = !m;
    if (!m) return;
    const mark = this.readout.querySelector(".mark");
    const x = pixelOf(m.minute);
    mark.style.left = `${x * 100}%`;
    mark.style.top = m.drawn === null ? `${rowOf(4.5) * 100}%` : `${rowOf(m.drawn) * 100}%`;
    const text = this.readout.querySelector(".readout-text");
    text.textContent = readoutText(m);
    text.classList.toggle("left", x > 0.5);
  }

  // The measurement nearest the pointer at fraction fx of the picture's width.
  nearest(fx) {
    const x = fx * WIDTH - 35.5;
    const minute = x * 6;
    let best = -1;
    this.list.forEach((m, i) => {
      if (best < 0 || Math.abs(m.minute - minute) < Math.abs(this.list[best].minute - minute)) {
        best = i;
      }
    });
    return best;
  }

  listen() {
    const atPointer = async (event) => {
      if (!(await this.load()) || !this.list.length) return;
      const box = this.img.getBoundingClientRect();
      this.point(this.nearest((event.clientX - box.left) / box.width));
    };
    this.img.addEventListener("pointermove", atPointer);
    this.img.addEventListener("pointerdown", atPointer);
    this.img.addEventListener("pointerleave", (event) => {
      if (event.pointerType === "mouse" && document.activeElement !== this.img) this.point(-1);
    });
    this.img.addEventListener("focus", () => { this.load(); });
    this.img.addEventListener("blur", () => this.point(-1));
    this.img.addEventListener("keydown", async (event) => {
      const steps = { ArrowLeft: -1, ArrowRight: 1, ArrowDown: -1, ArrowUp: 1 };
      if (!(event.key in steps) && event.key !== "Home" && event.key !== "End") return;
      event.preventDefault();
      const list = await this.load();
      if (!list || !list.length) return;
      let i = this.index < 0 ? list.length - 1 : this.index + (steps[event.key] || 0);
      if (event.key === "Home") i = 0;
      if (event.key === "End") i = list.length - 1;
      this.point(Math.min(Math.max(i, 0), list.length - 1));
    });
    this.values.addEventListener("toggle", () => { if (this.values.open) this.fill(); });
  }

  // The table of the day's values, in the Values disclosure.
  async fill() {
    const body = this.values.querySelector("tbody");
    const list = await this.load();
    if (!list) {
      body.replaceChildren();
      this.values.querySelector(".values-note").textContent =
        "The day's values cannot be read.";
      return;
    }
    this.values.querySelector(".values-note").textContent =
      `${list.length} measurement${list.length === 1 ? "" : "s"}, time in UT.`;
    body.replaceChildren(...list.map((m) => {
      const row = document.createElement("tr");
      for (const cell of [m.time, m.value === null ? "no value" : m.value.toFixed(1),
        m.curve === null ? "" : hundredths(m.curve),
        m.deviation === null ? "" : percentText(m.deviation, 1)]) {
        row.insertCell().textContent = cell;
      }
      return row;
    }));
  }
}

const recentFigures = [...document.querySelectorAll("#recent .plot")];
const recent = recentFigures.map((figure) => new Plot(figure));
const archiveTemplate = document.getElementById("plot-template").content.firstElementChild;
const archivePlot = new Plot(archiveTemplate.cloneNode(true));
document.getElementById("archive").append(archivePlot.figure);
const dayInput = document.getElementById("archive-day");
const previousButton = document.getElementById("previous-day");
const nextButton = document.getElementById("next-day");
let archiveDay = NaN;
let lastTyped = 0;
let resetTimer = 0;
// The address each current picture was last loaded from, and the run it was loaded for.
const recentSources = recent.map((plot, i) => plot.img.getAttribute("src") ||
  `pictures/plotfoF2${i + 1}.gif`);

function drawnNote(known) {
  if (!known) return "";
  if (known.drawnFrom === "record") return "drawn from the day's record: the station's files could not be read";
  if (known.drawnFrom === "folder and record") return "drawn partly from the day's record";
  if (known.drawnFrom === null) return "no data could be read for this day";
  return "";
}

function recentInfo(slot) {
  const known = slotDays.get(slot) || null;
  const gif = recentSources[slot - 1];
  if (known) {
    return { known, text: `${dayText(known.day)}, day ${dayOfYear(known.day)}`,
      alt: altText(known, null), gif, download: `${archiveStem(known.day)}.gif`,
      note: drawnNote(known) };
  }
  const word = SLOT_WORDS[slot - 1];
  return { known: null, text: `Day not known (${word}'s place)`, gif,
    alt: `foF2 of the place for ${word}; its day is not known`, linkText: `Picture of ${word}'s place` };
}

function showRecent() {
  recent.forEach((plot, i) => plot.show(recentSources[i], recentInfo(i + 1)));
}

// The newest measurement of the six days: {known, newest, time}, or null.
function newestMeasurement() {
  for (let slot = 6; slot >= 1; --slot) {
    const known = record.days.get(slot);
    if (known && known.newest) {
      const time = Date.parse(`${isoDate(known.day)}T${known.newest.time}:00Z`);
      return { known, newest: known.newest, time };
    }
  }
  return null;
}

// "Latest: 7.3 MHz at 14:30 UT, 35 minutes ago; forecast 8.1 MHz (−10%)."
function latestText(latest) {
  if (!latest) return "No measurement in the last six days.";
  const { known, newest, time } = latest;
  let text = newest.value === null ? `Latest: a measurement without a value at ${newest.time} UT`
    : `Latest: ${mhzText(newest.value)} at ${newest.time} UT`;
  if (known.day !== record.today) text += ` on ${dayText(known.day)}`;
  text += `, ${agoText(Math.max(0, Date.now() - time))}`;
  // The curve's value at the measurement's time; an older program tells only the hour's.
  const forecast = newest.curve !== undefined ? newest.curve : newest.forecast;
  if (forecast !== null) {
    text += `; forecast ${mhzText(forecast)}`;
    if (newest.curve !== undefined && newest.value !== null && forecast !== 0) {
      const deviation = newest.deviation !== null ? newest.deviation
        : (newest.value - forecast) / forecast * 100;
      text += ` (${percentText(deviation, 0)})`;
    }
  }
  return `${text}.`;
}

const STATION_KEY = `foF2 station ${location.pathname}`;

// The station's name: the record's, or the one the last record that had one told.
function stationName() {
  let kept = null;
  try {
    if (record.station) localStorage.setItem(STATION_KEY, record.station);
    else kept = localStorage.getItem(STATION_KEY);
  } catch {
    kept = null;
  }
  if (record.station) return record.station;
  if (kept) return kept;
  return record.folder ? `${record.folder} (the folder's name: the station's files have not told its own)` : "";
}

function paragraph(text) {
  const p = document.createElement("p");
  p.textContent = text;
  return p;
}

const PROBLEMS = {
  missing: "The station's program has written no run record (it may be an older version)",
  damaged: "The station's run record is damaged",
  version: "The station's run record is of a version this page does not know",
};

function showFreshness() {
  const freshness = document.getElementById("freshness");
  const stale = document.getElementById("stale");
  const station = document.getElementById("station");
  freshness.hidden = false;
  document.getElementById("status").textContent = record
    ? "The pictures are loaded again when the station draws them; this page asks every minute."
    : "The pictures are loaded again every five minutes.";
  const warnings = [];
  if (!record) {
    station.hidden = true;
    const known = [...slotDays.values()].filter(Boolean).length;
    freshness.textContent = `${PROBLEMS[recordProblem] || PROBLEMS.missing}: ` +
      (known === 6 ? "the days of the pictures are taken from the archive, whose pictures they are."
        : known ? `the days of ${known} of the pictures are taken from the archive, whose pictures ` +
          "they are; the others' days are not known."
          : "the days of the pictures are not known.");
    stale.replaceChildren();
    stale.hidden = true;
    return;
  }
  const name = stationName();
  station.hidden = !name;
  station.querySelector("strong").textContent = name;
  document.title = record.station || name ? `foF2: ${record.station || name}` : "foF2: forecast and measurements";
  const now = Date.now();
  const age = now - record.finished;
  const when = `${utText(record.finished)} UT`;
  const latest = newestMeasurement();
  freshness.textContent = `Last run at ${when}, ${agoText(age)}. ${latestText(latest)}`;
  if (age > settings.outOfDateMinutes * MINUTE_MS) {
    warnings.push(`Out of date: the station has not drawn its pictures since ${when} on ` +
      `${dayText(Math.floor(record.finished / DAY_MS) * DAY_MS)} (${agoText(age)}).`);
  }
  if (!latest) {
    warnings.push("Out of date: the station has no measurement in the last six days.");
  } else if (now - latest.time > settings.measurementOutOfDateMinutes * MINUTE_MS) {
    warnings.push(`Out of date: no measurement since ${latest.newest.time} UT on ` +
      `${dayText(latest.known.day)} (${agoText(now - latest.time)}), though the program ` +
      `last ran at ${when}.`);
  }
  if (!record.success) {
    warnings.push(`The last run, at ${when}, failed: not everything may have been drawn; the ` +
      "station's log says why.");
  }
  stale.replaceChildren(...warnings.map(paragraph));
  stale.hidden = !warnings.length;
}

// Without a record: the days of the current pictures that are byte for byte archive pictures
// of the archive's last seven days.
async function daysFromArchive() {
  const found = new Map();
  if (!archiveIndex) return found;
  const bytes = async (url) => {
    try {
      const response = await fetch(url, { cache: "no-cache" });
      return response.ok ? new Uint8Array(await response.arrayBuffer()) : null;
    } catch {
      return null;
    }
  };
  const same = (a, b) => a && b && a.length === b.length && a.every((v, i) => v === b[i]);
  const candidates = [];
  for (let d = archiveIndex.last; d > archiveIndex.last - 7 * DAY_MS && d >= archiveIndex.first;
    d -= DAY_MS) candidates.push(d);
  const archived = await Promise.all(candidates.map((d) => bytes(`archive/${archiveStem(d)}.gif`)));
  const current = await Promise.all(recentSources.map(bytes));
  for (let slot = 1; slot <= 6; ++slot) {
    const i = archived.findIndex((a) => same(a, current[slot - 1]));
    if (i < 0) continue;
    const entry = (await yearDays(new Date(candidates[i]).getUTCFullYear())).get(candidates[i]);
    found.set(slot, entry || { ...dayOf(candidates[i], {}), hasFiles: false });
  }
  return found;
}

async function readIndex() {
  archiveIndex = soundIndex(await fetchJson("archive/index.json"));
  indexRead = true;
  showRange();
}

// The record's range of the archive is as old as the last run: a backfill since may have added
// days. The index is read once the visitor goes near the archive's controls or asks for a day
// outside that range; resolves to whether the range changed.
let indexRead = false;

async function confirmBounds() {
  if (indexRead) return false;
  indexRead = true;
  const index = soundIndex(await fetchJson("archive/index.json"));
  if (!index || (archiveIndex && index.first === archiveIndex.first &&
      index.last === archiveIndex.last)) return false;
  archiveIndex = index;
  yearFiles.clear();
  return true;
}

// Reads the record; a changed one reloads the pictures it says were rewritten. Without a
// record, the pictures are loaded again (force) and their days sought in the archive.
async function readRecord(force) {
  const read = await readJson("pictures/plotfoF2.json");
  if (!read) return false;
  const before = record ? record.runFinished : null;
  const checked = read.value !== undefined ? soundRecord(read.value) : { problem: read.problem };
  if (checked.problem) {
    const changed = record !== null || recordProblem !== checked.problem || force;
    record = null;
    recordProblem = checked.problem;
    if (changed) {
      if (force) {
        const stamp = Date.now();
        recentSources.forEach((_, i) => { recentSources[i] = `pictures/plotfoF2${i + 1}.gif?v=${stamp}`; });
      }
      yearFiles.clear();
      await readIndex();
      slotDays = await daysFromArchive();
    }
    return changed;
  }
  const changed = checked.runFinished !== before;
  record = checked;
  recordProblem = null;
  if (!changed) return false;
  if (before !== null || polls > 0) {
    // A run redrew the pictures it says it wrote (after a time without a record, any may have
    // changed): load those under an address of their own.
    for (const [slot, known] of record.days) {
      if (known.current === "written" || before === null) {
        recentSources[slot - 1] = `pictures/plotfoF2${slot}.gif?v=${encodeURIComponent(record.runFinished)}`;
      }
    }
  }
  for (const known of record.days.values()) dayRecords.delete(`archive/${known.record}`);
  slotDays = record.days;
  yearFiles.clear();
  if (record.archive !== undefined) {
    archiveIndex = record.archive;
    indexRead = false;
    showRange();
  } else {
    await readIndex();
  }
  return true;
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
  const years = archiveYears();
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

// The days of the shown day's month, those with a picture as links, each with its highest
// value and its mean deviation from the forecast.
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
    const dayNumber = String(new Date(d).getUTCDate());
    const known = days.get(d);
    if (known) {
      const link = dayLink(d, dayNumber);
      let label = dayText(d);
      item.append(link);
      // The numbers beside the link are in its name, for a screen reader.
      if (known.max !== null) {
        label += `: highest ${mhzText(known.max)}`;
        const bar = document.createElement("span");
        bar.className = "max";
        bar.textContent = known.max.toFixed(1);
        bar.style.setProperty("--fill", `${Math.min(known.max / 19, 1) * 100}%`);
        bar.setAttribute("aria-hidden", "true");
        item.append(bar);
      }
      if (known.meanDeviation !== null) {
        label += `${known.max !== null ? "," : ":"} on average ${percentText(known.meanDeviation, 1)} from the forecast`;
        const deviation = document.createElement("span");
        deviation.className = "deviation";
        deviation.textContent = percentText(known.meanDeviation, 0);
        deviation.setAttribute("aria-hidden", "true");
        item.append(deviation);
      }
      link.setAttribute("aria-label", label);
      if (d === day) link.setAttribute("aria-current", "date");
      ++count;
    } else {
      item.textContent = dayNumber;
      item.className = "none";
      item.setAttribute("aria-hidden", "true");
    }
    list.append(item);
  }
  month.querySelector("ol").replaceWith(list);
  document.getElementById("month-heading").textContent =
    `${monthFormat.format(day)}: ${count} day${count === 1 ? "" : "s"} with a picture` +
    (count ? " (linked, with the day's highest value in MHz and its mean deviation from the forecast)" : "");
  month.hidden = false;
}

// The slot whose current picture is day's, or 0.
function slotOf(day) {
  for (const [slot, known] of slotDays) if (known && known.day === day) return slot;
  return 0;
}

async function showArchive(day) {
  archiveDay = day;
  showRange();
  const [first, last] = archiveBounds();
  setIfChanged(dayInput, "min", isoDate(first));
  setIfChanged(dayInput, "max", isoDate(last));
  // Set only when it differs, not to break off a date being typed in.
  if (dayInput.value !== isoDate(day)) dayInput.value = isoDate(day);
  previousButton.disabled = day <= first;
  nextButton.disabled = day >= last;
  const slot = slotOf(day);
  // One of the six days shows its current picture, which is loaded already and is the same.
  let known = slot ? slotDays.get(slot) : null;
  if (!known && archiveIndex) known = (await yearDays(new Date(day).getUTCFullYear())).get(day);
  if (day !== archiveDay) return;
  known = known || { ...dayOf(day, {}), hasFiles: false };
  const stem = archiveStem(day);
  const text = `${dayText(day)}, day ${dayOfYear(day)}`;
  archivePlot.show(slot ? recentSources[slot - 1] : `archive/${stem}.gif`,
    { known, text, alt: altText(known, null), gif: `archive/${stem}.gif`, download: `${stem}.gif`,
      note: drawnNote(known) });
  if (!slot && known.hasFiles) archivePlot.load(); // the alt text gains the times
  const state = await new Promise((resolve) => {
    const settled = () => archivePlot.figure.dataset.state !== "loading";
    if (settled()) return resolve(archivePlot.figure.dataset.state);
    const done = () => resolve(archivePlot.figure.dataset.state);
    archivePlot.img.addEventListener("load", done, { once: true });
    archivePlot.img.addEventListener("error", done, { once: true });
  });
  if (day !== archiveDay) return;
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
// outside the archive or an address that names no day is replaced by the day shown, and the
// page says why.
async function approachArchive() {
  if (await confirmBounds()) {
    showRange();
    const [first, last] = archiveBounds();
    setIfChanged(dayInput, "min", isoDate(first));
    setIfChanged(dayInput, "max", isoDate(last));
    previousButton.disabled = archiveDay <= first;
    nextButton.disabled = archiveDay >= last;
  }
}

function showAddress() {
  const hash = decodeURIComponent(location.hash.slice(1));
  const [first, last] = archiveBounds();
  if (!hash) {
    showArchive(last);
    return;
  }
  const day = dayFromIso(hash);
  if (!Number.isNaN(day) && (day < first || day > last) && !indexRead) {
    confirmBounds().then(showAddress);
    return;
  }
  goTo(Number.isNaN(day) ? last : Math.min(Math.max(day, first), last), true);
  if (Number.isNaN(day)) {
    document.getElementById("archive-range").textContent =
      `“${hash}” is not a date; the archive's latest day is shown. ${rangeText()}`;
  } else if (day < first || day > last) {
    document.getElementById("archive-range").textContent =
      `${dayText(day)} is outside the archive. ${rangeText()}`;
  }
}

function putBack() {
  clearTimeout(resetTimer);
  if (!Number.isNaN(archiveDay) && dayInput.value !== isoDate(archiveDay)) {
    dayInput.value = isoDate(archiveDay);
  }
}

previousButton.addEventListener("click", () => goTo(Math.max(archiveDay - DAY_MS, archiveBounds()[0])));
nextButton.addEventListener("click", () => goTo(Math.min(archiveDay + DAY_MS, archiveBounds()[1])));
document.getElementById("latest-day").addEventListener("click", () => goTo(archiveBounds()[1]));
const controls = document.querySelector(".controls");
controls.addEventListener("focusin", approachArchive);
controls.addEventListener("pointerenter", approachArchive);
dayInput.addEventListener("change", async () => {
  clearTimeout(resetTimer);
  const day = dayFromIso(dayInput.value);
  let [first, last] = archiveBounds();
  if (!Number.isNaN(day) && (day < first || day > last) && await confirmBounds()) {
    [first, last] = archiveBounds();
  }
  if (Number.isNaN(day) || day < first || day > last) {
    // A year being typed passes through 0002, 0020 and 0202: the field is put back to the day
    // shown only once the typing pauses.
    document.getElementById("archive-range").textContent = Number.isNaN(day)
      ? `Not a date. ${rangeText()}` : `${dayText(day)} is outside the archive. ${rangeText()}`;
    resetTimer = setTimeout(putBack, 1500);
    return;
  }
  showRange();
  // The changes of one date being typed make one history entry.
  const now = Date.now();
  goTo(day, now - lastTyped < 2000);
  lastTyped = now;
});
dayInput.addEventListener("blur", putBack);
window.addEventListener("popstate", showAddress);
window.addEventListener("hashchange", showAddress);

function rangeText() {
  return archiveIndex
    ? `The archive holds pictures from ${dayText(archiveIndex.first)} to ${dayText(archiveIndex.last)}.`
    : "The archive has no index (an older program): a day without a picture shows as such.";
}

function showRange() {
  document.getElementById("archive-range").textContent = rangeText();
}

// The pictures' size: a whole number of device pixels for each of the picture's, so that each
// of its pixels is drawn as a square of whole device pixels; twice their size where three fit a
// row at that (one for the archive), as wide as the column on a phone, and never taller than
// the window.
const phone = matchMedia("(max-width: 40rem)");

function sizePlots() {
  const ratio = window.devicePixelRatio || 1;
  for (const container of document.querySelectorAll(".plots")) {
    const width = container.clientWidth;
    if (!width) continue;
    const perRow = container.id === "recent" ? 3 : 1;
    const gap = parseFloat(getComputedStyle(container).columnGap) || 0;
    let target = width;
    if (!phone.matches) target = perRow * 2 * WIDTH + (perRow - 1) * gap <= width ? 2 * WIDTH : WIDTH;
    target = Math.min(target, (window.innerHeight - 16) * WIDTH / HEIGHT);
    const factor = Math.max(1, Math.floor(target * ratio / WIDTH + 1e-9));
    container.style.setProperty("--plot-width", `${factor * WIDTH / ratio}px`);
  }
}

// On a phone today's picture comes first: the figures are put in that order, so that the Tab
// key follows what the eye sees.
function orderRecent() {
  const container = document.getElementById("recent");
  container.append(...(phone.matches ? [...recentFigures].reverse() : recentFigures));
  sizePlots();
}

let polls = 0;

// Reads the record again; on a new run, reloads the pictures, the index, and the archive day
// when it is among the last six (the same pictures).
async function refresh() {
  ++polls;
  const changed = await readRecord(!record && polls % POLLS_PER_RELOAD === 0);
  if (changed) {
    showRecent();
    if (!location.hash) showArchive(latestDay());
    else if (slotOf(archiveDay) || latestDay() - archiveDay < 6 * DAY_MS) showArchive(archiveDay);
  }
  showFreshness();
}

async function start() {
  document.documentElement.classList.add("scripted");
  orderRecent();
  phone.addEventListener("change", orderRecent);
  window.addEventListener("resize", sizePlots);
  await readSettings();
  await readRecord(false);
  showRecent();
  showFreshness();
  document.getElementById("archive-section").hidden = false;
  document.getElementById("readout-hint").hidden = false;
  sizePlots();
  showAddress();
  setInterval(refresh, POLL_MS);
}

start();
