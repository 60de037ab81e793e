// What the page asks of the server it came from: the readings, the history,
// the frames, the event stream, and commands. Same origin only.

export async function getJson(path) {
  const r = await fetch(path, { headers: { Accept: "application/json" }, cache: "no-store" });
  if (!r.ok) {
    throw new Error(path + ": " + r.status);
  }
  return r.json();
}

export async function getText(path) {
  const r = await fetch(path, { cache: "no-store" });
  if (!r.ok) {
    throw new Error(path + ": " + r.status);
  }
  return r.text();
}

// The history since a time (ms since the epoch, or 0 for all), as CSV (the
// most compact of serve's formats for a long range), given to onText piece by
// piece as it arrives: reading overlaps the transfer.
export async function historyCsv(sinceMs, onText) {
  const since = sinceMs ? "&since=" + encodeURIComponent(new Date(sinceMs).toISOString()) : "";
  const r = await fetch("/api/v1/history?format=csv" + since, { cache: "no-store" });
  if (!r.ok) {
    throw new Error("/api/v1/history: " + r.status);
  }
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

// The history as JSON Lines, one object a scan (with each failure's diagnosis).
export async function historyRecords(sinceMs) {
  const since = sinceMs ? "&since=" + encodeURIComponent(new Date(sinceMs).toISOString()) : "";
  const text = await getText("/api/v1/history?format=jsonl" + since);
  return text.split("\n").filter((l) => l.trim() !== "").map((l) => JSON.parse(l));
}

// The event stream; handlers by event name ("scan", "link", "frame",
// "command"), each given the parsed data. The browser reconnects by itself;
// onOpen runs at every (re)connection, once the server has taken it on: what
// is read after that cannot miss a scan.
export function listen(handlers, onOpen) {
  const source = new EventSource("/api/v1/events");
  for (const [name, handler] of Object.entries(handlers)) {
    source.addEventListener(name, (e) => handler(JSON.parse(e.data)));
  }
  source.addEventListener("open", () => onOpen && onOpen());
  return source;
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

// "14:03:12" from a time in ms.
export function clock(ms) {
  const d = new Date(ms);
  const two = (n) => String(n).padStart(2, "0");
  return two(d.getHours()) + ":" + two(d.getMinutes()) + ":" + two(d.getSeconds());
}

// "2026-12-08 14:03:12" from a time in ms.
export function dateTime(ms) {
  const d = new Date(ms);
  const two = (n) => String(n).padStart(2, "0");
  return d.getFullYear() + "-" + two(d.getMonth() + 1) + "-" + two(d.getDate()) + " " + clock(ms);
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

// Sets an element's text only when it differs: the same text set again would
// still cost the page a layout.
export function setText(el, text) {
  if (el.textContent !== text) {
    el.textContent = text;
  }
}
