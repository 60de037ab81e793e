// serve's history as CSV (k40ctl's layout: time, outcome, exception, the nine
// measurements, the fifteen bits), read into the store as it arrives, piece
// by piece. Read in place, character by character where it counts: a day of
// scans is 86 400 lines, and the page should show them within a second.
import { NAMES_COUNT } from "./series.js";

export class CsvReader {
  // onBits(time, bits): each reply whose bits differ from the reply before,
  // for the journal.
  constructor(store, onBits) {
    this.store = store;
    this.onBits = onBits;
    this.rest = "";
    this.header = null;
    this.values = new Array(NAMES_COUNT);
    this.lastBits = "";
  }

  // The next piece of text; lines cut by its end wait for the next.
  push(piece) {
    const text = this.rest + piece;
    const cut = text.lastIndexOf("\n") + 1;
    this.rest = text.slice(cut);
    let pos = 0;
    if (this.header === null && cut > 0) {
      pos = text.indexOf("\n") + 1;
      this.header = text.slice(0, pos).replace(/\r?\n$/, "").split(",");
    }
    this.lines(text, pos, cut);
  }

  end() {
    if (this.rest) {
      this.push("\n");
    }
  }

  lines(text, pos, stop) {
    while (pos < stop) {
      const end = text.indexOf("\n", pos);
      const lineEnd = text.charCodeAt(end - 1) === 13 ? end - 1 : end;
      const comma = text.indexOf(",", pos);
      if (comma > 0 && comma < lineEnd) {
        this.line(text, pos, comma, lineEnd);
      }
      pos = end + 1;
    }
  }

  line(text, pos, comma, lineEnd) {
    const time = timeAt(text, pos, comma);
    if (!text.startsWith("reply,", comma + 1)) {
      this.store.add(time, null);
      return;
    }
    let p = text.indexOf(",", comma + 7) + 1;  // past the exception, empty for a reply
    for (let c = 0; c < NAMES_COUNT; c++) {
      const q = text.indexOf(",", p);
      const stop = q < 0 || q > lineEnd ? lineEnd : q;
      this.values[c] = decimal(text, p, stop);
      p = stop + 1;
    }
    const added = this.store.add(time, this.values);
    const same = p + this.lastBits.length === lineEnd && text.startsWith(this.lastBits, p);
    if (added && this.onBits && !same) {
      this.lastBits = text.slice(p, lineEnd);
      this.onBits(time, this.lastBits.split(",").map(Number));
    }
  }
}

// A number as k40ctl writes it ("-12.5") from text[p..stop), without making
// a string of it; anything else through Number.
function decimal(text, p, stop) {
  const start = p;
  let sign = 1;
  let v = 0;
  let scale = 1;
  let point = false;
  if (text.charCodeAt(p) === 45) {
    sign = -1;
    p++;
  }
  if (p >= stop) {
    return NaN;
  }
  for (; p < stop; p++) {
    const c = text.charCodeAt(p);
    if (c === 46 && !point) {
      point = true;
    } else if (c >= 48 && c <= 57) {
      v = v * 10 + (c - 48);
      if (point) {
        scale *= 10;
      }
    } else {
      return Number(text.slice(start, stop));
    }
  }
  return (sign * v) / scale;  // exact integers, one rounding: as Number() rounds
}

// ISO 8601 times as serve writes them ("2026-12-08T14:03:12.123+08:00"): the
// minute and the offset parsed once while they stay the same, the seconds
// and milliseconds added; anything else by Date.parse.
let minute = "";
let zone = "";
let minuteMs = NaN;
function timeAt(text, pos, end) {
  if (end - pos !== 29 || text.charCodeAt(pos + 19) !== 46) {
    return Date.parse(text.slice(pos, end));
  }
  if (!text.startsWith(minute, pos) || !text.startsWith(zone, pos + 23) || !minute) {
    minute = text.slice(pos, pos + 16);
    zone = text.slice(pos + 23, end);
    minuteMs = Date.parse(minute + ":00.000" + zone);
  }
  const d = (k) => text.charCodeAt(pos + k) - 48;
  return minuteMs + (d(17) * 10 + d(18)) * 1000 + d(20) * 100 + d(21) * 10 + d(22);
}

// A time as serve writes it, in ms since the epoch.
export function parseTime(text) {
  return timeAt(text, 0, text.length);
}
