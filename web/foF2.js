/* SPDX-License-Identifier: MIT */
// Shows the station's six current foF2 pictures and the archive picture of a chosen day, and
// reloads them every five minutes. Each picture is loaded off-screen and swapped in once it is
// decoded, so a reload never blanks the page; a picture that is not there shows "No picture for
// this day" instead of a broken image. The settings are the <meta name="fof2-..."> elements at
// the top of index.html.
//
// A day is a calendar date held as the time of its midnight in UTC: UTC knows no daylight-saving
// changes, so every day is DAY_MS long and stepping days, years and leap years stays exact
// whatever the viewer's clock does.
"use strict";

const DAY_MS = 24 * 60 * 60 * 1000;
const REFRESH_MS = 5 * 60 * 1000;

function setting(name) {
  const meta = document.querySelector(`meta[name="fof2-${name}"]`);
  return meta ? meta.content.trim() : "";
}

function checkedTimeZone(name) {
  if (!name) return undefined;
  try {
    new Intl.DateTimeFormat("en", { timeZone: name });
    return name;
  } catch {
    console.error(`foF2 page: unknown time zone "${name}"; the viewer's own is used`);
    return undefined;
  }
}

const currentBase = setting("current");
const archiveBase = setting("archive");
const timeZone = checkedTimeZone(setting("time-zone"));

function utcDay(year, monthIndex, day) {
  const date = new Date(0);
  date.setUTCFullYear(year, monthIndex, day); // Date.UTC would take years 0..99 as 19xx
  return date.getTime();
}

// Today's date at the station (at the viewer's, when no time zone is set).
function today() {
  const parts = {};
  const format = new Intl.DateTimeFormat("en-US", {
    timeZone, year: "numeric", month: "numeric", day: "numeric",
  });
  for (const part of format.formatToParts(new Date())) parts[part.type] = Number(part.value);
  return utcDay(parts.year, parts.month - 1, parts.day);
}

function isoDate(day) {
  return new Date(day).toISOString().slice(0, 10);
}

// The day of an ISO date "yyyy-mm-dd", or NaN for anything else, impossible dates included.
function dayFromIso(text) {
  const match = /^(\d{4})-(\d{2})-(\d{2})$/.exec(text);
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

const dateText = new Intl.DateTimeFormat("en-GB", {
  timeZone: "UTC", weekday: "short", day: "numeric", month: "long", year: "numeric",
});

// One picture and its date, in a frame of the picture's size. The figure's data-state is
// "loading", "shown" or "missing".
class Plot {
  constructor(container) {
    const template = document.getElementById("plot-template");
    this.figure = template.content.firstElementChild.cloneNode(true);
    this.img = this.figure.querySelector("img");
    this.time = this.figure.querySelector("time");
    this.url = null;
    this.probe = null;
    this.figure.dataset.state = "loading";
    container.append(this.figure);
  }

  // Shows the picture at url as that of day. While another picture than the one shown loads,
  // the one shown stays, dimmed; reloading the same one keeps it as it is, and keeps it too if
  // the reload fails (the server may be restarting).
  show(day, url) {
    const label = `${dateText.format(day)}, day ${dayOfYear(day)}`;
    this.time.dateTime = isoDate(day);
    this.time.textContent = label;
    if (url !== this.url) {
      this.url = url;
      this.figure.dataset.state = "loading";
    }
    const probe = new Image();
    this.probe = probe;
    probe.src = `${url}?t=${Date.now()}`; // past any cache, the picture may have just changed
    probe.decode().then(
      () => {
        if (this.probe !== probe) return;
        this.img.src = probe.src;
        this.img.alt = `foF2 on ${label}`;
        this.figure.dataset.state = "shown";
      },
      () => {
        if (this.probe === probe && this.figure.dataset.state !== "shown") {
          this.figure.dataset.state = "missing";
          this.img.removeAttribute("src");
        }
      });
  }
}

const recent = Array.from({ length: 6 }, () => new Plot(document.getElementById("recent")));
const archive = new Plot(document.getElementById("archive"));
const dayInput = document.getElementById("archive-day");
const nextButton = document.getElementById("next-day");
let archiveDay = dayFromIso(location.hash.slice(1));

function showRecent() {
  const now = today();
  recent.forEach((plot, index) => {
    plot.show(now - (5 - index) * DAY_MS, `${currentBase}plotfoF2${index + 1}.gif`);
  });
}

// Shows the archive picture of day; days after today show today.
function showArchive(day) {
  const now = today();
  archiveDay = Math.min(day, now);
  dayInput.max = isoDate(now);
  // Set only when it differs, not to break off a date being typed in.
  if (dayInput.value !== isoDate(archiveDay)) dayInput.value = isoDate(archiveDay);
  nextButton.disabled = archiveDay >= now;
  history.replaceState(null, "", `#${isoDate(archiveDay)}`);
  archive.show(archiveDay, archiveBase + archiveName(archiveDay));
}

function noteCheck() {
  const time = new Date().toLocaleTimeString([], { hour: "2-digit", minute: "2-digit" });
  document.getElementById("status").textContent =
    `Updated every five minutes; last checked at ${time} (your time).`;
}

function refresh() {
  showRecent();
  // The archive pictures of the last six days are still being redrawn.
  if (today() - archiveDay < 6 * DAY_MS) showArchive(archiveDay);
  noteCheck();
}

document.getElementById("previous-day").addEventListener("click", () => {
  showArchive(archiveDay - DAY_MS);
});
nextButton.addEventListener("click", () => showArchive(archiveDay + DAY_MS));
document.getElementById("latest-day").addEventListener("click", () => showArchive(today()));
dayInput.addEventListener("change", () => {
  const day = dayFromIso(dayInput.value);
  if (Number.isNaN(day)) dayInput.value = isoDate(archiveDay); // emptied: keep the day shown
  else showArchive(day);
});
window.addEventListener("hashchange", () => {
  const day = dayFromIso(location.hash.slice(1));
  if (!Number.isNaN(day)) showArchive(day);
});

showRecent();
showArchive(Number.isNaN(archiveDay) ? today() : archiveDay);
noteCheck();
setInterval(refresh, REFRESH_MS);
