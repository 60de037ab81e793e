// Time as the server tells it: every time on the page is shown in the
// server's zone (the unit's site), and "now" is the server's clock, so that a
// laptop whose clock is off shows neither wrong ages nor wrong "new" marks.
// Each of serve's answers carries its time with its offset; the readings carry
// the server's clock ("server_time") and the zone's name.

let offsetMin = -new Date().getTimezoneOffset();  // until the server says
let zoneName = "";
let skewMs = 0;  // the server's clock less the browser's

// "+08:00" at the end of an ISO 8601 time, in minutes east of UTC.
export function offsetOf(iso) {
  const m = /([+-])(\d\d):?(\d\d)$/.exec(iso || "");
  if (!m) {
    return /Z$/.test(iso || "") ? 0 : null;
  }
  return (m[1] === "-" ? -1 : 1) * (Number(m[2]) * 60 + Number(m[3]));
}

// From /api/v1/readings or a scan event: the server's clock and zone.
export function serverSaid(r) {
  if (!r || !r.server_time) {
    return;
  }
  const offset = offsetOf(r.server_time);
  if (offset !== null) {
    offsetMin = offset;
  }
  zoneName = r.zone || "";
  skewMs = Date.parse(r.server_time) - Date.now();
}

// The server's clock now, in ms since the epoch.
export function now() {
  return Date.now() + skewMs;
}

// "UTC+08:00 (CST)": the zone every time on the page is in.
export function zoneLabel() {
  const a = Math.abs(offsetMin);
  const two = (n) => String(n).padStart(2, "0");
  const utc = "UTC" + (offsetMin < 0 ? "-" : "+") + two(Math.floor(a / 60)) + ":" + two(a % 60);
  return zoneName && !/^[+-]/.test(zoneName) ? utc + " (" + zoneName + ")" : utc;
}

// The fields of a time in the server's zone: [year, month, day, h, m, s, ms].
function fields(ms) {
  const d = new Date(ms + offsetMin * 60e3);
  return [d.getUTCFullYear(), d.getUTCMonth() + 1, d.getUTCDate(), d.getUTCHours(),
    d.getUTCMinutes(), d.getUTCSeconds(), d.getUTCMilliseconds()];
}

const two = (n) => String(n).padStart(2, "0");

// "2026-12-08", the server's date of a time.
export function date(ms) {
  const f = fields(ms);
  return f[0] + "-" + two(f[1]) + "-" + two(f[2]);
}

// "14:03:12" from a time in ms.
export function clock(ms) {
  const f = fields(ms);
  return two(f[3]) + ":" + two(f[4]) + ":" + two(f[5]);
}

// "14:03:12.262": the traffic's times.
export function clockMs(ms) {
  return clock(ms) + "." + String(fields(ms)[6]).padStart(3, "0");
}

// "2026-12-08 14:03:12" from a time in ms.
export function dateTime(ms) {
  return date(ms) + " " + clock(ms);
}

// "2026-12-08T14:03:12+08:00": a time for the address and for the server.
export function iso(ms) {
  const a = Math.abs(offsetMin);
  const zone = (offsetMin < 0 ? "-" : "+") + two(Math.floor(a / 60)) + ":" + two(a % 60);
  return date(ms) + "T" + clock(ms) + zone;
}

// "2026-12-08T14:03:12" (a datetime-local field's value) to ms, read in the
// server's zone; NaN when it is not such a time.
export function fromLocal(text) {
  const m = /^(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d)(?::(\d\d))?$/.exec(text || "");
  if (!m) {
    return NaN;
  }
  const utc = Date.UTC(+m[1], +m[2] - 1, +m[3], +m[4], +m[5], +(m[6] || 0));
  return utc - offsetMin * 60e3;
}

// A time as a datetime-local field's value, in the server's zone.
export function toLocal(ms) {
  return date(ms) + "T" + clock(ms);
}

// A chart's axis label: the date at midnight, else the time of day (seconds
// only where the tick has them).
export function axisLabel(ms) {
  const f = fields(ms);
  if (f[3] === 0 && f[4] === 0 && f[5] === 0) {
    return two(f[1]) + "-" + two(f[2]);
  }
  return two(f[3]) + ":" + two(f[4]) + (f[5] ? ":" + two(f[5]) : "");
}

// "12 s", "3 min", "2 h" for an age in ms.
export function age(ms) {
  const s = Math.max(0, Math.round(ms / 1000));
  if (s < 120) {
    return s + " s";
  }
  if (s < 7200) {
    return Math.round(s / 60) + " min";
  }
  return Math.round(s / 3600) + " h";
}

// The file name of a download: k40-history-2026-12-08.csv by the server's
// date now (at the click, not when the page opened).
export function csvName(ms) {
  return "k40-history-" + date(ms) + ".csv";
}

// fn run in an animation frame, at most once in ms (a second by default) however
// often the returned function is called: the page's pace for what it shows.
export function paced(fn, ms = 1000) {
  let due = false;
  let last = -Infinity;
  const run = () => {
    due = false;
    last = performance.now();
    fn();
  };
  return () => {
    if (!due) {
      due = true;
      const wait = last + ms - performance.now();
      if (wait > 0) {
        setTimeout(() => requestAnimationFrame(run), wait);
      } else {
        requestAnimationFrame(run);
      }
    }
  };
}
