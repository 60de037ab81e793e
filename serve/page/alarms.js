// The unit's alarms before anything else: a banner with the count and the list
// of the active alarms (severity by icon and word, never by colour alone; since
// when, by the server's clock; the runbook of the alert), or plainly none; the
// operating modes as states; the link apart from them. The tab's title carries
// the same state, so that a tab in the background shows it. Drawn only when
// something in it changed.
import { lang, t } from "./i18n.js";
import { dateTime } from "./clock.js";
import { linkWords } from "./glance.js";

const ICONS = { critical: "✖", warning: "⚠" };

// The alert of an alarm as the rule pack names it ("ac_power_failure":
// "K40AcPowerFailure"), the section of the runbooks that explains it.
function alertName(id) {
  return "K40" + id.split("_").map((w) => w.charAt(0).toUpperCase() + w.slice(1)).join("");
}

function el(tag, className, text) {
  const e = document.createElement(tag);
  if (className) {
    e.className = className;
  }
  if (text !== undefined) {
    e.textContent = text;
  }
  return e;
}

// A bit's value in words: the mode or the alarm's state ("浮充", "故障"); in
// English the unit's alarm table's words, from the server.
export function stateWords(meaning, value) {
  if (!meaning || (value !== 0 && value !== 1)) {
    return String(value);
  }
  if (lang !== "zh") {
    return meaning.states[value];
  }
  if (meaning.kind === "mode") {
    return t(meaning.id === "operation_mode" ? "stateOperation" : "stateCharge").split("|")[value];
  }
  return t("stateAlarm").split("|")[value === meaning.raises ? 1 : 0];
}

export class AlarmBanner {
  constructor(slot) {
    this.box = el("section", "alarms none");
    this.box.id = "alarms";
    this.box.setAttribute("aria-labelledby", "alarms-h");
    this.head = el("h2", "alarms-head");
    this.head.id = "alarms-h";
    this.head.setAttribute("role", "status");
    this.list = el("ul", "alarm-list");
    this.modes = el("p", "modes");
    this.link = el("p", "alarm-link");
    this.box.append(this.head, this.list, this.modes, this.link);
    slot.replaceChildren(this.box);
    this.meanings = [];
    this.key = "";
    this.known = null;  // the alarms of the last scan that got a reply
  }

  // The readings of the newest scan: drawn only when the banner would change.
  show(r) {
    if (Array.isArray(r.alarms)) {
      this.known = r.alarms;
    }
    const bits = r.outcome === "reply" ? r.values.slice(9, 11).map((v) => v.value) : this.modeBits;
    this.modeBits = bits;
    const answering = r.link.state === "answering";
    const key = JSON.stringify([this.known, bits, r.link.state, answering ? "" : linkWords(r),
      this.meanings.length]);
    if (key === this.key) {
      return;
    }
    this.key = key;
    this.draw(r, answering, bits);
  }

  draw(r, answering, bits) {
    const alarms = this.known || [];
    const count = alarms.length;
    this.head.textContent = !answering && !this.known ? t("alarmsUnknown")
      : count ? "● " + t("alarmsCount", count) : "✓ " + t("alarmsNone");
    this.list.replaceChildren(...alarms.map((a) => this.item(a)));
    this.box.className = "alarms " + (count ? "active" : "none") + (answering ? "" : " stale");
    this.box.dataset.count = String(count);
    this.modes.textContent = bits && this.meanings.length
      ? t("modes") + " " + bits.map((v, i) => stateWords(this.meanings[i], v)).join(" · ") : "";
    this.link.textContent = t("linkIs") + " " + linkWords(r);
    this.link.className = "alarm-link " + r.link.state;
    const state = !answering ? "○ " + linkWords(r).split(/[:：]/)[0]
      : count ? "● " + t("titleAlarms", count) : t("alarmsNone");
    document.title = state + " – " + t("title");
  }

  item(a) {
    const li = el("li", "alarm " + a.severity);
    li.dataset.id = a.id;
    const sev = el("span", "severity", ICONS[a.severity] + " " + t(a.severity));
    const name = el("strong", "name", lang === "zh" ? a.name : a.name_en);
    const since = el("span", "since", a.since ? t("alarmSince", dateTime(Date.parse(a.since))) : "");
    const book = el("a", "runbook", t("runbook"));
    book.href = "/runbooks/" + (lang === "zh" ? "zh" : "en") + ".html#" + alertName(a.id);
    li.append(sev, " ", name, " ", since, " ", book);
    return li;
  }
}
