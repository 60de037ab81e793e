// The nine measurements over time, as the page keeps them: one time a scan
// (ms since the epoch) and nine values, NaN for a scan that got no reply; and
// the rows a chart draws from them, thinned to its width when a range holds
// more scans than pixels (the minimum and the maximum of each pixel), with a
// break wherever scans failed or the port was lost.

export const NAMES_COUNT = 9;

export class Store {
  constructor() {
    this.t = [];
    this.v = Array.from({ length: NAMES_COUNT }, () => []);
    this.keepMs = 86400e3;
    this.most = 86400;
  }

  get length() {
    return this.t.length;
  }

  first() {
    return this.t.length ? this.t[0] : NaN;
  }

  last() {
    return this.t.length ? this.t[this.t.length - 1] : NaN;
  }

  // One scan: its time and nine numbers (or null for a failed scan).
  add(time, values) {
    if (this.t.length && time <= this.last()) {
      return false;  // already held (history and events overlap)
    }
    this.t.push(time);
    for (let i = 0; i < NAMES_COUNT; i++) {
      this.v[i].push(values ? values[i] : NaN);
    }
    this.trim();
    return true;
  }

  // Drops what the server no longer keeps either: older than its history,
  // or beyond its number of scans. In batches, as shifting arrays costs.
  trim() {
    const n = this.t.length;
    let cut = Math.max(0, n - this.most);
    const oldest = this.last() - this.keepMs;
    while (cut < n && this.t[cut] < oldest) {
      cut++;
    }
    if (cut > 256 || (cut > 0 && n < 4096)) {
      this.t.splice(0, cut);
      for (const column of this.v) {
        column.splice(0, cut);
      }
    }
  }

  // The first index whose time is at or after ms.
  index(ms) {
    let lo = 0;
    let hi = this.t.length;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (this.t[mid] < ms) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return lo;
  }
}

// Dygraph rows ([ms, y...]) of the columns cols between t0 and t1 (ms),
// for a chart width pixels wide. gapMs: a longer step between two good scans
// is a break in the line.
export function chartRows(store, cols, t0, t1, width, gapMs) {
  const from = Math.max(0, store.index(t0) - 1);
  const to = Math.min(store.length, store.index(t1) + 1);
  const bucketMs = (t1 - t0) / Math.max(1, width);
  const thin = to - from > 2 * width;
  const rows = [];
  const acc = new Bucket(cols.length);
  let prev = NaN;
  let bucketEnd = -Infinity;
  for (let i = from; i < to; i++) {
    const time = store.t[i];
    const first = store.v[cols[0]][i];
    if (Number.isNaN(first)) {
      continue;  // a failed scan: the step over it becomes a break below
    }
    const broken = time - prev > gapMs || failedBetween(store, cols[0], prev, i);
    if (broken || !thin || time >= bucketEnd) {
      acc.flush(rows);
      if (broken && rows.length) {
        rows.push(gapRow(prev, time, cols.length));
      }
      bucketEnd = thin ? t0 + Math.floor((time - t0) / bucketMs + 1) * bucketMs : Infinity;
    }
    acc.add(store, cols, i);
    prev = time;
  }
  acc.flush(rows);
  return rows;
}

// Whether a failed scan lies between the good scans at time prev and index i.
function failedBetween(store, col, prev, i) {
  return i > 0 && store.t[i - 1] > prev && Number.isNaN(store.v[col][i - 1]);
}

function gapRow(before, after, count) {
  const row = [Math.round((before + after) / 2)];
  for (let c = 0; c < count; c++) {
    row.push(null);
  }
  return row;
}

// The scans of one pixel: each column's minimum and maximum and when.
class Bucket {
  constructor(count) {
    this.count = count;
    this.n = 0;
  }

  add(store, cols, i) {
    const time = store.t[i];
    if (this.n === 0) {
      this.t0 = time;
      this.min = cols.map((c) => store.v[c][i]);
      this.max = this.min.slice();
    } else {
      for (let c = 0; c < cols.length; c++) {
        const v = store.v[cols[c]][i];
        if (v < this.min[c]) this.min[c] = v;
        if (v > this.max[c]) this.max[c] = v;
      }
    }
    this.t1 = time;
    this.n++;
  }

  // One row for one scan; two (minima first, maxima at the last scan's time)
  // for more.
  flush(rows) {
    if (this.n === 0) {
      return;
    }
    rows.push([this.t0].concat(this.min));
    if (this.n > 1) {
      rows.push([this.t1].concat(this.max));
    }
    this.n = 0;
  }
}

// Minimum, maximum, mean and last of one column over the scans from t0 to t1
// (ms), failed scans left out: the legend's statistics, from every scan, not
// from a chart's thinned rows. Null values when no good scan lies there.
export function columnStats(store, col, t0, t1) {
  const from = store.index(t0);
  const to = store.index(t1 + 1);
  const v = store.v[col];
  let min = Infinity;
  let max = -Infinity;
  let sum = 0;
  let n = 0;
  let last = null;
  for (let i = from; i < to; i++) {
    const x = v[i];
    if (x === x) {  // not NaN
      if (x < min) min = x;
      if (x > max) max = x;
      sum += x;
      n++;
      last = x;
    }
  }
  return n ? { min, max, mean: sum / n, last, n } : { min: null, max: null, mean: null, last: null, n };
}

// The index of the scan nearest to ms, or -1 without scans.
export function nearest(store, ms) {
  const i = store.index(ms);
  if (!store.length) {
    return -1;
  }
  if (i >= store.length) {
    return store.length - 1;
  }
  return i > 0 && ms - store.t[i - 1] < store.t[i] - ms ? i - 1 : i;
}
