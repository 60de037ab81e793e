// The page that k40ctl serve gives at "/": the state of the link, the nine
// measurements, their trends, the status bits and their changes, the traffic,
// and the commands where the server allows them. It reads the server's
// history once, then follows its event stream.
import { applyTexts, t } from "./i18n.js";
import { getJson, historyCsv, historyRecords, listen } from "./api.js";
import { Store } from "./series.js";
import { CsvReader, parseTime } from "./csv.js";
import { Trends } from "./trends.js";
import { showGlance, showLinkEvent } from "./glance.js";
import { Values } from "./values.js";
import { Bits } from "./bits.js";
import { Traffic } from "./traffic.js";
import { Commands } from "./commands.js";

const $ = (id) => document.getElementById(id);

const store = new Store();
const trends = new Trends($("charts"), store);
const values = new Values($("values-body"));
const bits = new Bits($("bits-body"), $("journal-body"));
const traffic = new Traffic($("traffic-body"), $("traffic-pause"), $("traffic-note"));
// For whoever inspects the page (its tests, its benchmark): read only.
window.k40page = Object.freeze({ store, trends, bits, traffic });

let loaded = false;
const early = [];  // scans that came while the history loaded

function scan(r) {
  showGlance(r);
  values.show(r);
  traffic.failure(r);
  if (!loaded) {
    early.push(r);
    return;
  }
  bits.show(r);
  addScan(r);
}

function addScan(r) {
  const time = parseTime(r.time);
  const good = r.outcome === "reply";
  if (store.add(time, good ? r.values.slice(0, 9).map((v) => v.value) : null)) {
    trends.scanned();
  }
}

function toolbar() {
  for (const b of document.querySelectorAll("#trends .toolbar button")) {
    b.addEventListener("click", () => {
      if (b.dataset.range !== undefined) {
        trends.showSpan(Number(b.dataset.range));
      } else if (b.dataset.zoom !== undefined) {
        trends.zoom(Number(b.dataset.zoom));
      } else {
        trends.pan(Number(b.dataset.pan));
      }
    });
  }
}

async function loadHistory() {
  $("trend-note").textContent = t("loading");
  performance.mark("k40-history-asked");
  const csv = new CsvReader(store, (time, b) => bits.add(time, b));
  await historyCsv(0, (piece) => csv.push(piece));
  csv.end();
  performance.mark("k40-history-read");
  trends.build(csv.header.slice(3, 12));
  bits.name(csv.header.slice(12, 27));
  trends.refresh();
  performance.mark("k40-history-drawn");  // for the benchmark: the time line
  loaded = true;
  for (const r of early.splice(0)) {
    bits.show(r);
    addScan(r);
  }
  bits.render();
  $("trend-note").textContent = t("gapNote");
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
  traffic.seed(frames);
  if (frames.length) {
    traffic.merge(await historyRecords(Date.parse(frames[0].time)));
  }
}

async function start() {
  applyTexts(document);
  toolbar();
  const readings = await getJson("/api/v1/readings");
  store.keepMs = (readings.history_s || 86400) * 1000;
  trends.gapMs = readings.interval_s > 0 ? 1.5 * readings.interval_s * 1000 : Infinity;
  showGlance(readings);
  values.show(readings);
  if (readings.outcome === "reply") {
    bits.build(readings.values.slice(9));
  }
  if (readings.commands.allowed) {
    new Commands($("commands-slot"), readings);
  }
  $("csv-link").download = "k40-history-" + new Date().toISOString().slice(0, 10) + ".csv";
  let opened;
  const open = new Promise((resolve) => { opened = resolve; });
  listen({ scan, link: showLinkEvent, frame: (f) => traffic.frame(f) }, () => {
    if (loaded) {
      catchUp();  // the stream was broken: what the server kept meanwhile
    }
    opened();
  });
  await open;
  await Promise.all([loadHistory(), loadFrames()]);
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
