// The trends: three charts (voltages, currents, the temperature), each on its
// own axis, sharing one time range. The view is a span of time ending at the
// newest scan (live) or at a fixed time; zooming and panning by mouse, touch
// (dygraphs' own), buttons and keys all change that view, and the rows are
// thinned again for it.
import { chartRows } from "./series.js";
import { t } from "./i18n.js";

const GROUPS = [
  { key: "voltages", cols: [0, 1, 2, 3, 4, 6] },
  { key: "currents", cols: [5, 7] },
  { key: "temperature", cols: [8] },
];
const COLORS = ["#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#8c564b", "#e377c2"];

export class Trends {
  constructor(container, store) {
    this.store = store;
    this.container = container;
    this.gapMs = 1500;
    this.view = { span: 0, end: null };  // span 0: everything kept
    this.charts = [];
    this.syncing = false;
    this.rethinTimer = 0;
    this.pending = false;
    this.drawnAt = -Infinity;
  }

  // Builds the charts once the names are known (from the first readings).
  build(names) {
    for (const group of GROUPS) {
      const figure = document.createElement("figure");
      figure.className = "chart-box";
      const caption = document.createElement("figcaption");
      caption.textContent = t(group.key);
      const plot = document.createElement("div");
      plot.className = "chart " + group.key;
      plot.tabIndex = 0;
      plot.setAttribute("role", "img");
      plot.setAttribute("aria-label", t(group.key) + ": " + group.cols.map((c) => names[c]).join(", "));
      plot.setAttribute("aria-describedby", "chart-hint");
      const legend = document.createElement("div");
      legend.className = "chart-legend";
      figure.append(caption, legend, plot);
      this.container.append(figure);
      plot.addEventListener("keydown", (e) => this.key(e));
      const labels = ["time"].concat(group.cols.map((c) => names[c]));
      this.charts.push({ group, plot, legend, labels, g: null });
    }
  }

  // The chart made with its first rows: drawn once, not first empty.
  chart(c, range) {
    // Times as numbers (ms), shown as dates: no Date object a row.
    const g = new Dygraph(c.plot, this.data(c, range), {
      labels: c.labels, labelsDiv: c.legend, legend: "always", labelsSeparateLines: false,
      dateWindow: range,
      colors: COLORS.slice(0, c.group.cols.length), connectSeparatedPoints: false,
      strokeWidth: 1.2, ylabel: t(c.group.key), axisLabelWidth: 54, xAxisHeight: 22,
      labelsKMB: false, digitsAfterDecimal: 1, animatedZooms: false,
      axes: { x: { axisLabelWidth: 64, pixelsPerLabel: 80, ticker: Dygraph.dateTicker,
                   axisLabelFormatter: Dygraph.dateAxisLabelFormatter,
                   valueFormatter: Dygraph.dateValueFormatter } },
      zoomCallback: () => this.zoomedBy(g),
      drawCallback: (me, initial) => !initial && this.drawn(me),
    });
    return g;
  }

  // The range the view shows now, in ms.
  window() {
    const last = this.store.last();
    const end = this.view.end === null ? last : this.view.end;
    const start = this.view.span ? end - this.view.span : this.store.first();
    return [start, Math.max(end, start + 1000)];
  }

  // Thins the rows for the view (a span either side too, for panning) and
  // draws all three charts.
  refresh() {
    if (!this.charts.length || !this.store.length) {
      return;
    }
    const [t0, t1] = this.window();
    const pad = this.view.span ? t1 - t0 : 0;
    for (const c of this.charts) {
      // The plot's width: the chart's less its axis, before the chart exists.
      const width = Math.max(100, c.g ? c.g.getArea().w : c.plot.clientWidth - 80);
      c.rows = chartRows(this.store, c.group.cols, t0 - pad, t1 + pad, width, this.gapMs);
      c.width = width;
      c.appended = 0;
      this.draw(c, [t0, t1]);
    }
    this.drawnAt = this.store.last();
  }

  draw(c, range) {
    this.syncing = true;
    if (c.g) {
      c.g.updateOptions({ file: this.data(c, range), dateWindow: range });
    } else {
      c.g = this.chart(c, range);
    }
    this.syncing = false;
  }

  // The rows, or one empty row while there is none (dygraphs needs one).
  data(c, range) {
    return c.rows.length ? c.rows : [[range[1], ...c.group.cols.map(() => null)]];
  }

  // A new scan (already in the store): its row goes to the end of each
  // chart; the charts are thinned afresh once that has grown them by a tenth.
  scanned() {
    if (this.pending) {
      return;
    }
    this.pending = true;
    requestAnimationFrame(() => {
      this.pending = false;
      this.appendNewest();
    });
  }

  // Drawn again once the newest scan is a pixel's time past the last drawing
  // (every scan in a short view; about once a minute in a day's), and only
  // while the view follows the newest scan.
  appendNewest() {
    const s = this.store;
    for (const c of this.charts) {
      if (!c.rows || c.appended > c.rows.length / 10) {
        this.refresh();
        return;
      }
    }
    for (const c of this.charts) {
      const lastRow = c.rows.length ? c.rows[c.rows.length - 1][0] : -Infinity;
      const from = Number.isFinite(lastRow) ? lastRow : s.first();
      const fresh = chartRows(s, c.group.cols, from, s.last() + 1, c.width, this.gapMs)
        .filter((row) => row[0] > lastRow);
      c.rows.push(...fresh);
      c.appended += fresh.length;
    }
    const range = this.window();
    const pixelMs = (range[1] - range[0]) / this.charts[0].width;
    if (this.view.end === null && s.last() - this.drawnAt >= pixelMs) {
      this.drawnAt = s.last();
      for (const c of this.charts) {
        this.draw(c, range);
      }
    }
  }

  // A drag zoom or a double click in one chart: the view for all of them.
  zoomedBy(g) {
    if (this.syncing) {
      return;
    }
    if (!g.isZoomed("x")) {
      this.view = { span: 0, end: null };
    } else {
      const [a, b] = g.xAxisRange();
      this.view = { span: b - a, end: b >= this.store.last() ? null : b };
    }
    this.refresh();
  }

  // A pan in one chart: the others follow at once, the rows a moment later.
  drawn(g) {
    if (this.syncing) {
      return;
    }
    const [a, b] = g.xAxisRange();
    const [w0, w1] = this.window();
    if (Math.abs(a - w0) < 1 && Math.abs(b - w1) < 1) {
      return;
    }
    this.view = { span: b - a, end: b >= this.store.last() ? null : b };
    this.syncing = true;
    for (const c of this.charts) {
      if (c.g && c.g !== g) {
        c.g.updateOptions({ dateWindow: [a, b] });
      }
    }
    this.syncing = false;
    clearTimeout(this.rethinTimer);
    this.rethinTimer = setTimeout(() => this.refresh(), 200);
  }

  // The toolbar: a span ending now (0: everything), a zoom factor, a pan by
  // a fraction of the span.
  showSpan(seconds) {
    this.view = { span: seconds * 1000, end: null };
    this.refresh();
  }

  zoom(factor) {
    const [a, b] = this.window();
    const span = Math.max(2000, (b - a) * factor);
    const mid = this.view.end === null ? b - span / 2 : (a + b) / 2;
    this.setWindow(mid - span / 2, mid + span / 2);
  }

  pan(fraction) {
    const [a, b] = this.window();
    const step = (b - a) * fraction;
    this.setWindow(a + step, b + step);
  }

  setWindow(a, b) {
    const last = this.store.last();
    const first = this.store.first();
    if (b >= last) {
      this.view = { span: b - a, end: null };
    } else {
      const span = b - a;
      const end = Math.max(b, first + span);
      this.view = { span, end };
    }
    if (this.view.span >= last - first && this.view.end === null) {
      this.view.span = 0;
    }
    this.refresh();
  }

  key(e) {
    const actions = {
      ArrowLeft: () => this.pan(-0.25), ArrowRight: () => this.pan(0.25),
      "+": () => this.zoom(0.5), "=": () => this.zoom(0.5), "-": () => this.zoom(2),
      Home: () => this.showSpan(0), End: () => this.pan(1e9),
    };
    const action = actions[e.key];
    if (action) {
      e.preventDefault();
      action();
    }
  }
}
