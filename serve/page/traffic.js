// The traffic: the last 200 frames, request and reply, as hex with their
// times, newest first, and after a failed exchange the diagnosis in
// k40ctl's own words. Pausable: frames go on arriving, the table holds still.
import { t } from "./i18n.js";
import { clock } from "./api.js";

const MOST_FRAMES = 200;

export class Traffic {
  constructor(body, button, note) {
    this.body = body;
    this.button = button;
    this.note = note;
    this.entries = [];  // {time, kind: "request"|"reply"|"diagnosis", text}, oldest first
    this.paused = false;
    this.unseen = 0;
    button.addEventListener("click", () => this.setPaused(!this.paused));
  }

  setPaused(paused) {
    this.paused = paused;
    this.button.setAttribute("aria-pressed", String(paused));
    this.unseen = 0;
    this.note.textContent = "";
    if (!paused) {
      this.render();
    }
  }

  frame(f) {
    this.push({ time: Date.parse(f.time), kind: f.direction, text: f.hex || "—" });
  }

  // A failed scan: what the line showed, after its frames.
  failure(r) {
    if (r.outcome === "reply" || !r.diagnosis) {
      return;
    }
    const text = r.outcome === "exception" && r.exception
      ? r.exception.code + " " + r.exception.name
      : r.diagnosis.text;
    this.push({ time: Date.parse(r.time), kind: "diagnosis", text });
  }

  push(entry) {
    this.entries.push(entry);
    let frames = 0;
    let cut = this.entries.length;
    while (cut > 0 && frames < MOST_FRAMES) {
      cut--;
      if (this.entries[cut].kind !== "diagnosis") {
        frames++;
      }
    }
    if (cut > 0) {
      this.entries.splice(0, cut);
    }
    if (this.paused) {
      this.unseen++;
      this.note.textContent = t("paused", this.unseen);
      return;
    }
    this.body.prepend(this.row(entry));
    while (this.body.rows.length > this.entries.length) {
      this.body.deleteRow(-1);
    }
  }

  // The frames the server held when the page opened, before those that came
  // since (the event stream opened first: a frame may come both ways).
  seed(frames) {
    const key = (e) => e.time + e.kind + e.text;
    const have = new Set(this.entries.map(key));
    const older = frames.map((f) => ({ time: Date.parse(f.time), kind: f.direction, text: f.hex || "—" }))
      .filter((e) => !have.has(key(e)));
    this.entries = older.concat(this.entries).sort((a, b) => a.time - b.time)
      .slice(-MOST_FRAMES);
    this.render();
  }

  // The diagnoses of earlier failures (JSON Lines records) among the frames
  // first read, each after the frames that came before it.
  merge(records) {
    const first = this.entries.length ? this.entries[0].time : Infinity;
    for (const r of records) {
      const time = Date.parse(r.time);
      if (r.outcome !== "reply" && r.diagnosis && time >= first) {
        this.entries.push({ time, kind: "diagnosis", text: r.diagnosis.text });
      }
    }
    this.entries.sort((a, b) => a.time - b.time);
    this.render();
  }

  render() {
    if (this.paused) {
      return;
    }
    const rows = [];
    for (let k = this.entries.length - 1; k >= 0; k--) {
      rows.push(this.row(this.entries[k]));
    }
    this.body.replaceChildren(...rows);
  }

  row(e) {
    const tr = document.createElement("tr");
    tr.className = e.kind;
    const time = document.createElement("td");
    time.textContent = clock(e.time) + "." + String(e.time % 1000).padStart(3, "0");
    const kind = document.createElement("td");
    kind.textContent = e.kind === "diagnosis" ? "!" : t(e.kind);
    const text = document.createElement("td");
    text.className = e.kind === "diagnosis" ? "diagnosis" : "hex";
    text.textContent = e.text;
    tr.append(time, kind, text);
    return tr;
  }
}
