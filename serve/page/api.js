// What the page asks of the server it came from: the readings, the history,
// the frames, the event stream, downloads and commands. Same origin only; every
// request of the page goes through here.
import { t } from "./i18n.js";
import { askToken, forgetToken, keptToken } from "./dialogs.js";
import { EventParser } from "./events.js";

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
let asking = null;  // the token question on screen, shared by every read refused meanwhile
let guarded = false;  // whether the server has refused a read without a token

// Asks for the read token (a command token also reads); again, saying so,
// after a wrong one. Without one nothing can be read: an error.
async function obtainToken(wrong) {
  if (!asking) {
    asking = askToken(wrong ? "tokenWrongRead" : "tokenAskRead").finally(() => { asking = null; });
  }
  if (!(await asking)) {
    const e = new Error(t("tokenNeeded"));
    e.noToken = true;
    throw e;
  }
}

// A read: without a credential until the server asks for one (401 with
// WWW-Authenticate: Bearer, with --read-token-file), then with the tab's
// token. A 503 with Retry-After (downloads beyond the server's bound) is
// waited out and tried again; onWait(seconds) says so first.
async function read(path, init = {}, onWait = null) {
  for (;;) {
    const sent = guarded ? keptToken() : null;
    const headers = sent ? { ...init.headers, Authorization: "Bearer " + sent } : init.headers;
    const r = await fetch(path, { ...init, headers, cache: "no-store" });
    if (r.status === 401 && /^Bearer\b/i.test(r.headers.get("WWW-Authenticate") || "")) {
      guarded = true;
      if (sent && sent === keptToken()) {
        forgetToken();
      }
      if (!keptToken()) {
        await obtainToken(Boolean(sent));
      }
      continue;
    }
    const wait = Number(r.headers.get("Retry-After"));
    if (r.status === 503 && wait > 0) {
      if (onWait) {
        onWait(wait);
      }
      await sleep(wait * 1000);
      continue;
    }
    if (!r.ok) {
      throw new Error(path + ": " + r.status);
    }
    return r;
  }
}

export async function getJson(path) {
  return (await read(path, { headers: { Accept: "application/json" } })).json();
}

export async function getText(path) {
  return (await read(path)).text();
}

// The history since a time (ms since the epoch, or 0 for all), as CSV (the
// most compact of serve's formats for a long range), given to onText piece by
// piece as it arrives: reading overlaps the transfer.
export async function historyCsv(sinceMs, onText) {
  const since = sinceMs ? "&since=" + encodeURIComponent(new Date(sinceMs).toISOString()) : "";
  const r = await read("/api/v1/history?format=csv" + since);
  const reader = r.body.getReader();
  const decoder = new TextDecoder();
  for (;;) {
    const { done, value } = await reader.read();
    if (done) {
      break;
    }
    onText(decoder.decode(value, { stream: true }));
  }
  onText(decoder.decode());
}

// The history's CSV as the server sends it (bytes untouched), from a time
// (ms, or 0 for all): the download. onWait(seconds): the server is busy with
// other downloads, asked again after that.
export async function historyCsvBytes(sinceMs, onWait) {
  const since = sinceMs ? "&since=" + encodeURIComponent(new Date(sinceMs).toISOString()) : "";
  const r = await read("/api/v1/history?format=csv" + since, {}, onWait);
  return new Uint8Array(await r.arrayBuffer());
}

// Gives the browser bytes to save as a file named name.
export function saveFile(name, parts, type) {
  const url = URL.createObjectURL(new Blob(parts, { type }));
  const a = document.createElement("a");
  a.href = url;
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60e3);
}

// The history as JSON Lines, one object a scan (with each failure's diagnosis).
export async function historyRecords(sinceMs) {
  const since = sinceMs ? "&since=" + encodeURIComponent(new Date(sinceMs).toISOString()) : "";
  const text = await getText("/api/v1/history?format=jsonl" + since);
  return text.split("\n").filter((l) => l.trim() !== "").map((l) => JSON.parse(l));
}

// The event stream; handlers by event name ("scan", "link", "frame",
// "command"), each given the parsed data. The browser reconnects by itself;
// onOpen runs at every (re)connection, once the server has taken it on: what
// is read after that cannot miss a scan. An EventSource sends no credential:
// with a read token the stream is read by fetch() instead.
export function listen(handlers, onOpen) {
  if (guarded) {
    return streamEvents(handlers, onOpen);
  }
  const source = new EventSource("/api/v1/events");
  for (const [name, handler] of Object.entries(handlers)) {
    source.addEventListener(name, (e) => handler(JSON.parse(e.data)));
  }
  source.addEventListener("open", () => onOpen && onOpen());
  return source;
}

// The event stream by fetch(), reconnecting as an EventSource does: after the
// server's retry time (3 s until it names one), with the last event's id.
function streamEvents(handlers, onOpen) {
  const stop = new AbortController();
  let retryMs = 3000;
  let lastId = "";
  const dispatch = (name, data) => {
    try {
      if (handlers[name]) {
        handlers[name](JSON.parse(data));
      }
    } catch (e) {
      console.error(e);  // as an EventSource's listener: the stream goes on
    }
  };
  (async () => {
    while (!stop.signal.aborted) {
      const parser = new EventParser(dispatch);
      try {
        const headers = lastId ? { Accept: "text/event-stream", "Last-Event-ID": lastId }
          : { Accept: "text/event-stream" };
        const r = await read("/api/v1/events", { headers, signal: stop.signal });
        if (onOpen) {
          onOpen();
        }
        const reader = r.body.getReader();
        const decoder = new TextDecoder();
        for (let piece = await reader.read(); !piece.done; piece = await reader.read()) {
          parser.push(decoder.decode(piece.value, { stream: true }));
          retryMs = parser.retryMs || retryMs;
          lastId = parser.lastId;
        }
      } catch (e) {
        if (e.noToken) {
          return;  // the token question was cancelled: nothing to read with
        }
      }
      await sleep(retryMs);
    }
  })();
  return { close: () => stop.abort() };
}

// A command: the status and the answer (JSON when the server gave JSON,
// else {text}). The token, when given, goes as a Bearer credential.
export async function postCommand(body, token) {
  const headers = { "Content-Type": "application/json" };
  if (token) {
    headers.Authorization = "Bearer " + token;
  }
  const r = await fetch("/api/v1/command", {
    method: "POST", headers, body: JSON.stringify(body), cache: "no-store",
    credentials: "omit",
  });
  const text = await r.text();
  let answer;
  try {
    answer = JSON.parse(text);
  } catch (e) {
    answer = { text: text.trim() };
  }
  return { status: r.status, answer };
}

// Sets an element's text only when it differs: the same text set again would
// still cost the page a layout.
export function setText(el, text) {
  if (el.textContent !== text) {
    el.textContent = text;
  }
}
