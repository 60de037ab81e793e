// The page's pure rules as one table, run in the page by k40ctl_page_e2e.py
// (test_q) in its own modules: the gap rule, the legend's statistics, the
// number rule of the command boxes, the words (the same keys in both
// languages, Chinese punctuation, Chinese for each finding), the download's
// name, the event stream's reading, the server's zone and the address of a
// view. Each case names its rule, what the page gives and what it must give;
// the failures are returned.
const done = arguments[arguments.length - 1];
Promise.all(['series', 'numbers', 'i18n', 'clock', 'views', 'findings', 'events'].map(
  m => import('/page/' + m + '.js'))).then(([series, numbers, i18n, clock, views, findings, events]) => {
  const store = (steps) => {  // times (s) and good (true) or failed (false) scans
    const s = new series.Store();
    steps.forEach(([t, good]) => s.add(t * 1000, good ? Array(9).fill(t) : null));
    return s;
  };
  const gaps = (steps, gapMs) => series.chartRows(store(steps), [0], 0, 1e9, 1000, gapMs)
    .filter(r => r[1] === null).length;
  const gap = 3 * 100 + 1500;  // three intervals of 0.1 s and the reply wait
  const stats = series.columnStats(store([[1, true], [2, false], [3, true], [9, true]]), 0, 2000, 8000);
  clock.serverSaid({ server_time: '2026-12-09T01:50:00.000-12:00', zone: 'KFT' });
  const zh = i18n.TABLES.zh, en = i18n.TABLES.en;
  const ascii = Object.entries(zh).filter(([k, v]) => !i18n.WINDOW_WORDS.includes(k) &&
    /[,;:!?()]/.test(v.replace(/\{\d\}/g, ''))).map(([k]) => k);
  const stream = (pieces) => {  // the events and retry time read from a stream cut in pieces
    const got = [], p = new events.EventParser((name, data) => got.push([name, data]));
    pieces.forEach(x => p.push(x));
    return [got, p.retryMs];
  };
  const cases = [
    ['events: CR LF cut in two, comments, unnamed, empty data', stream(['retry: 1000\r',
      '\n\r\nevent: scan\ndata: {"a"', ':1}\r\n\r\n: note\ndata:x\ndata\n\n']),
     [[['scan', '{"a":1}'], ['message', 'x\n']], 1000]],
    ['events: no blank line, no event', stream(['event: frame\ndata: 1\n']), [[], 0]],
    ['gap: a 0.301 s step', gaps([[0, true], [0.1, true], [0.401, true]], gap), 0],
    ['gap: a step of 1.8 s', gaps([[0, true], [1.8, true]], gap), 0],
    ['gap: a step of 1.9 s', gaps([[0, true], [1.9, true]], gap), 1],
    ['gap: a failed scan', gaps([[0, true], [0.1, false], [0.2, true]], gap), 1],
    ['gap: failed scans in a row', gaps([[0, true], [0.1, false], [0.2, false], [0.3, true]], gap), 1],
    ['stats: failed scans left out', [stats.min, stats.max, stats.mean, stats.last, stats.n], [3, 3, 3, 3, 1]],
    ['whole: decimal digits', numbers.inRange('12', 0, 20, true), 12],
    ['whole: blanks around', numbers.inRange(' \t7 ', 0, 20, true), 7],
    ['whole: an exponent', numbers.inRange('1e1', 0, 20, true), null],
    ['whole: a fraction', numbers.inRange('1.0', 0, 20, true), null],
    ['whole: hexadecimal', numbers.inRange('0x10', 0, 20, true), null],
    ['whole: +0', numbers.inRange('+0', 0, 20, true), null],
    ['whole: beyond', numbers.inRange('21', 0, 20, true), null],
    ['real: an exponent', numbers.inRange('2e2', 0, 300, false), 200],
    ['real: hexadecimal', numbers.inRange('0x10', 0, 300, false), null],
    ['real: a float above the top', numbers.inRange('300.001', 0, 300, false), null],
    ['real: the top', numbers.inRange('300', 0, 300, false), 300],
    ['real: .0', numbers.inRange('.0', 0, 300, false), null],
    ['real: 0.0', numbers.inRange('0.0', 0, 300, false), 0],
    ['real: a comma', numbers.inRange('2,5', 0, 300, false), null],
    ['real: infinity', numbers.inRange('Infinity', 0, 300, false), null],
    ['words: the same keys', Object.keys(zh).sort(), Object.keys(en).sort()],
    ['words: Chinese punctuation', ascii, []],
    ['words: Chinese for each finding', ['nothing', 'echo-only', 'lone-copy', 'echo-altered',
      'no-frame', 'crc-error', 'other-slave', 'earlier-reply', 'peer-closed', 'port-lost']
      .filter(f => !findings.WORDED.includes(f)), []],
    ['file: the server date', clock.csvName(Date.parse('2026-12-09T01:50:00Z')), 'k40-history-2026-12-08.csv'],
    ['file: at midnight there', clock.csvName(Date.parse('2026-12-09T12:00:00Z')), 'k40-history-2026-12-09.csv'],
    ['zone: named', clock.zoneLabel(), 'UTC-12:00 (KFT)'],
    ['clock: the server zone', clock.clock(Date.parse('2026-12-09T01:50:07Z')), '13:50:07'],
    ['picker: the server zone', clock.fromLocal('2026-12-08T13:50:07'), Date.parse('2026-12-09T01:50:07Z')],
    ['address: fixed', views.viewOfHash(views.hashOfView({ span: 6e5, end: 1765245000000 },
      [1765244400000, 1765245000000])), { from: 1765244400000, to: 1765245000000 }],
    ['address: live', views.viewOfHash(views.hashOfView({ span: 3600e3, end: null }, [0, 1])), { live: 3600 }],
    ['address: all, live', views.hashOfView({ span: 0, end: null }, [0, 1]), ''],
    ['address: all, live, asked', views.viewOfHash('#live=all'), { live: 0 }],
    ['address: backwards', views.viewOfHash('#from=2026-12-09T02:00:00Z&to=2026-12-09T01:00:00Z'), null],
  ];
  done(cases.filter(([, got, want]) => JSON.stringify(got) !== JSON.stringify(want))
    .map(([name, got, want]) => name + ': ' + JSON.stringify(got) + ' != ' + JSON.stringify(want)));
}, e => done([String(e)]));
