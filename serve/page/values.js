// The nine measurements: name, value, physical unit as k40ctl's outputs give
// them, and the change since the previous scan. Values of a failed scan are
// never shown as current: the last good ones stay, marked stale with their age.
import { t } from "./i18n.js";
import { setText } from "./api.js";
import { age, now } from "./clock.js";

export class Values {
  constructor(body) {
    this.body = body;
    this.rows = [];
    this.previous = null;  // the values of the scan before the last good one
    this.current = null;
    this.goodAt = 0;
  }

  build(values) {
    this.body.textContent = "";
    this.rows = values.slice(0, 9).map((v) => {
      const tr = document.createElement("tr");
      const th = document.createElement("th");
      th.scope = "row";
      th.textContent = v.name;
      const value = document.createElement("td");
      value.className = "num";
      const number = document.createElement("span");
      const old = document.createElement("span");
      old.className = "age";
      value.append(number, old);
      const unit = document.createElement("td");
      unit.textContent = v.unit;
      const change = document.createElement("td");
      change.className = "num";
      tr.append(th, value, unit, change);
      this.body.append(tr);
      return { tr, value, number, old, unit, change };
    });
  }

  // The readings of one scan (a scan event or /api/v1/readings).
  show(r) {
    const good = r.outcome === "reply";
    if (good) {
      const values = r.values.slice(0, 9);
      if (!this.rows.length) {
        this.build(values);
      }
      const time = Date.parse(r.time);
      if (time !== this.goodAt) {
        this.previous = this.current;
        this.current = values;
        this.goodAt = time;
      }
    }
    this.render(!good);
  }

  // The last good scan's record (from the history) for a page opened while
  // the unit does not answer: its values, stale.
  seed(record) {
    if (!this.current && record && record.outcome === "reply") {
      this.show(record);
      this.render(true);
    }
  }

  render(stale) {
    if (!this.current) {
      return;
    }
    const old = stale ? t("stale", age(now() - this.goodAt)) : "";
    this.current.forEach((v, i) => {
      const row = this.rows[i];
      if (row.tr.dataset.stale !== (stale ? "1" : "0")) {
        row.tr.classList.toggle("stale", stale);
        row.tr.dataset.stale = stale ? "1" : "0";
      }
      setText(row.number, v.value.toFixed(1));
      setText(row.old, old);
      row.value.dataset.value = String(v.value);
      setText(row.unit, v.unit);
      const before = this.previous ? this.previous[i].value : NaN;
      setText(row.change, Number.isNaN(before) ? "–" : signed(v.value - before));
    });
    this.stale = stale;
  }

  // Once a second: the age of stale values goes on.
  tick() {
    if (this.stale) {
      this.render(true);
    }
  }
}

function signed(d) {
  const text = (Math.round(d * 10) / 10).toFixed(1);
  return d > 0.049 ? "+" + text : text === "-0.0" ? "0.0" : text;
}
