// The traffic: the last 200 frames as exchanges, newest first, each with its
// request, then its reply, then (after a failure) the diagnosis in the page's
// language. An exchange is a <tbody> of its own, so a reply or a diagnosis
// that comes later joins its exchange without the rows being made again; what
// arrived is drawn in an animation frame, at most once a second. Pausable:
// frames go on arriving, the table holds still.
import { t } from "./i18n.js";
import { clockMs, paced } from "./clock.js";
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
    this.later = paced(() => this.render());
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
    this.place(item);
    if (this.paused) {
      this.unseen++;
      this.note.textContent = t("paused", this.unseen);
      return;
    }
    this.later();
  }

  place(item) {
    const newest = this.exchanges[this.exchanges.length - 1];
    // A reply answers the newest request; a diagnosis (stamped with its
    // scan's start) closes the newest exchange when that began in the scan.
    const joins = newest && (item.kind === "reply" ? !newest.items.some((i) => i.kind === "reply")
      : item.kind === "diagnosis" && newest.time >= item.time - 1);
    if (joins) {
      newest.items.push(item);
      newest.drawn = false;
    } else {
      this.exchanges.push({ time: item.time, items: [item], body: null, drawn: false });
    }
    if (item.kind !== "diagnosis") {
      this.frames++;
    }
    this.trim();
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

  // The frames the server held when the page opened, with those that came
  // since (the event stream opened first: a frame may come both ways), made
  // into exchanges again in time order; then the diagnoses of the failures
  // among them (JSON Lines records of the same stretch, and those that came
  // as events), each joining the last exchange of its scan, before the next
  // scan began.
  seed(frames, records) {
    const key = (i) => i.time + i.kind + i.text;
    const items = new Map();
    const diagnoses = [];
    for (const e of this.exchanges) {
      if (e.body) {
        e.body.remove();
      }
      for (const i of e.items) {
        if (i.kind === "diagnosis") {
          diagnoses.push(i);
        } else {
          items.set(key(i), i);
        }
      }
    }
    for (const f of frames) {
      const i = { time: Date.parse(f.time), kind: f.direction, text: f.hex || "—" };
      items.set(key(i), i);
    }
    this.exchanges = [];
    this.frames = 0;
    [...items.values()].sort((a, b) => a.time - b.time).forEach((i) => this.place(i));
    const failures = records.filter((r) => r.outcome !== "reply")
      .map((r) => ({ time: Date.parse(r.time), kind: "diagnosis", text: failureWords(r) }));
    const known = new Set(failures.map((d) => d.time));
    const scans = records.map((r) => Date.parse(r.time))
      .concat(diagnoses.map((d) => d.time)).sort((a, b) => a - b);
    for (const d of failures.concat(diagnoses.filter((x) => !known.has(x.time)))) {
      const next = scans.find((s) => s > d.time);
      const ofScan = this.exchanges.filter((e) => e.time >= d.time - 1 && !(e.time >= next));
      if (ofScan.length) {
        ofScan[ofScan.length - 1].items.push(d);
      }
    }
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
