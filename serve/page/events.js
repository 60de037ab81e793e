// text/event-stream read as a browser's EventSource reads it, for the stream
// read by fetch() (a server with a read token: an EventSource sends no
// credential). Lines end at CR LF, LF or CR; "event:", "data:" (lines joined
// by LF), "id:" and "retry:" fields; a line starting with ":" is a comment; a
// blank line dispatches the event gathered, when it has data.
export class EventParser {
  // dispatch(name, data): each whole event ("message" when unnamed).
  constructor(dispatch) {
    this.dispatch = dispatch;
    this.rest = "";
    this.name = "";
    this.data = [];
    this.lastId = "";
    this.retryMs = 0;  // the server's reconnection time, 0 until it says one
  }

  // A piece of the stream's text, cut anywhere. A CR at a piece's end waits
  // for the next: it may be the first half of a CR LF.
  push(text) {
    const lines = (this.rest + text).split(/\r\n|\n|\r(?!$)/);
    this.rest = lines.pop();
    for (const line of lines) {
      this.line(line);
    }
  }

  line(line) {
    if (line === "") {
      if (this.data.length) {
        this.dispatch(this.name || "message", this.data.join("\n"));
      }
      this.name = "";
      this.data = [];
      return;
    }
    const colon = line.indexOf(":");
    if (colon === 0) {
      return;
    }
    const field = colon < 0 ? line : line.slice(0, colon);
    const value = colon < 0 ? "" : line.slice(colon + (line[colon + 1] === " " ? 2 : 1));
    if (field === "event") {
      this.name = value;
    } else if (field === "data") {
      this.data.push(value);
    } else if (field === "id" && !value.includes("\0")) {
      this.lastId = value;
    } else if (field === "retry" && /^\d+$/.test(value)) {
      this.retryMs = Number(value);
    }
  }
}
