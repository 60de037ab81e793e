// The download: the history as CSV in k40ctl's layout, all of it (the bytes
// exactly as `watch all --format csv` writes them) or the charts' range, named
// by the server's date at the click; "for Excel" puts a byte-order mark first,
// without which Excel on a Chinese Windows reads the UTF-8 headers as GBK.
import { historyCsvBytes, saveFile } from "./api.js";
import { csvName, now } from "./clock.js";
import { parseTime } from "./csv.js";
import { t } from "./i18n.js";

const BOM = new Uint8Array([0xef, 0xbb, 0xbf]);
const $ = (id) => document.getElementById(id);

// The CSV's lines up to time to (ms): the header stays.
export function cutAfter(text, to) {
  const lines = text.split("\r\n");
  const kept = [lines[0]];
  for (let i = 1; i < lines.length; i++) {
    const comma = lines[i].indexOf(",");
    if (comma > 0 && parseTime(lines[i].slice(0, comma)) <= to) {
      kept.push(lines[i]);
    }
  }
  return kept.join("\r\n") + "\r\n";
}

export class Download {
  // range(): the charts' range [from, to] in ms.
  constructor(range) {
    this.range = range;
    $("csv-form").addEventListener("submit", (e) => {
      e.preventDefault();
      this.save().catch((err) => {
        $("csv-error").textContent = String(err);
      });
    });
  }

  async save() {
    $("csv-error").textContent = "";
    const visible = $("csv-visible").checked;
    const [from, to] = this.range();
    const say = (s) => { $("csv-error").textContent = t("csvWait", s); };
    let bytes = await historyCsvBytes(visible ? from : 0, say);
    $("csv-error").textContent = "";
    if (visible) {
      bytes = new TextEncoder().encode(cutAfter(new TextDecoder().decode(bytes), to));
    }
    const parts = $("csv-excel").checked ? [BOM, bytes] : [bytes];
    saveFile(csvName(now()), parts, "text/csv");
  }
}
