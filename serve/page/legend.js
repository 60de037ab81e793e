// Beside each chart: the hover readout (the time of the scan nearest the
// pointer and each of its values) and a table of the series with min, max,
// mean and last over the range shown, each series' row with a button that
// shows or hides it in the chart (by mouse or keyboard). Statistics come from
// every scan in the range, not from the chart's thinned rows.
import { t } from "./i18n.js";
import { setText } from "./api.js";
import { dateTime } from "./clock.js";
import { columnStats, nearest } from "./series.js";

const STATS = ["min", "max", "mean", "last"];
const STAT_KEYS = { min: "statMin", max: "statMax", mean: "statMean", last: "statLast" };

const fixed = (v) => (v === null || v === undefined || v !== v ? "–" : v.toFixed(1));

function cell(tag, text, className) {
  const c = document.createElement(tag);
  c.textContent = text;
  if (className) {
    c.className = className;
  }
  return c;
}

export class Legend {
  // cols: the store's columns; names, colors: theirs; onToggle(k, shown).
  constructor(box, title, cols, names, colors, onToggle) {
    this.cols = cols;
    this.names = names;
    this.readout = cell("p", "", "readout");
    this.readout.dataset.empty = "1";
    const table = document.createElement("table");
    table.className = "stats";
    table.append(cell("caption", t("statsOf", title), "sr-only"));
    const head = document.createElement("tr");
    head.append(cell("th", t("series")), ...STATS.map((s) => cell("th", t(STAT_KEYS[s]), "num")));
    head.querySelectorAll("th").forEach((th) => (th.scope = "col"));
    table.createTHead().append(head);
    const body = table.createTBody();
    this.rows = cols.map((c, k) => {
      const tr = document.createElement("tr");
      const th = document.createElement("th");
      th.scope = "row";
      const b = document.createElement("button");
      b.type = "button";
      b.className = "series";
      b.setAttribute("aria-pressed", "true");
      b.title = t("toggleSeries", names[k]);
      const swatch = cell("span", "", "swatch");
      swatch.style.background = colors[k];
      b.append(swatch, document.createTextNode(names[k]));
      b.addEventListener("click", () => {
        const shown = b.getAttribute("aria-pressed") !== "true";
        b.setAttribute("aria-pressed", String(shown));
        onToggle(k, shown);
      });
      th.append(b);
      const cells = STATS.map((s) => cell("td", "–", "num " + s));
      tr.append(th, ...cells);
      body.append(tr);
      return cells;
    });
    box.append(this.readout, table);
  }

  // The statistics over t0..t1.
  update(store, t0, t1) {
    this.cols.forEach((c, k) => {
      const s = columnStats(store, c, t0, t1);
      STATS.forEach((name, j) => setText(this.rows[k][j], fixed(s[name])));
    });
  }

  // The scan nearest the pointer at ms: its time and values.
  hover(store, ms) {
    const i = nearest(store, ms);
    if (i < 0) {
      return;
    }
    const parts = this.cols.map((c, k) => this.names[k] + " " + fixed(store.v[c][i]));
    setText(this.readout, dateTime(store.t[i]) + " · " + parts.join(" · "));
    this.readout.dataset.empty = "0";
  }

  unhover() {
    setText(this.readout, "");
    this.readout.dataset.empty = "1";
  }
}
