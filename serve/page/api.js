// What the page asks of the server it came from: the readings, the history,
// the frames, the event stream, downloads and commands. Same origin only; every
// request of the page goes through here.

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

// The history's CSV as the server sends it (bytes untouched), from a time
// (ms, or 0 for all): the download.
export async function historyCsvBytes(sinceMs) {
  const since = sinceMs ? "&since=" + encodeURIComponent(new Date(sinceMs).toISOString()) : "";
  const r = await fetch("/api/v1/history?format=csv" + since, { cache: "no-store" });
  if (!r.ok) {
    throw new Error("/api/v1/history: " + r.status);
  }
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

// Sets an element's text only when it differs: the same text set again would
// still cost the page a layout.
export function setText(el, text) {
  if (el.textContent !== text) {
    el.textContent = text;
  }
}
