// The page that k40ctl serve gives at "/": the state of the link, the nine
// measurements, their trends, the status bits and their changes, the traffic,
// and the commands where the server allows them. It reads the server's
// history once, then follows its event stream. Scans change the page's text
// at most once a second (in an animation frame, only where it changed): at
// five scans a second no one reads more, and each change costs a layout.
import { applyTexts, t } from "./i18n.js";
import { getJson, historyCsv, historyRecords, listen } from "./api.js";
import { now, serverSaid, paced } from "./clock.js";
import { Store } from "./series.js";
import { CsvReader, parseTime } from "./csv.js";
import { Trends } from "./trends.js";
import { Views } from "./views.js";
import { Download } from "./download.js";
import { showGlance, showLinkEvent } from "./glance.js";
import { Values } from "./values.js";
import { Bits } from "./bits.js";
import { Traffic } from "./traffic.js";
import { Commands } from "./commands.js";
import { AlarmBanner } from "./alarms.js";

const $ = (id) => document.getElementById(id);

const store = new Store();
const trends = new Trends($("charts"), store);
const views = new Views(trends);
const values = new Values($("values-body"));
const bits = new Bits($("bits-body"), $("journal-body"));
const traffic = new Traffic($("traffic-table"), $("traffic-pause"), $("traffic-note"));
new Download(() => trends.window());
const banner = new AlarmBanner($("alarm-slot"));
trends.marks = () => bits.marks();
// For whoever inspects the page (its tests, its benchmark): read only.
window.k40page = Object.freeze({ store, trends, bits, traffic, views, banner });

const asked = location.hash;  // the view the address asks for, before any is shown
let loaded = false;
const early = [];  // scans that came while the history loaded
let newest = null;  // the newest readings not yet shown
const showNewest = paced(() => {
  showGlance(newest);
  banner.show(newest);
  values.show(newest);
});

function scan(r) {
  serverSaid(r);
  traffic.failure(r);
  if (!loaded) {
    early.push(r);
  } else {
    bits.show(r);
    addScan(r);
  }
  newest = r;
  showNewest();
}

function addScan(r) {
  const good = r.outcome === "reply";
  if (store.add(parseTime(r.time), good ? r.values.slice(0, 9).map((v) => v.value) : null)) {
    trends.scanned();
  }
}

// The last good scan's whole record, for a page opened while the unit does
// not answer: the measurements and bits then, stale.
async function lastGood() {
  for (let i = store.length - 1; i >= 0; i--) {
    if (!Number.isNaN(store.v[0][i])) {
      const records = await historyRecords(store.t[i]);
      return records.find((r) => r.outcome === "reply");
    }
  }
  return null;
}

async function loadHistory(readings) {
  $("trend-note").textContent = t("loading");
  performance.mark("k40-history-asked");
  const csv = new CsvReader(store, (time, b) => bits.add(time, b));
  await historyCsv(0, (piece) => csv.push(piece));
  csv.end();
  performance.mark("k40-history-read");
  trends.build(csv.header.slice(3, 12));
  bits.name(csv.header.slice(12, 27));
  trends.refresh();
  views.follow(asked);
  performance.mark("k40-history-drawn");  // for the benchmark: the time line
  loaded = true;
  for (const r of early.splice(0)) {
    bits.show(r);
    addScan(r);
  }
  bits.render();
  $("trend-note").textContent = t("gapNote");
  if (readings.outcome !== "reply" && !early.length) {
    const record = await lastGood();
    values.seed(record);
    bits.seed(record);
  }
}

// After a reconnection: the scans made while the page was not listening.
async function catchUp() {
  const csv = new CsvReader(store, (time, b) => bits.add(time, b));
  await historyCsv(store.last(), (piece) => csv.push(piece));
  csv.end();
  trends.refresh();
  bits.render();
}

async function loadFrames() {
  const frames = await getJson("/api/v1/frames");
  const records = frames.length ? await historyRecords(Date.parse(frames[0].time) - 60e3) : [];
  traffic.seed(frames, records);
}

// The link lost or back: said at once, and a line of the journal.
function link(e) {
  showLinkEvent(e);
  if (e.kind === "lost" || e.kind === "back") {
    bits.note(Date.parse(e.time), t("linkEntry"), t(e.kind === "lost" ? "linkLostNote" : "linkBackNote"));
  }
}

function command(c) {
  bits.note(c.time ? Date.parse(c.time) : now(), t("commandEntry"), c.command + ": " + c.outcome);
}

async function start() {
  applyTexts(document);
  const readings = await getJson("/api/v1/readings");
  serverSaid(readings);
  store.keepMs = (readings.history_s || 86400) * 1000;
  // A break in the line: a failed scan, or no scan for longer than three
  // intervals and the reply wait (a missed scan or two is no break).
  trends.gapMs = readings.interval_s > 0
    ? 3 * readings.interval_s * 1000 + (readings.wait_ms || 0) : Infinity;
  showGlance(readings);
  banner.show(readings);
  values.show(readings);
  if (readings.outcome === "reply") {
    bits.build(readings.values.slice(9));
  }
  if (readings.commands.allowed) {
    new Commands($("commands-slot"), readings);
  }
  let opened;
  const open = new Promise((resolve) => { opened = resolve; });
  const meanings = await getJson("/api/v1/bits");
  bits.mean(meanings);
  banner.meanings = meanings;
  listen({ scan, link, command, frame: (f) => traffic.frame(f) }, () => {
    if (loaded) {
      catchUp();  // the stream was broken: what the server kept meanwhile
    }
    opened();
  });
  await open;
  await Promise.all([loadHistory(readings), loadFrames()]);
  setInterval(() => {
    values.tick();
    bits.tick();
    bits.forget(store.first());
  }, 1000);
  document.body.dataset.ready = "1";
}

window.addEventListener("load", () => {
  start().catch((e) => {
    $("trend-note").textContent = String(e);
    console.error(e);
  });
});
