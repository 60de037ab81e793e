// The fifteen status bits with their legends, and the journal of every change
// (time, bit, from, to in words: 交流停电 正常 → 故障), with the link lost and
// back and the commands sent, newest first, kept as long as the history; the
// changes of the last minute stand out. A row stands out only while its alarm
// is raised: a mode (浮充, 手动) is a state, not an alarm.
import { t } from "./i18n.js";
import { dateTime, now } from "./clock.js";
import { stateWords } from "./alarms.js";

const RECENT_MS = 60e3;

export class Bits {
  constructor(body, journalBody) {
    this.body = body;
    this.journalBody = journalBody;
    this.names = [];
    this.cells = [];
    this.last = null;  // the bits of the last good scan
    this.journal = [];  // {time, bit, from, to} or {time, label, text}, oldest first
    this.meanings = [];  // what each bit means (GET /api/v1/bits)
  }

  // What the bits mean: from then on rows stand out by it and the journal
  // reads in words.
  mean(meanings) {
    this.meanings = meanings;
    if (this.shown) {
      this.fill(this.shown, true);
    }
    this.render();
  }

  // The link lost or back, a command and its outcome: a line of the journal.
  note(time, label, text) {
    this.journal.push({ time, label, text });
    this.render();
  }

  // Where alarms started and ended, for the charts: {time, start, bit}.
  marks() {
    return this.journal.filter((e) => !e.label &&
      (this.raised(e.bit, e.to) || this.raised(e.bit, e.from)))
      .map((e) => ({ time: e.time, start: this.raised(e.bit, e.to), bit: e.bit }));
  }

  raised(bit, value) {
    const m = this.meanings[bit];
    return Boolean(m) && m.kind === "alarm" && value === m.raises;
  }

  build(bits) {
    this.names = bits.map((b) => b.name);
    this.body.textContent = "";
    this.cells = bits.map((b, i) => {
      const tr = document.createElement("tr");
      const no = document.createElement("td");
      no.className = "num";
      no.textContent = String(i);
      const th = document.createElement("th");
      th.scope = "row";
      th.textContent = b.name;
      const value = document.createElement("td");
      value.className = "num bit";
      const legend = document.createElement("td");
      legend.textContent = b.legend || "";
      tr.append(no, th, value, legend);
      this.body.append(tr);
      return value;
    });
  }

  // The names as the history's columns give them, for a journal read before
  // any scan came with its bits.
  name(names) {
    if (!this.names.length) {
      this.names = names;
    }
  }

  // The bits of one good scan at time (ms): a change from the scan before is
  // a journal entry.
  add(time, bits) {
    if (this.last) {
      for (let i = 0; i < bits.length; i++) {
        if (bits[i] !== this.last[i]) {
          this.journal.push({ time, bit: i, from: this.last[i], to: bits[i] });
        }
      }
    }
    this.last = bits;
  }

  // The readings of one scan.
  show(r) {
    if (r.outcome !== "reply") {
      if (!this.body.classList.contains("stale")) {
        this.body.classList.add("stale");
      }
      return;
    }
    const bits = r.values.slice(9);
    if (!this.cells.length) {
      this.build(bits);
    }
    if (this.body.classList.contains("stale")) {
      this.body.classList.remove("stale");
    }
    const count = this.journal.length;
    this.add(Date.parse(r.time), bits.map((b) => b.value));
    this.fill(bits);
    if (this.journal.length !== count) {
      this.render();
    }
  }

  fill(bits, again = false) {
    this.shown = bits;
    bits.forEach((b, i) => {
      const text = this.meanings.length ? b.value + " · " + stateWords(this.meanings[i], b.value)
        : String(b.value);
      if (again || this.cells[i].textContent !== text) {
        this.cells[i].textContent = text;
        const on = this.raised(i, b.value);
        this.cells[i].classList.toggle("on", on);
        this.cells[i].parentElement.classList.toggle("raised", on);
      }
    });
  }

  // The last good scan's record (from the history) for a page opened while
  // the unit does not answer: its bits, stale.
  seed(record) {
    if (!this.cells.length && record && record.outcome === "reply") {
      this.build(record.values.slice(9));
      this.fill(record.values.slice(9));
      this.body.classList.add("stale");
    }
  }

  // Drops the entries older than the oldest scan kept.
  forget(oldest) {
    let cut = 0;
    while (cut < this.journal.length && this.journal[cut].time < oldest) {
      cut++;
    }
    if (cut) {
      this.journal.splice(0, cut);
      this.render();
    }
  }

  render() {
    const at = now();
    const rows = [];
    for (let k = this.journal.length - 1; k >= 0 && rows.length < 1000; k--) {
      rows.push(this.row(this.journal[k], at));
    }
    this.journalBody.replaceChildren(...rows);
  }

  row(entry, at) {
    const tr = document.createElement("tr");
    const recent = at - entry.time < RECENT_MS;
    tr.className = recent ? "recent" : "";
    const time = document.createElement("td");
    time.textContent = dateTime(entry.time) + (recent ? " · " + t("recent") : "");
    const bit = document.createElement("th");
    bit.scope = "row";
    const change = document.createElement("td");
    if (entry.label) {
      bit.textContent = entry.label;
      change.textContent = entry.text;
      tr.classList.add("note");
    } else {
      const m = this.meanings[entry.bit];
      bit.textContent = this.names[entry.bit] || String(entry.bit);
      change.textContent = stateWords(m, entry.from) + " → " + stateWords(m, entry.to);
      tr.classList.toggle("raised", this.raised(entry.bit, entry.to));
    }
    tr.append(time, bit, change);
    return tr;
  }

  // Once a second: the last minute's changes lose their mark when it passes.
  tick() {
    const at = now();
    const marked = this.journalBody.querySelectorAll("tr.recent").length;
    let recent = 0;
    for (let k = this.journal.length - 1; k >= 0 && at - this.journal[k].time < RECENT_MS; k--) {
      recent++;
    }
    if (marked !== recent) {
      this.render();
    }
  }
}
