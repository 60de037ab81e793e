// The page's words: Chinese with the window's own words where it has them,
// English otherwise, chosen by the browser's preferred language. Signal names
// and legends are never translated: they come from the unit's tables. The
// Chinese texts use Chinese punctuation, except the window's own messages,
// quoted as it shows them (WINDOW_WORDS).

const zh = {
  title: "HCU-K40 监控", sections: "栏目", glance: "状态", values: "读数据",
  trends: "趋势", bits: "状态量", traffic: "收发报文", download: "下载",
  port: "串口", slave: "子站地址", scans: "扫描", failures: "失败",
  responseLast: "响应时间（上次）", responseMean: "响应时间（平均）", lastGood: "上次成功扫描",
  signal: "信号", value: "数值", unit: "单位", change: "变化", bit: "位", legend: "说明",
  journal: "变位记录（最新在前）", time: "时间", from: "原值", to: "新值",
  direction: "方向", frame: "报文（十六进制）", request: "发送", reply: "接收",
  pause: "暂停", paused: "已暂停，{0} 条新报文未显示", trafficList: "收发报文",
  csv: "下载 CSV", csvRange: "范围", csvVisible: "图表显示的范围", csvAll: "全部历史",
  csvExcel: "供 Excel 打开（带字节序标记）", charts: "曲线：dygraphs（MIT）",
  trendTools: "趋势工具", last10m: "10 分钟", last1h: "1 小时", last24h: "24 小时", all: "全部",
  zoomIn: "放大", zoomOut: "缩小", earlier: "◀ 向前", later: "向后 ▶", live: "实时",
  rangeFrom: "从", rangeTo: "到", show: "显示",
  viewLive: "实时：最近 {0}", viewLiveAll: "实时：全部历史", viewFixed: "固定：{0} 至 {1}",
  heldOnly: "（只有 {0} 的数据）", badRange: "请填入起止时间，起点早于终点。",
  chartHint: "拖动放大，Shift+拖动或双指平移，双击显示全部；图表获得焦点时：方向键平移，+ 和 − 缩放，Home 显示全部。",
  acVoltages: "交流电压（V）", voltages: "直流电压（V）", currents: "电流（A）", temperature: "温度（°C）",
  statMin: "最小", statMax: "最大", statMean: "平均", statLast: "最新", series: "曲线",
  statsOf: "{0}：显示范围内的统计", toggleSeries: "显示或隐藏 {0}", hoverNone: "—",
  answering: "正常应答", starting: "正在启动", noReply: "{0} 起无应答：{1}",
  portLost: "{0} 起串口丢失：{1}", stale: "过时，{0} 前", recent: "新", zone: "时区",
  commands: "控制", system: "系统遥控", moduleGroup: "模块遥控/遥调",
  moduleNote: "注意：执行模块遥控操作时首先要设置系统遥控为手动。",
  module: "被调模块序号", voltage: "调整电压", current: "调整电流",
  setVoltage: "调压设置", setCurrent: "限流设置", on: "开机", off: "关机",
  manual: "手 动", auto: "自 动", float: "浮 充", equalize: "均 充",
  confirmQuestion: "向 {2} 的子站 {1} 发送“{0}”？", send: "发送", cancel: "取消",
  confirmed: "操作成功!", notConfirmed: "操作不成功!", noReplyOutcome: "RTU无应答!",
  exception: "操作不成功!\n异常码 {0}：{1}", portLostOutcome: "串口丢失，未发送",
  refused: "被拒绝：{0}", busy: "另一命令正在执行", sending: "正在发送 {0} …",
  outcomeAt: "{0} {1}：{2}", wrongToken: "令牌错误，命令未发送；下次发送时将重新询问令牌。",
  intRange: "“请填入一个在{0}和{1}之间的整数。”", realRange: "“请填入一个在{0}和{1}之间的数字。”",
  token: "令牌", tokenAsk: "此服务器要求令牌才能发送命令（仅保存在此标签页）。", ok: "确定",
  moduleWords: "模块 {0} {1}",
  tokenAskRead: "此服务器要求令牌才能读取（命令令牌亦可；仅保存在此标签页）。",
  tokenWrongRead: "令牌错误，服务器拒绝读取；请重新输入令牌。", tokenNeeded: "没有令牌，无法读取此服务器。",
  csvWait: "服务器正忙于其他下载，{0} 秒后重试 …",
  gapNote: "空白处为扫描失败、串口丢失，或超过三个扫描周期加应答等待时间没有扫描记录（服务停止或历史文件开始之前）。",
  loading: "正在读取历史数据 …",
  alarmsNone: "无告警", alarmsCount: "{0} 条告警", titleAlarms: "{0} 告警",
  alarmsUnknown: "告警状态未知（无应答）", critical: "严重", warning: "警告", alarmSince: "{0} 起",
  runbook: "处理手册", modes: "运行方式：", linkIs: "通信：",
  stateAlarm: "正常|故障", stateOperation: "自动|手动", stateCharge: "均充|浮充",
  linkLostNote: "串口丢失", linkBackNote: "通信恢复", linkEntry: "通信", commandEntry: "控制",
  alarmStart: "{0} 告警", alarmEnd: "{0} 恢复",
};

const en = {
  title: "HCU-K40 monitor", sections: "Sections", glance: "State", values: "Measurements",
  trends: "Trends", bits: "Status bits", traffic: "Traffic", download: "Download",
  port: "Port", slave: "Slave", scans: "Scans", failures: "Failures",
  responseLast: "Response, last", responseMean: "Response, mean", lastGood: "Last good scan",
  signal: "Signal", value: "Value", unit: "Unit", change: "Change", bit: "Bit", legend: "Legend",
  journal: "Changes, newest first", time: "Time", from: "From", to: "To",
  direction: "Direction", frame: "Frame (hex)", request: "request", reply: "reply",
  pause: "Pause", paused: "paused, {0} new frames not shown", trafficList: "Frames",
  csv: "Download CSV", csvRange: "Range", csvVisible: "the charts' range", csvAll: "all the history",
  csvExcel: "for Excel (with a byte-order mark)", charts: "charts: dygraphs (MIT)",
  trendTools: "Trend tools", last10m: "10 min", last1h: "1 h", last24h: "24 h", all: "All",
  zoomIn: "Zoom in", zoomOut: "Zoom out", earlier: "◀ Earlier", later: "Later ▶", live: "Live",
  rangeFrom: "From", rangeTo: "to", show: "Show",
  viewLive: "live: the last {0}", viewLiveAll: "live: all the history", viewFixed: "fixed: {0} to {1}",
  heldOnly: " (only {0} held)", badRange: "Enter both times, the first before the second.",
  chartHint: "Drag to zoom, shift-drag or two fingers to pan, double-click for all; on a focused chart: arrows pan, + and − zoom, Home shows all.",
  acVoltages: "AC voltages (V)", voltages: "DC voltages (V)", currents: "Currents (A)",
  temperature: "Temperature (°C)",
  statMin: "min", statMax: "max", statMean: "mean", statLast: "last", series: "Series",
  statsOf: "{0}: over the range shown", toggleSeries: "show or hide {0}", hoverNone: "—",
  answering: "answering", starting: "starting", noReply: "no reply since {0}: {1}",
  portLost: "port lost since {0}: {1}", stale: "stale, {0} old", recent: "new", zone: "Time zone",
  commands: "Commands", system: "System", moduleGroup: "Rectifier module",
  moduleNote: "Set the system to Manual before commanding a module.",
  module: "Module number", voltage: "Voltage", current: "Current limit",
  setVoltage: "Set voltage", setCurrent: "Set current limit", on: "On", off: "Off",
  manual: "Manual", auto: "Auto", float: "Float charge", equalize: "Equalize",
  confirmQuestion: "Send {0} to slave {1} on {2}?", send: "Send", cancel: "Cancel",
  confirmed: "confirmed", notConfirmed: "not confirmed", noReplyOutcome: "no reply",
  exception: "exception {0}: {1}", portLostOutcome: "port lost, nothing sent",
  refused: "refused: {0}", busy: "another command is running", sending: "sending {0} …",
  outcomeAt: "{0} {1}: {2}", wrongToken: "wrong token: nothing was sent; the token is asked again at the next command.",
  intRange: "Enter a whole number between {0} and {1}.",
  realRange: "Enter a number between {0} and {1}.",
  token: "Token", tokenAsk: "This server needs a token for commands (kept for this tab only).",
  ok: "OK", moduleWords: "module {0} {1}",
  tokenAskRead: "This server needs a token for reading (a command token also reads; kept for this tab only).",
  tokenWrongRead: "Wrong token: the server refused to read with it. Enter the token again.", tokenNeeded: "Without a token this server cannot be read.",
  csvWait: "The server is busy with other downloads; trying again in {0} s …",
  gapNote: "Gaps are failed scans, a lost port, or a stretch of more than three intervals and the reply wait without a scan recorded (serve stopped, or before the history began).",
  loading: "Loading the history …",
  alarmsNone: "no active alarms", alarmsCount: "active alarms: {0}", titleAlarms: "alarms: {0}",
  alarmsUnknown: "alarms unknown (no reply)", critical: "critical", warning: "warning",
  alarmSince: "since {0}", runbook: "runbook", modes: "Modes:", linkIs: "Link:",
  stateAlarm: "normal|raised", stateOperation: "automatic|manual", stateCharge: "equalize|float",
  linkLostNote: "port lost", linkBackNote: "link back", linkEntry: "link", commandEntry: "command",
  alarmStart: "{0} raised", alarmEnd: "{0} cleared",
};

// The window's own messages, kept as it writes them.
export const WINDOW_WORDS = ["confirmed", "notConfirmed", "noReplyOutcome", "exception",
  "intRange", "realRange"];

// Both tables, for the page's own checks (the same keys, Chinese punctuation).
export const TABLES = Object.freeze({ zh, en });

function preferred() {
  const langs = navigator.languages && navigator.languages.length
    ? navigator.languages : [navigator.language || "en"];
  return /^zh\b/i.test(langs[0]) ? "zh" : "en";
}

export const lang = preferred();
const words = lang === "zh" ? zh : en;

// The text for key, with {0}, {1}, ... replaced by the arguments.
export function t(key, ...args) {
  const text = words[key] !== undefined ? words[key] : key;
  return text.replace(/\{(\d)\}/g, (_, i) => String(args[Number(i)]));
}

// Fills every element marked data-t (its text) or data-t-label (its name).
export function applyTexts(root) {
  document.documentElement.lang = lang === "zh" ? "zh-CN" : "en";
  document.title = t("title") + " · k40ctl serve";
  for (const el of root.querySelectorAll("[data-t]")) {
    el.textContent = t(el.dataset.t);
  }
  for (const el of root.querySelectorAll("[data-t-label]")) {
    el.setAttribute("aria-label", t(el.dataset.tLabel));
  }
}
