// The commands, built only when the server allows them: the control page's
// 手 动 / 自 动 / 浮 充 / 均 充 and the module commands with its ranges. Each
// is checked here first (out of range: the window's words, nothing sent),
// confirmed by the user, sent to serve, and its outcome shown.
import { t } from "./i18n.js";
import { postCommand } from "./api.js";
import { clock, now } from "./clock.js";
import { diagnosisWords, exceptionName } from "./findings.js";
import { inRange } from "./numbers.js";
import { confirmSend, askToken, forgetToken } from "./dialogs.js";

const SYSTEM = ["manual", "auto", "float", "equalize"];
const MODULE_MAX = 20;
const RANGES = { voltage: 300, current: 110 };

function el(tag, props, ...children) {
  const e = document.createElement(tag);
  Object.assign(e, props || {});
  e.append(...children);
  return e;
}

function field(id, labelKey, unit, describedBy) {
  const input = el("input", { id, type: "text", inputMode: "decimal", autocomplete: "off" });
  input.setAttribute("aria-describedby", describedBy);
  const label = el("label", { htmlFor: id }, t(labelKey));
  return el("p", { className: "field" }, label, input, el("span", { className: "unit" }, unit));
}

export class Commands {
  constructor(slot, readings) {
    this.port = readings.port;
    this.slave = readings.slave;
    this.needsToken = readings.commands.token;
    this.busy = false;
    this.build(slot);
  }

  build(slot) {
    this.outcome = el("p", { id: "command-outcome", className: "outcome" });
    this.outcome.setAttribute("role", "status");
    this.error = el("p", { id: "command-error", className: "error" });
    this.error.setAttribute("role", "alert");
    const system = el("fieldset", {}, el("legend", {}, t("system")),
      ...SYSTEM.map((c) => this.button(c, t(c), () => this.send({ command: c }, t(c)))));
    const module = el("fieldset", {}, el("legend", {}, t("moduleGroup")),
      el("p", { className: "note" }, t("moduleNote")),
      field("module-number", "module", "", "command-error"),
      field("module-voltage", "voltage", "V", "command-error"),
      this.button("set-voltage", t("setVoltage"), () => this.module("voltage")),
      field("module-current", "current", "%", "command-error"),
      this.button("set-current", t("setCurrent"), () => this.module("current")),
      el("p", { className: "buttons" },
        this.button("module-on", t("on"), () => this.module("on")),
        this.button("module-off", t("off"), () => this.module("off"))));
    const h = el("h2", { id: "commands-h" }, t("commands"));
    const section = el("section", { id: "commands" }, h, system, module, this.error, this.outcome);
    section.setAttribute("aria-labelledby", "commands-h");
    slot.replaceWith(section);
  }

  button(id, text, action) {
    const b = el("button", { type: "button", id: "cmd-" + id }, text);
    b.dataset.command = id;
    b.addEventListener("click", action);
    return b;
  }

  // The value of one field when it is a number in 0..max (whole when asked)
  // as the window takes it; otherwise the window's range message, shown in
  // place of any earlier outcome, and null.
  number(id, max, whole) {
    const value = inRange(document.getElementById(id).value, 0, max, whole);
    if (value === null) {
      this.error.textContent = t(whole ? "intRange" : "realRange", 0, max);
      this.outcome.textContent = "";
      delete this.outcome.dataset.outcome;
      delete this.outcome.dataset.good;
      document.getElementById(id).focus();
    }
    return value;
  }

  module(action) {
    this.error.textContent = "";
    const m = this.number("module-number", MODULE_MAX, true);
    if (m === null) {
      return;
    }
    const body = { command: "module", module: m, action };
    let words = t(action === "voltage" ? "setVoltage" : action === "current" ? "setCurrent" : action);
    if (RANGES[action] !== undefined) {
      const v = this.number("module-" + action, RANGES[action], false);
      if (v === null) {
        return;
      }
      body.value = v;
      words += " " + v + (action === "voltage" ? " V" : " %");
    }
    this.send(body, t("moduleWords", m, words));
  }

  async send(body, words) {
    this.error.textContent = "";
    if (this.busy || !(await confirmSend(t("confirmQuestion", words, this.slave, this.port)))) {
      return;
    }
    const token = this.needsToken ? await askToken() : null;
    if (this.needsToken && !token) {
      return;
    }
    this.busy = true;
    this.outcome.textContent = t("sending", words);
    delete this.outcome.dataset.good;
    try {
      const { status, answer } = await postCommand(body, token);
      if (status === 401) {
        forgetToken();  // asked again next time
      }
      this.show(words, status, answer);
    } catch (e) {
      this.show(words, 0, { text: String(e) });
    } finally {
      this.busy = false;
    }
  }

  // The outcome with the command's words and the server's time of it;
  // success and failure told apart by colour and mark, not only by words.
  show(words, status, a) {
    this.outcome.dataset.outcome = a.outcome || String(status);
    this.outcome.dataset.good = String(status === 200 && a.outcome === "confirmed");
    const at = clock(a.time ? Date.parse(a.time) : now());
    this.outcome.textContent = t("outcomeAt", at, words, this.words(status, a));
  }

  words(status, a) {
    if (status === 200) {
      const words = {
        confirmed: t("confirmed"), "not-confirmed": t("notConfirmed"),
        "no-reply": t("noReplyOutcome"), "port-lost": t("portLostOutcome"),
      };
      const ex = a.exception;
      let text = a.outcome === "exception"
        ? t("exception", Number(ex.code).toString(16).toUpperCase().padStart(2, "0"),
            exceptionName(ex))
        : words[a.outcome] || a.outcome;
      if (a.diagnosis && a.outcome !== "confirmed" && a.outcome !== "exception") {
        text += " — " + diagnosisWords(a.diagnosis);
      }
      return text;
    }
    if (status === 400 && a.outcome === "refused") {
      return t("refused", a.reason) + (a.range ? " " + t("realRange", a.range.min, a.range.max) : "");
    }
    if (status === 401) {
      return t("wrongToken");
    }
    return status === 409 ? t("busy") : t("refused", a.text || status);
  }
}
