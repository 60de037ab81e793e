// The two questions the page asks before a command: "send 均 充 to slave 1 on
// COM3?", and the token where the server needs one. Modal <dialog>s: the
// keyboard stays in them, Escape cancels.
import { t } from "./i18n.js";

function dialog(id) {
  let d = document.getElementById(id);
  if (!d) {
    d = document.createElement("dialog");
    d.id = id;
    d.setAttribute("aria-labelledby", id + "-text");
    document.body.append(d);
  }
  d.textContent = "";
  return d;
}

// The primary button submits the form (Enter in a field presses it); the
// other closes the dialog without submitting, so Enter never means it.
function button(text, value, primary) {
  const b = document.createElement("button");
  b.value = value;
  b.textContent = text;
  if (primary) {
    b.type = "submit";
    b.className = "primary";
  } else {
    b.type = "button";
    b.addEventListener("click", () => b.closest("dialog").close(value));
  }
  return b;
}

// Resolves with the button's value ("" on Escape) once the dialog closes.
function ask(d, form) {
  form.method = "dialog";
  d.append(form);
  return new Promise((resolve) => {
    d.addEventListener("close", () => resolve(d.returnValue), { once: true });
    d.returnValue = "";
    d.showModal();
  });
}

// Whether the user confirms sending what question asks.
export async function confirmSend(question) {
  const d = dialog("confirm");
  const form = document.createElement("form");
  const p = document.createElement("p");
  p.id = "confirm-text";
  p.textContent = question;
  const row = document.createElement("p");
  row.className = "buttons";
  const send = button(t("send"), "send", true);
  send.id = "confirm-send";
  const cancel = button(t("cancel"), "cancel", false);
  cancel.id = "confirm-cancel";
  row.append(cancel, send);
  form.append(p, row);
  const answer = ask(d, form);
  cancel.focus();  // a stray Enter sends nothing
  return (await answer) === "send";
}

// The token, asked once and kept for this tab only; question names the words
// to ask with (for commands, for reading, again after a wrong one). One token
// serves both: a command token also reads.
export async function askToken(question = "tokenAsk") {
  const kept = keptToken();
  if (kept) {
    return kept;
  }
  const d = dialog("token");
  const form = document.createElement("form");
  const p = document.createElement("p");
  p.id = "token-text";
  p.textContent = t(question);
  const label = document.createElement("label");
  label.textContent = t("token") + " ";
  const input = document.createElement("input");
  input.type = "password";
  input.id = "token-input";
  input.autocomplete = "off";
  input.required = true;
  label.append(input);
  const row = document.createElement("p");
  row.className = "buttons";
  row.append(button(t("cancel"), "cancel", false), button(t("ok"), "ok", true));
  form.append(p, label, row);
  const answer = ask(d, form);
  input.focus();
  if ((await answer) !== "ok" || !input.value.trim()) {
    return null;
  }
  sessionStorage.setItem("k40-token", input.value.trim());
  return input.value.trim();
}

export function keptToken() {
  return sessionStorage.getItem("k40-token");
}

export function forgetToken() {
  sessionStorage.removeItem("k40-token");
}
