// The trends' range as the user sees and shares it: the buttons (10 min, 1 h,
// 24 h, all; zoom; earlier, later; live), a from-to picker, a line that says
// which range is shown and whether it follows the newest scan, and the
// address: "#from=...&to=..." for a fixed range, "#live=600" (seconds) for a
// live one, nothing for all of it, live; so that a link opens the same view.
import { t } from "./i18n.js";
import { setText } from "./api.js";
import { age, dateTime, fromLocal, iso, toLocal } from "./clock.js";

const $ = (id) => document.getElementById(id);
const LIVE_WORDS = { 600: "10 min", 3600: "1 h", 86400: "24 h" };

// The view an address asks for: {live: seconds (0: all)} or {from, to} in
// ms; null when it asks for none.
export function viewOfHash(hash) {
  const p = new URLSearchParams(String(hash || "").replace(/^#/, ""));
  if (p.has("from") && p.has("to")) {
    const from = Date.parse(p.get("from"));
    const to = Date.parse(p.get("to"));
    return from < to ? { from, to } : null;
  }
  if (p.has("live")) {
    const live = p.get("live") === "all" ? 0 : Number(p.get("live"));
    return Number.isFinite(live) && live >= 0 ? { live } : null;
  }
  return null;
}

// The address of the trends' view: none for the page's first view (all,
// live), so that the page's own address stays as it was opened.
export function hashOfView(view, range) {
  if (view.end === null) {
    return view.span ? "#live=" + Math.round(view.span / 1000) : "";
  }
  return "#from=" + encodeURIComponent(iso(range[0])) + "&to=" + encodeURIComponent(iso(range[1]));
}

export class Views {
  constructor(trends) {
    this.trends = trends;
    trends.onView = () => this.shown();
    for (const b of document.querySelectorAll("#trends .toolbar button")) {
      b.addEventListener("click", () => this.press(b));
    }
    $("range-form").addEventListener("submit", (e) => {
      e.preventDefault();
      this.pick();
    });
    window.addEventListener("hashchange", () => this.follow(location.hash));
  }

  press(b) {
    const d = b.dataset;
    if (d.range !== undefined) {
      this.trends.showSpan(Number(d.range));
    } else if (d.zoom !== undefined) {
      this.trends.zoom(Number(d.zoom));
    } else if (d.pan !== undefined) {
      this.trends.pan(Number(d.pan));
    } else if (b.id === "live") {
      this.trends.showSpan(this.trends.view.span / 1000);  // the same span, following
    }
  }

  pick() {
    const a = fromLocal($("range-from").value);
    const b = fromLocal($("range-to").value);
    if (!(a < b)) {
      setText($("range-error"), t("badRange"));
      return;
    }
    setText($("range-error"), "");
    this.trends.showRange(a, b);
  }

  // The address's view, once the history is in.
  follow(hash) {
    const v = viewOfHash(hash);
    if (!v) {
      return;
    }
    if (v.from !== undefined) {
      this.trends.showRange(v.from, v.to);
    } else {
      this.trends.showSpan(v.live);
    }
  }

  // After every change of the view: its words, the picker, the live button,
  // the address (replaced, not pushed: the back button leaves the page).
  shown() {
    const tr = this.trends;
    const range = tr.window();
    const live = tr.view.end === null;
    let words;
    if (live) {
      const span = tr.view.span / 1000;
      words = span ? t("viewLive", LIVE_WORDS[span] || age(tr.view.span)) : t("viewLiveAll");
      if (span && range[1] - range[0] < tr.view.span - 1000) {
        words += t("heldOnly", age(range[1] - range[0]));
      }
    } else {
      words = t("viewFixed", dateTime(range[0]), dateTime(range[1]));
    }
    const state = $("range-state");
    setText(state, words);
    state.dataset.live = String(live);
    $("live").setAttribute("aria-pressed", String(live));
    for (const b of document.querySelectorAll("#trends [data-range]")) {
      b.setAttribute("aria-pressed", String(live && Number(b.dataset.range) * 1000 === tr.view.span));
    }
    // The picker shows the range when it changed, not at every live drawing.
    const key = live + " " + tr.view.span;
    const picking = document.activeElement === $("range-from") || document.activeElement === $("range-to");
    if (!picking && (!live || this.pickerFor !== key)) {
      this.pickerFor = key;
      const [from, to] = [toLocal(range[0]), toLocal(range[1])];
      if ($("range-from").value !== from || $("range-to").value !== to) {
        $("range-from").value = from;
        $("range-to").value = to;
      }
    }
    const hash = hashOfView(tr.view, range);
    if (location.hash !== hash) {
      history.replaceState(null, "", hash || location.pathname + location.search);
    }
  }
}
