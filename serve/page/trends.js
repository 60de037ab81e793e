// The trends: four charts (the AC voltages, the DC voltages, the currents, the
// temperature), each on its own axis, sharing one time range. The view is a
// span of time ending at the newest scan (live) or at a fixed time; zooming
// and panning by mouse, touch (dygraphs' own), buttons and keys all change
// that view, and the rows are thinned again for it. Live, the charts are
// drawn again at most once a second: more often no one can read them.
import { chartRows } from "./series.js";
import { t } from "./i18n.js";
import { axisLabel, dateTime, paced } from "./clock.js";
import { Legend } from "./legend.js";

const GROUPS = [
  { key: "acVoltages", cols: [0, 1, 2] },
  { key: "voltages", cols: [3, 4, 6] },
  { key: "currents", cols: [5, 7] },
  { key: "temperature", cols: [8] },
];
const COLORS = ["#1f77b4", "#d62728", "#2ca02c"];
const DRAW_MS = 1000;

// A colour of the page's theme (page.css), for what dygraphs draws itself.
function themed(name) {
  return getComputedStyle(document.documentElement).getPropertyValue(name).trim();
}

export class Trends {
  constructor(container, store) {
    this.store = store;
    this.container = container;
    this.gapMs = Infinity;
    this.view = { span: 0, end: null };  // span 0: everything kept; end null: live
    this.charts = [];
    this.syncing = false;
    this.rethinTimer = 0;
    // New scans go to the charts at most once a second.
    this.scanned = paced(() => this.appendNewest(), DRAW_MS);
    this.drawnAt = -Infinity;  // the newest scan drawn
    this.onView = () => {};
    // Where alarms started and ended: [{time (ms), start (true) or end}].
    this.marks = () => [];
    matchMedia("(prefers-color-scheme: dark)").addEventListener("change", () => this.retheme());
  }

  // Builds the charts once the names are known (from the history's header).
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
      const seriesNames = group.cols.map((c) => names[c]);
      plot.setAttribute("aria-label", t(group.key) + ": " + seriesNames.join(", "));
      plot.setAttribute("aria-describedby", "chart-hint");
      const side = document.createElement("div");
      side.className = "chart-legend";
      figure.append(caption, plot, side);
      this.container.append(figure);
      plot.addEventListener("keydown", (e) => this.key(e));
      const c = { group, plot, box: figure, labels: ["time"].concat(seriesNames), g: null,
        inSight: true, behind: false };
      c.legend = new Legend(side, t(group.key), group.cols, seriesNames, COLORS,
        (k, shown) => c.g && c.g.setVisibility(k, shown));
      this.charts.push(c);
    }
    this.watchSight();
  }

  // The chart made with its first rows: drawn once, not first empty.
  chart(c, range) {
    // Times as numbers (ms), shown in the server's zone: the ticks fall on
    // UTC's hours and minutes, which are the zone's too.
    const g = new Dygraph(c.plot, this.data(c, range), {
      labels: c.labels, legend: "never", dateWindow: range,
      colors: COLORS.slice(0, c.group.cols.length), connectSeparatedPoints: false,
      strokeWidth: 1.2, ylabel: t(c.group.key), axisLabelWidth: 54, xAxisHeight: 22,
      labelsKMB: false, digitsAfterDecimal: 1, animatedZooms: false, labelsUTC: true,
      axisLineColor: themed("--muted"), gridLineColor: themed("--line"),
      axes: { x: { axisLabelWidth: 64, pixelsPerLabel: 80, ticker: Dygraph.dateTicker,
                   axisLabelFormatter: (d) => axisLabel(+d),
                   valueFormatter: (ms) => dateTime(ms) } },
      highlightCallback: (e, x) => c.legend.hover(this.store, x),
      unhighlightCallback: () => c.legend.unhover(),
      zoomCallback: () => this.zoomedBy(g),
      drawCallback: (me, initial) => !initial && this.drawn(me),
      underlayCallback: (ctx, area, me) => this.drawMarks(ctx, area, me),
    });
    return g;
  }

  // A line where an alarm started (solid, the alarm's colour) or ended
  // (dashed, the normal colour), under the curves.
  drawMarks(ctx, area, g) {
    const [x0, x1] = g.xAxisRange();
    for (const m of this.marks()) {
      if (m.time < x0 || m.time > x1) {
        continue;
      }
      const x = Math.round(g.toDomXCoord(m.time)) + 0.5;
      ctx.save();
      ctx.strokeStyle = themed(m.start ? "--bad" : "--ok");
      ctx.lineWidth = 2;
      ctx.setLineDash(m.start ? [] : [4, 3]);
      ctx.beginPath();
      ctx.moveTo(x, area.y);
      ctx.lineTo(x, area.y + area.h);
      ctx.stroke();
      ctx.restore();
    }
  }

  retheme() {
    for (const c of this.charts) {
      if (c.g) {
        c.g.updateOptions({ axisLineColor: themed("--muted"), gridLineColor: themed("--line") });
      }
    }
  }

  // The range the view shows now, in ms: never before the oldest scan held,
  // so that "1 h" over ten minutes of scans is not mostly blank.
  window() {
    const first = this.store.first();
    const end = this.view.end === null ? this.store.last() : this.view.end;
    const start = this.view.span ? Math.max(end - this.view.span, first) : first;
    return [start, Math.max(end, start + 1000)];
  }

  // Thins the rows for the view (a span either side too, for panning) and
  // draws all the charts.
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
    }
    this.drawAll([t0, t1]);
    this.onView();
  }

  // The charts first, then the legends: dygraphs reads the layout as it
  // draws, and a legend written between two charts would make the browser
  // lay the page out again for each.
  // A chart scrolled out of sight is not drawn (each drawing costs dygraphs
  // several layouts of the page); it is drawn as it comes into sight.
  drawAll(range) {
    const shown = this.charts.filter((c) => c.inSight || !c.g);
    this.syncing = true;
    for (const c of this.charts) {
      c.behind = !shown.includes(c);
    }
    for (const c of shown) {
      if (c.g) {
        c.g.updateOptions({ file: this.data(c, range), dateWindow: range });
      } else {
        c.g = this.chart(c, range);
      }
    }
    this.syncing = false;
    for (const c of shown) {
      c.legend.update(this.store, range[0], range[1]);
    }
    this.drawnAt = this.store.last();
  }

  // Follows which charts are in sight.
  watchSight() {
    const seen = new IntersectionObserver((entries) => {
      for (const e of entries) {
        const c = this.charts.find((x) => x.box === e.target);
        c.inSight = e.isIntersecting;
        if (c.inSight && c.behind && c.g) {
          const range = this.window();
          c.behind = false;
          this.syncing = true;
          c.g.updateOptions({ file: this.data(c, range), dateWindow: range });
          this.syncing = false;
          c.legend.update(this.store, range[0], range[1]);
        }
      }
    });
    for (const c of this.charts) {
      seen.observe(c.box);
    }
  }

  // The rows, or one empty row while there is none (dygraphs needs one).
  data(c, range) {
    return c.rows.length ? c.rows : [[range[1], ...c.group.cols.map(() => null)]];
  }

  // New scans (already in the store): their rows go to the end of each
  // chart; the charts are thinned afresh once that has grown them by a
  // tenth. Drawn again once the newest scan is a pixel's time past the last
  // drawing, and only while the view is live.
  appendNewest() {
    const s = this.store;
    if (this.view.end !== null || !this.charts.length || !this.charts[0].rows) {
      return;
    }
    for (const c of this.charts) {
      if (c.appended > c.rows.length / 10) {
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
    if (s.last() - this.drawnAt < pixelMs) {
      return;
    }
    this.drawAll(range);
    this.onView();
  }

  // A drag zoom or a double click in one chart: the view for all of them.
  zoomedBy(g) {
    if (this.syncing) {
      return;
    }
    if (!g.isZoomed("x")) {
      this.view = { span: 0, end: null };
      this.refresh();
    } else {
      const [a, b] = g.xAxisRange();
      this.setWindow(a, b);
    }
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
    this.syncing = true;
    for (const c of this.charts) {
      if (c.g && c.g !== g) {
        c.g.updateOptions({ dateWindow: [a, b] });
      }
    }
    this.syncing = false;
    clearTimeout(this.rethinTimer);
    this.rethinTimer = setTimeout(() => this.setWindow(a, b), 200);
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

  // A window from a to b (ms). One that reaches the newest scan is live; one
  // that holds everything is "all, live"; one before the oldest scan is moved
  // to start there. Never a fixed view that looks live.
  setWindow(a, b) {
    const last = this.store.last();
    const first = this.store.first();
    const span = Math.max(1000, b - a);
    if (b >= last) {
      this.view = { span: a <= first ? 0 : span, end: null };
    } else if (a <= first && first + span >= last) {
      this.view = { span: 0, end: null };
    } else {
      this.view = { span, end: Math.max(b, first + span) };
    }
    this.refresh();
  }

  // A fixed range from the address or the picker.
  showRange(a, b) {
    this.view = { span: Math.max(1000, b - a), end: b };
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
