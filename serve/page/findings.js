// A failure in the page's language. The server words each diagnosis in
// English and gives beside it the line's finding ("nothing", "crc-error", ...)
// and its facts (the bytes seen, the other slave's address, ...); the Chinese
// page words them itself from those, so that no English is left in it.
import { lang } from "./i18n.js";

const ZH = {
  nothing: (f) => f.via === "server"
    ? "设备服务器未转来任何字节：请检查子站地址（--slave）和服务器后的装置是否上电；k40ctl scan 可逐个地址试探"
    : "未收到任何字节：请检查接线和装置电源、子站地址（--slave）、波特率和校验（--baud、--parity；校验不同时装置把请求当作干扰），并试着对调 A、B 线；k40ctl doctor 和 k40ctl scan 可帮助排查",
  "echo-only": (f) => f.via === "server"
    ? "只收到请求的回显：设备服务器后的线路回显而装置无应答（请检查装置电源和地址）"
    : "只收到请求的回显：适配器回显而装置无应答（请检查装置电源、地址和适配器之后的 A/B 接线）",
  "lone-copy": () => "只收到一份请求副本，之后再无数据：或是适配器回显而装置无应答，或是线路不回显而那份副本就是装置的应答（--echo on 会把它当作回显）；请试 --echo auto，它先读取以判断是哪种",
  "echo-altered": (f) => "请求的回显被改动（" + (f.bytes || "") + "）：线路上发生冲突，或适配器丢了一个字节" +
    (f.after === "1" ? "；其后装置的应答完整到达" : ""),
  "no-frame": (f) => "收到的字节不成帧（" + (f.bytes || "") + "）：" + (f.via === "server"
    ? "设备服务器可能要求 Modbus TCP 而非 RTU over TCP，或其后的线路损坏了报文"
    : f.damaged === "1"
      ? "是装置的应答但有字节缺失或损坏，如校验（--parity）或停止位（--stop-bits）与装置不符，或线路有干扰；请试 k40ctl scan --all-lines"
      : "波特率不对，或线路有干扰；请试 k40ctl scan"),
  "crc-error": (f) => "应答的 CRC 错误（" + (f.bytes || "") + "）：地址、功能码和长度都对，" + (f.via === "server"
    ? "所以字节在设备服务器之后的线路上损坏"
    : "所以字节在线路上损坏：干扰、缺少或多余的终端电阻，或电缆屏蔽层接地不良"),
  "other-slave": (f) => "收到子站地址 " + f.slave + " 的有效报文（功能码 " + f.function +
    "），但并未询问它：总线上另有主站在轮询它，或两台装置共用线路",
  "earlier-reply": (f) => "收到对先前请求的应答（功能码 " + f.function +
    "）：装置应答迟缓；请加大 --wait（现为 " + f.wait_ms + " ms）",
  "peer-closed": (f) => "设备服务器关闭了连接：它可能要求 Modbus TCP 而非 RTU over TCP，或一次只服务一个客户端" +
    (f.bytes ? "（之前发来 " + f.bytes + "）" : ""),
  "not-confirmed": () => "回读未能确认命令已执行",
  "port-lost": (f) => (f.port || "串口") + " 出错（错误或挂断）；每秒重新打开一次",
};

const hex2 = (code) => Number(code).toString(16).toUpperCase().padStart(2, "0");

// An exception's name: the window's Chinese one, or the English one.
export function exceptionName(exception) {
  return lang === "zh" ? exception.name : exception.name_en || exception.name;
}

// An exception reply: "exception 02 illegal data address", "异常应答 02 非法数据地址".
export function exceptionWords(exception) {
  return (lang === "zh" ? "异常应答 " : "exception ") + hex2(exception.code) + " " +
    exceptionName(exception);
}

// A diagnosis ({finding, text, facts}) in the page's language; the server's
// English text where the page has no words of its own for the finding.
export function diagnosisWords(diagnosis, extraFacts) {
  if (!diagnosis) {
    return "";
  }
  const words = lang === "zh" && ZH[diagnosis.finding];
  return words ? words(Object.assign({}, diagnosis.facts, extraFacts)) : diagnosis.text || "";
}

// What a failed scan's record says in the page's language: its exception, the
// port's loss, or its diagnosis after the reply wait.
export function failureWords(r) {
  if (r.link && r.link.state === "port-lost") {
    return diagnosisWords({ finding: "port-lost", text: r.link.diagnosis }, { port: r.port });
  }
  if (r.outcome === "exception" && r.exception) {
    return exceptionWords(r.exception);
  }
  return diagnosisWords(r.diagnosis);
}

// The findings the page words itself, for its checks.
export const WORDED = Object.keys(ZH);
