// The state at a glance: port, slave, the link in words and colour (in a live
// region, so that a screen reader says when it changes), the counters, the
// response time and the last good scan.
import { t } from "./i18n.js";
import { clock, dateTime, setText } from "./api.js";

const $ = (id) => document.getElementById(id);

function ms(value) {
  return value === null || value === undefined ? "–" : value.toFixed(1) + " ms";
}

// The link's state in words: "answering", "no reply since 14:03:12: ...".
export function linkWords(link) {
  const since = link.since ? clock(Date.parse(link.since)) : "";
  switch (link.state) {
    case "answering":
      return t("answering");
    case "no-reply":
      return t("noReply", since, link.diagnosis || link.finding || "");
    case "port-lost":
      return t("portLost", since, link.diagnosis || "");
    default:
      return t("starting");
  }
}

export function showGlance(r) {
  const state = $("link-state");
  const words = linkWords(r.link);
  setText(state, words);  // changed text only: the live region speaks once
  if (state.dataset.state !== (r.link.state || "starting")) {
    state.className = "link " + (r.link.state || "starting");
    state.dataset.state = r.link.state || "starting";
  }
  setText($("where"), r.port + " · " + r.slave);
  setText($("f-port"), r.port);
  setText($("f-slave"), String(r.slave));
  setText($("f-scans"), String(r.counters.scans));
  setText($("f-failed"), String(r.counters.failed));
  setText($("f-last-ms"), r.outcome === "reply" ? ms(r.response_ms) : "–");
  setText($("f-mean-ms"), ms(r.counters.response_ms.mean));
  setText($("f-last-good"), r.last_good_scan ? dateTime(Date.parse(r.last_good_scan)) : "–");
  setText($("version"), "k40ctl " + (r.version || ""));
}

// A link event (lost, back) before the next scan says so.
export function showLinkEvent(e) {
  const state = $("link-state");
  if (e.kind === "lost") {
    state.textContent = t("portLost", clock(Date.parse(e.time)), e.port);
    state.className = "link port-lost";
    state.dataset.state = "port-lost";
  } else if (e.kind === "back") {
    state.textContent = t("starting");
    state.className = "link starting";
    state.dataset.state = "starting";
  }
}
