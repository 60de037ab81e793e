// The commands, built only when the server allows them: the control page's
// 手 动 / 自 动 / 浮 充 / 均 充 and the module commands with its ranges. Each
// is checked here first (out of range: the window's words, nothing sent),
// confirmed by the user, sent to serve, and its outcome shown.
import { t } from "./i18n.js";
import { postCommand } from "./api.js";
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

  // The value of one field when it is a number in 0..max (whole when asked);
  // otherwise the window's range message, shown, and null.
  number(id, max, whole) {
    const text = document.getElementById(id).value.trim();
    const value = Number(text);
    const ok = text !== "" && Number.isFinite(value) && value >= 0 && value <= max &&
      (!whole || Number.isInteger(value));
    if (!ok) {
      this.error.textContent = t(whole ? "intRange" : "realRange", 0, max);
      document.getElementById(id).focus();
      return null;
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
    try {
      const { status, answer } = await postCommand(body, token);
      if (status === 401) {
        forgetToken();  // asked again next time
      }
      this.show(status, answer);
    } catch (e) {
      this.show(0, { text: String(e) });
    } finally {
      this.busy = false;
    }
  }

  show(status, a) {
    this.outcome.dataset.outcome = a.outcome || String(status);
    if (status === 200) {
      const words = {
        confirmed: t("confirmed"), "not-confirmed": t("notConfirmed"),
        "no-reply": t("noReplyOutcome"), "port-lost": t("portLostOutcome"),
      };
      this.outcome.textContent = a.outcome === "exception"
        ? t("exception", Number(a.exception.code).toString(16).toUpperCase().padStart(2, "0"),
            a.exception.name)
        : words[a.outcome] || a.outcome;
      if (a.diagnosis && a.outcome !== "confirmed") {
        this.outcome.textContent += " — " + a.diagnosis.text;
      }
      return;
    }
    if (status === 400 && a.outcome === "refused") {
      this.outcome.textContent = t("refused", a.reason) +
        (a.range ? " " + t("realRange", a.range.min, a.range.max) : "");
      return;
    }
    this.outcome.textContent = status === 409 ? t("busy") : t("refused", a.text || status);
  }
}
