// The traffic: the last 200 frames as exchanges, newest first, each with its
// request, then its reply, then (after a failure) the diagnosis in the page's
// language. An exchange is a <tbody> of its own, so a reply or a diagnosis
// that comes later joins its exchange without the rows being made again; what
// arrived is drawn once an animation frame. Pausable: frames go on arriving,
// the table holds still.
import { t } from "./i18n.js";
import { clockMs } from "./clock.js";
import { failureWords } from "./findings.js";

const MOST_FRAMES = 200;

export class Traffic {
  constructor(table, button, note) {
    this.table = table;
    this.button = button;
    this.note = note;
    this.exchanges = [];  // {time, items: [{time, kind, text}], body, drawn}, oldest first
    this.frames = 0;
    this.paused = false;
    this.unseen = 0;
    this.pending = false;
    button.addEventListener("click", () => this.setPaused(!this.paused));
  }

  setPaused(paused) {
    this.paused = paused;
    this.button.setAttribute("aria-pressed", String(paused));
    this.unseen = 0;
    this.note.textContent = "";
    if (!paused) {
      this.later();
    }
  }

  frame(f) {
    this.add({ time: Date.parse(f.time), kind: f.direction, text: f.hex || "—" });
  }

  // A failed scan (its event comes after its frames): its diagnosis closes
  // the newest exchange, when that one belongs to the scan.
  failure(r) {
    if (r.outcome === "reply" || !r.time || (!r.diagnosis && !r.exception)) {
      return;
    }
    this.add({ time: Date.parse(r.time), kind: "diagnosis", text: failureWords(r) });
  }

  add(item) {
    const newest = this.exchanges[this.exchanges.length - 1];
    if (item.kind !== "request" && newest && newest.time >= item.time - 1) {
      newest.items.push(item);
      newest.drawn = false;
    } else {
      this.exchanges.push({ time: item.time, items: [item], body: null, drawn: false });
    }
    if (item.kind !== "diagnosis") {
      this.frames++;
    }
    this.trim();
    if (this.paused) {
      this.unseen++;
      this.note.textContent = t("paused", this.unseen);
      return;
    }
    this.later();
  }

  // The oldest exchanges go once more than MOST_FRAMES frames are held.
  trim() {
    while (this.frames > MOST_FRAMES && this.exchanges.length > 1) {
      const old = this.exchanges.shift();
      this.frames -= old.items.filter((i) => i.kind !== "diagnosis").length;
      if (old.body) {
        old.body.remove();
      }
    }
  }

  later() {
    if (!this.pending) {
      this.pending = true;
      requestAnimationFrame(() => {
        this.pending = false;
        this.render();
      });
    }
  }

  // The frames the server held when the page opened, with the diagnoses of
  // the failures among them (JSON Lines records of the same stretch): each
  // diagnosis joins the last exchange of its scan, before the next scan began.
  seed(frames, records) {
    const have = new Set(this.exchanges.flatMap((e) => e.items).map((i) => i.time + i.kind));
    const live = this.exchanges;
    this.exchanges = [];
    this.frames = 0;
    for (const f of frames) {
      if (!have.has(Date.parse(f.time) + f.direction)) {
        this.frame(f);
      }
    }
    const first = this.exchanges.length ? this.exchanges[0].time : Infinity;
    records.forEach((r, k) => {
      const start = Date.parse(r.time);
      const next = k + 1 < records.length ? Date.parse(records[k + 1].time) : Infinity;
      const ofScan = this.exchanges.filter((e) => e.time >= start - 1 && e.time < next);
      const text = r.outcome !== "reply" && start >= first ? failureWords(r) : "";
      if (text && ofScan.length) {
        ofScan[ofScan.length - 1].items.push({ time: start, kind: "diagnosis", text });
      }
    });
    for (const e of live) {
      this.exchanges.push(e);
      this.frames += e.items.filter((i) => i.kind !== "diagnosis").length;
    }
    for (const e of this.exchanges) {
      if (e.body) {
        e.body.remove();
      }
      e.body = null;
      e.drawn = false;
    }
    this.trim();
    this.render();
  }

  render() {
    if (this.paused) {
      return;
    }
    let above = null;  // the body of the exchange after (newer than) this one
    for (let k = this.exchanges.length - 1; k >= 0; k--) {
      const e = this.exchanges[k];
      if (!e.body) {
        e.body = document.createElement("tbody");
        this.table.insertBefore(e.body, above ? above.nextSibling : this.table.tBodies[0] || null);
      }
      if (e.drawn) {
        break;  // it and all older ones are drawn and in place
      }
      e.body.replaceChildren(...e.items.map((i) => this.row(i)));
      e.drawn = true;
      above = e.body;
    }
  }

  row(e) {
    const tr = document.createElement("tr");
    tr.className = e.kind;
    const time = document.createElement("td");
    time.textContent = clockMs(e.time);
    const kind = document.createElement("td");
    kind.textContent = e.kind === "diagnosis" ? "!" : t(e.kind);
    const text = document.createElement("td");
    text.className = e.kind === "diagnosis" ? "diagnosis" : "hex";
    text.textContent = e.text;
    tr.append(time, kind, text);
    return tr;
  }
}
