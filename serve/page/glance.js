// The state at a glance: port, slave, the link in words and colour (in a live
// region, so that a screen reader says when it changes), the counters, the
// response time and the last good scan, and the server's zone in the header.
import { lang, t } from "./i18n.js";
import { setText } from "./api.js";
import { clock, dateTime, zoneLabel } from "./clock.js";
import { diagnosisWords, failureWords } from "./findings.js";

const $ = (id) => document.getElementById(id);

function ms(value) {
  return value === null || value === undefined ? "–" : value.toFixed(1) + " ms";
}

// The link's state in words: "answering", "no reply since 14:03:12: ...".
// English as the server words it; Chinese from the finding and its facts.
export function linkWords(r) {
  const link = r.link;
  const since = link.since ? clock(Date.parse(link.since)) : "";
  const why = lang === "zh" ? failureWords(r) : link.diagnosis || link.finding || "";
  switch (link.state) {
    case "answering":
      return t("answering");
    case "no-reply":
      return t("noReply", since, why);
    case "port-lost":
      return t("portLost", since, why);
    default:
      return t("starting");
  }
}

function showState(state, words) {
  const el = $("link-state");
  setText(el, words);  // changed text only: the live region speaks once
  if (el.dataset.state !== state) {
    el.className = "link " + state;
    el.dataset.state = state;
  }
}

export function showGlance(r) {
  showState(r.link.state || "starting", linkWords(r));
  setText($("where"), r.port + " · " + r.slave);
  setText($("zone"), t("zone") + " " + zoneLabel());
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
  if (e.kind === "lost") {
    const why = diagnosisWords({ finding: "port-lost", text: e.port }, { port: e.port });
    showState("port-lost", t("portLost", clock(Date.parse(e.time)), why));
  } else if (e.kind === "back") {
    showState("starting", t("starting"));
  }
}
