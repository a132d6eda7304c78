// The review page of `vexlor review`: the groups of a duplicate search (or
// the matches of a match, each MASTER record with the FILE records paired
// with it), largest and least certain first, with what differs inside each,
// and the decisions a person makes on them, saved to the server as they are
// made. Everything comes from the server that served the page; it asks
// nothing of any other host. The page first reads only the list of groups;
// the records of the groups on screen follow in small pieces, and only those
// groups are drawn, so large reviews open and scroll quickly.
'use strict';

const TEXTS = {
  en: {
    title: 'Review of {file}',
    progress: '{n} of {m} groups reviewed',
    saving: 'Saving…', saved: 'All decisions saved',
    notSaved: 'Not saved: {why}',
    done: 'Done', ended: 'The review has ended; this tab may be closed.',
    group: 'Group {n}', records: '{n} records', holds: 'holds to {s}',
    loose: 'not tied together by its pairs',
    reviewed: 'reviewed', open: 'open', mergedInto: 'merged into group {n}',
    mergedFrom: 'joined by group {n}', splitOff: 'split off',
    splitCount: '{n} split off',
    accept: 'Accept', split: 'Split off', merge: 'Merge…', undo: 'Undo',
    row: 'Row', pairs: 'Similarity',
    whatIf: 'What if Threshold were',
    whatIfResult: '{g} groups and {r} records would change; {k} groups would remain.',
    whatIfNone: 'At Threshold {t}, as searched.',
    histogram: 'Pair similarities: {n} pairs, Threshold {t}',
    keys: 'Keys: j / k next / previous group, ↓ / ↑ choose a record, ' +
          'a accept, s split off the chosen record, m merge with another ' +
          'group, u undo.',
    mergeLabel: 'Merge group {n} into group number:',
    mergeOk: 'Merge', cancel: 'Cancel',
    mergeBad: 'No group {n} to merge into.',
    mergeCycle: 'Group {n} is already merged into this one.',
    noGroups: 'No groups to review.',
    loadFailed: 'The review could not be loaded: {why}',
    loading: 'Loading…',
    matchTitle: 'Review of the matches in {file}',
    match: 'Match {n}', master: 'MASTER', incoming: 'FILE',
    matched: 'matched', alsoPaired: 'also paired',
    accepted: 'accepted', rejected: 'rejected', reject: 'Reject',
    matchProgress: '{n} of {m} matches reviewed',
    matchKeys: 'Keys: j / k next / previous match, a accept, r reject ' +
               '(the match is removed), u undo.',
    matchWhatIf: '{g} matches would lose {r} FILE records; {k} would ' +
        'keep one or more.',
    pair: 'Pair', score: 'Score',
    evidence: 'Evidence per column (level, weight)',
    uncertain: '{n} uncertain pairs (match probability 0.2 to 0.8)',
    uncertainFirst: '{n} uncertain pairs (match probability 0.2 to 0.8): ' +
        'their groups come first.',
  },
  de: {
    title: 'Prüfung von {file}',
    progress: '{n} von {m} Gruppen geprüft',
    saving: 'Wird gespeichert…', saved: 'Alle Entscheidungen gespeichert',
    notSaved: 'Nicht gespeichert: {why}',
    done: 'Fertig', ended: 'Die Prüfung ist beendet; dieser Tab kann ' +
        'geschlossen werden.',
    group: 'Gruppe {n}', records: '{n} Datensätze', holds: 'hält bis {s}',
    loose: 'durch seine Paare nicht verbunden',
    reviewed: 'geprüft', open: 'offen', mergedInto: 'mit Gruppe {n} vereint',
    mergedFrom: 'Gruppe {n} hinzugefügt', splitOff: 'abgetrennt',
    splitCount: '{n} abgetrennt',
    accept: 'Bestätigen', split: 'Abtrennen', merge: 'Vereinen…',
    undo: 'Zurücknehmen',
    row: 'Zeile', pairs: 'Ähnlichkeit',
    whatIf: 'Was wäre bei Threshold',
    whatIfResult: '{g} Gruppen und {r} Datensätze würden sich ändern; ' +
        '{k} Gruppen blieben.',
    whatIfNone: 'Bei Threshold {t}, wie gesucht.',
    histogram: 'Ähnlichkeit der Paare: {n} Paare, Threshold {t}',
    keys: 'Tasten: j / k nächste / vorige Gruppe, ↓ / ↑ Datensatz wählen, ' +
          'a bestätigen, s gewählten Datensatz abtrennen, m mit anderer ' +
          'Gruppe vereinen, u zurücknehmen.',
    mergeLabel: 'Gruppe {n} vereinen mit Gruppe Nummer:',
    mergeOk: 'Vereinen', cancel: 'Abbrechen',
    mergeBad: 'Es gibt keine Gruppe {n}.',
    mergeCycle: 'Gruppe {n} ist bereits mit dieser vereint.',
    noGroups: 'Keine Gruppen zu prüfen.',
    loadFailed: 'Die Prüfung konnte nicht geladen werden: {why}',
    loading: 'Wird geladen…',
    matchTitle: 'Prüfung der Treffer in {file}',
    match: 'Treffer {n}', master: 'MASTER', incoming: 'FILE',
    matched: 'zugeordnet', alsoPaired: 'auch gepaart',
    accepted: 'bestätigt', rejected: 'abgelehnt', reject: 'Ablehnen',
    matchProgress: '{n} von {m} Treffern geprüft',
    matchKeys: 'Tasten: j / k nächster / voriger Treffer, a bestätigen, ' +
               'r ablehnen (der Treffer wird entfernt), u zurücknehmen.',
    matchWhatIf: '{g} Treffer würden {r} FILE-Datensätze verlieren; {k} ' +
        'behielten einen oder mehr.',
    pair: 'Paar', score: 'Wert',
    evidence: 'Belege je Spalte (Stufe, Gewicht)',
    uncertain: '{n} unsichere Paare (Treffer-Wahrscheinlichkeit 0,2 bis 0,8)',
    uncertainFirst: '{n} unsichere Paare (Treffer-Wahrscheinlichkeit 0,2 ' +
        'bis 0,8): ihre Gruppen kommen zuerst.',
  },
};

const LANG = (navigator.languages && navigator.languages[0] ||
              navigator.language || 'en').toLowerCase().startsWith('de') ?
    'de' : 'en';
const NUMBER = new Intl.NumberFormat(LANG, {maximumFractionDigits: 2});

function t(key, values) {
  return TEXTS[LANG][key].replace(/\{(\w+)\}/g, (_, name) => {
    const v = values[name];
    return typeof v === 'number' ? NUMBER.format(v) : String(v);
  });
}

const TOKEN = new URLSearchParams(location.search).get('token') || '';
const $ = (id) => document.getElementById(id);

function el(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined) e.textContent = text;
  return e;
}

// ---- The data ----------------------------------------------------------

const state = {
  kind: 'groups',    // or 'match'
  columns: [],
  evidence: [],      // the model's columns with estimated scoring
  probabilities: false,  // similarities are match probabilities
  uncertain: 0,      // pairs with a probability of 0.2 to 0.8
  threshold: 80,
  groups: [],        // in display order; see prepare()
  byKey: new Map(),  // key (first row) -> group
  allPairs: null,    // once asked for: every group's rows and pairs
  decisions: new Map(),  // key -> {reviewed, split: Set, merge_into, reject}
  focus: 0,          // index of the focused group
};

const isMatch = () => state.kind === 'match';

// Components of `rows` joined by the pairs at or above `limit`, by
// union-find; returns the component sizes.
function componentSizes(rows, pairs, limit) {
  const parent = new Map();
  for (const r of rows) parent.set(r, r);
  const find = (x) => {
    while (parent.get(x) !== x) {
      const up = parent.get(parent.get(x));
      parent.set(x, up);
      x = up;
    }
    return x;
  };
  for (const [a, b, s] of pairs) {
    if (s >= limit) parent.set(find(a), find(b));
  }
  const sizes = new Map();
  for (const r of rows) {
    const root = find(r);
    sizes.set(root, (sizes.get(root) || 0) + 1);
  }
  return [...sizes.values()];
}

// The server sends the groups in the order shown (largest, then least
// certain first) with their sizes; records and pairs come with fill().
function prepare(data) {
  state.kind = data.kind;
  state.columns = data.columns;
  state.idColumn = data.id_column;
  state.threshold = data.threshold;
  state.evidence = data.evidence;
  state.histogram = data.histogram;
  state.probabilities = !!data.probabilities;
  state.uncertain = data.uncertain || 0;
  state.groups = data.groups.map(([key, size, holds, pairs, unsure], i) => ({
    key, size, holds, pairCount: pairs, uncertain: unsure || 0, number: i + 1,
    rows: null, records: null, pairs: null, evidence: null,
  }));
  for (const g of state.groups) state.byKey.set(g.key, g);
}

function fill(g, loaded) {
  g.records = loaded.records;
  g.rows = loaded.records.map((r) => r[0]);
  g.pairs = loaded.pairs;
  g.evidence = loaded.evidence || null;
}

function newDecision() {
  return {reviewed: false, split: new Set(), merge_into: 0, reject: false};
}

function decisionOf(group) {
  let d = state.decisions.get(group.key);
  if (!d) {
    d = newDecision();
    state.decisions.set(group.key, d);
  }
  return d;
}

function isEmptyDecision(d) {
  return !d.reviewed && d.split.size === 0 && !d.merge_into && !d.reject;
}

// Where merges lead from a group's key: the key it ends in.
function finalKey(key) {
  const seen = new Set();
  while (!seen.has(key)) {
    seen.add(key);
    const d = state.decisions.get(key);
    if (!d || !d.merge_into) return key;
    key = d.merge_into;
  }
  return key;
}

function reviewedCount() {
  let n = 0;
  for (const d of state.decisions.values()) if (d.reviewed) ++n;
  return n;
}

// ---- Saving --------------------------------------------------------------

const saver = {busy: false, again: false, running: Promise.resolve()};

function decisionsJson() {
  const list = [];
  for (const [key, d] of [...state.decisions].sort((x, y) => x[0] - y[0])) {
    if (isEmptyDecision(d)) continue;
    list.push(isMatch() ? {group: key, reviewed: d.reviewed, reject: d.reject} :
        {group: key, reviewed: d.reviewed,
         split: [...d.split].sort((x, y) => x - y),
         merge_into: d.merge_into});
  }
  return JSON.stringify({decisions: list});
}

function showSaved(kind, why) {
  const s = $('saved');
  s.dataset.state = kind;
  s.textContent = kind === 'saving' ? t('saving', {}) :
      kind === 'saved' ? t('saved', {}) : t('notSaved', {why});
}

// Sends the decisions; a change while a save is under way is sent after it.
function save() {
  if (saver.busy) {
    saver.again = true;
  } else {
    saver.busy = true;
    saver.running = sendDecisions();
  }
  return saver.running;
}

async function sendDecisions() {
  showSaved('saving');
  do {
    saver.again = false;
    try {
      const res = await fetch('decisions?token=' + TOKEN, {
        method: 'POST', body: decisionsJson(),
        headers: {'Content-Type': 'application/json'}});
      if (!res.ok) throw new Error((await res.text()).trim());
      if (!saver.again) showSaved('saved');
    } catch (e) {
      showSaved('failed', e.message);
    }
  } while (saver.again);
  saver.busy = false;
}

window.addEventListener('beforeunload', (e) => {
  if (saver.busy || $('saved').dataset.state === 'failed') e.preventDefault();
});

// ---- What differs --------------------------------------------------------

// Marks in `text` the characters outside a longest common subsequence with
// `base`; returns [[piece, differs], ...].
function differences(base, text) {
  if (base === text) return [[text, false]];
  const a = [...base], b = [...text];
  if (a.length * b.length > 40000 || a.length === 0) return [[text, true]];
  const n = a.length, m = b.length;
  const lcs = new Uint16Array((n + 1) * (m + 1));
  for (let i = n - 1; i >= 0; --i) {
    for (let j = m - 1; j >= 0; --j) {
      lcs[i * (m + 1) + j] = a[i] === b[j] ?
          lcs[(i + 1) * (m + 1) + j + 1] + 1 :
          Math.max(lcs[(i + 1) * (m + 1) + j], lcs[i * (m + 1) + j + 1]);
    }
  }
  const pieces = [];
  const push = (ch, differs) => {
    const last = pieces[pieces.length - 1];
    if (last && last[1] === differs) last[0] += ch;
    else pieces.push([ch, differs]);
  };
  let i = 0, j = 0;
  while (j < m) {
    if (i < n && a[i] === b[j]) {
      push(b[j], false); ++i; ++j;
    } else if (i < n && lcs[(i + 1) * (m + 1) + j] >= lcs[i * (m + 1) + j + 1]) {
      ++i;
    } else {
      push(b[j], true); ++j;
    }
  }
  return pieces;
}

// ---- Layout: only the groups on screen are drawn --------------------------

const layout = {rem: 16, tops: [], heights: [], drawn: new Map()};
const ROW_REM = 1.9, HEAD_REM = 3.2, GAP_REM = 0.8, SCROLLBAR_REM = 1.2;
const EVIDENCE_ROW_REM = 1.5;

// The evidence table under a group: a caption, a header and a row a pair.
function evidenceRem(g) {
  return state.evidence.length ?
      (g.pairCount + 2) * EVIDENCE_ROW_REM + SCROLLBAR_REM : 0;
}

function measure() {
  layout.rem = parseFloat(getComputedStyle(document.documentElement).fontSize);
  let top = 0;
  layout.tops = [];
  layout.heights = [];
  for (const g of state.groups) {
    const h = (HEAD_REM + (g.size + 1) * ROW_REM + SCROLLBAR_REM +
               evidenceRem(g)) * layout.rem;
    layout.tops.push(top);
    layout.heights.push(h);
    top += h + GAP_REM * layout.rem;
  }
  $('groups').style.height = top + 'px';
  for (const e of layout.drawn.values()) e.remove();
  layout.drawn.clear();
  return draw();
}

function firstVisible(y) {
  let lo = 0, hi = layout.tops.length;
  while (lo < hi) {
    const mid = (lo + hi) >> 1;
    if (layout.tops[mid] + layout.heights[mid] < y) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

let drawPending = false;
function scheduleDraw() {
  if (drawPending) return;
  drawPending = true;
  requestAnimationFrame(() => { drawPending = false; draw(); });
}

// Records of the groups, fetched a piece at a time as they come on screen.
const CHUNK = 40;
const chunks = new Map();  // piece number -> promise of its groups

function load(from, to) {
  const waits = [];
  for (let c = Math.floor(from / CHUNK); c * CHUNK < to; ++c) {
    if (!chunks.has(c)) {
      const first = c * CHUNK;
      const last = Math.min(state.groups.length, first + CHUNK);
      chunks.set(c, fetch(`groups?token=${TOKEN}&from=${first}&to=${last}`)
          .then((res) => {
            if (!res.ok) throw new Error(String(res.status));
            return res.json();
          })
          .then((list) => {
            list.forEach((loaded, k) => fill(state.groups[first + k], loaded));
            for (let i = first; i < last; ++i) redrawGroup(i);
          })
          .catch((e) => {
            chunks.delete(c);
            setMessage(t('loadFailed', {why: e.message}));
          }));
    }
    waits.push(chunks.get(c));
  }
  return Promise.all(waits);
}

function draw() {
  const box = $('groups');
  const origin = box.getBoundingClientRect().top + window.scrollY;
  const margin = window.innerHeight;
  const from = window.scrollY - origin - margin;
  const to = window.scrollY - origin + window.innerHeight + margin;
  const wanted = new Set();
  for (let i = firstVisible(from); i < state.groups.length &&
       layout.tops[i] < to; ++i) {
    wanted.add(i);
  }
  for (const [i, e] of layout.drawn) {
    if (!wanted.has(i)) {
      e.remove();
      layout.drawn.delete(i);
    }
  }
  for (const i of wanted) {
    if (!layout.drawn.has(i)) {
      const e = groupElement(i);
      box.appendChild(e);
      layout.drawn.set(i, e);
    }
  }
  if (!wanted.size) return Promise.resolve();
  return load(Math.min(...wanted), Math.max(...wanted) + 1);
}

function redrawGroup(i) {
  const old = layout.drawn.get(i);
  if (!old) return;
  const e = groupElement(i);
  old.replaceWith(e);
  layout.drawn.set(i, e);
}

// The record of the group a split takes by default: the one least tied to
// the others (ties: the later one).
function weakestRecord(g) {
  const best = new Map(g.rows.map((r) => [r, 0]));
  for (const [a, b, s] of g.pairs) {
    best.set(a, Math.max(best.get(a), s));
    best.set(b, Math.max(best.get(b), s));
  }
  let pick = g.rows.length - 1;
  for (let k = g.rows.length - 1; k >= 0; --k) {
    if (best.get(g.rows[k]) < best.get(g.rows[pick])) pick = k;
  }
  return pick;
}

function statusText(g, d) {
  if (isMatch()) {
    return !d.reviewed ? t('open', {}) :
        d.reject ? t('rejected', {}) : t('accepted', {});
  }
  let status = d.reviewed ? t('reviewed', {}) : t('open', {});
  if (d.merge_into) {
    status = t('mergedInto', {n: state.byKey.get(d.merge_into).number});
  }
  if (d.split.size) status += ', ' + t('splitCount', {n: d.split.size});
  const joined = [];
  for (const [key, other] of state.decisions) {
    if (other.merge_into === g.key) joined.push(state.byKey.get(key).number);
  }
  for (const n of joined.sort((x, y) => x - y)) {
    status += ', ' + t('mergedFrom', {n});
  }
  return status;
}

const ACTIONS = {
  groups: [['accept', 'accept', 'a'], ['split', 'split', 's'],
           ['merge', 'merge', 'm'], ['undo', 'undo', 'u']],
  match: [['accept', 'accept', 'a'], ['reject', 'reject', 'r'],
          ['undo', 'undo', 'u']],
};

function groupHead(i, g, d) {
  const head = el('div', 'group-head');
  const name = isMatch() ? 'match' : 'group';
  head.append(el('h2', '', t(name, {n: g.number})));
  const facts = [t('records', {n: g.size}),
                 g.holds > 0 ? t('holds', {s: g.holds}) : t('loose', {})];
  if (g.uncertain > 0) facts.push(t('uncertain', {n: g.uncertain}));
  head.append(el('span', 'facts', facts.join(' · ')));
  head.append(el('span', 'status', statusText(g, d)));
  for (const [action, label, key] of ACTIONS[state.kind]) {
    const b = el('button', action, t(label, {}));
    b.type = 'button';
    b.setAttribute('aria-keyshortcuts', key);
    b.addEventListener('click', () => {
      state.focus = i;
      act(action);
    });
    head.append(b);
  }
  return head;
}

// What a record is called in its first cell: its place and row, in a
// match review also its table (FILE rows come negative).
function recordName(k, row) {
  if (!isMatch()) return `${k + 1}. #${row}`;
  if (row > 0) return `${k + 1}. ${t('master', {})} #${row}`;
  return `${k + 1}. ${t('incoming', {})} #${-row} · ` +
      (k === 1 ? t('matched', {}) : t('alsoPaired', {}));
}

function recordTable(i, g, d) {
  const table = el('table', 'records');
  const tr = el('tr');
  tr.append(el('th', 'row-number', t('row', {})));
  for (const c of state.columns) tr.append(el('th', '', c));
  tr.append(el('th', 'pairs', t('pairs', {})));
  const thead = el('thead');
  thead.append(tr);
  table.append(thead);
  const tbody = el('tbody');
  if (!g.records) {
    const row = el('tr');
    const td = el('td', 'loading', t('loading', {}));
    td.colSpan = state.columns.length + 2;
    row.append(td);
    tbody.append(row);
    table.append(tbody);
    return table;
  }
  const position = new Map(g.rows.map((r, k) => [r, k + 1]));
  const chosen = g.chosen === undefined ? weakestRecord(g) : g.chosen;
  g.records.forEach((record, k) => {
    const row = el('tr');
    const split = d.split.has(record[0]);
    if (split) row.classList.add('split');
    if (isMatch() && k === 1 && d.reject) row.classList.add('split');
    if (k === chosen && i === state.focus && !isMatch()) {
      row.classList.add('chosen');
    }
    const number = el('td', 'row-number', recordName(k, record[0]));
    if (split) number.title = t('splitOff', {});
    row.append(number);
    for (let c = 1; c < record.length; ++c) {
      const td = el('td');
      td.title = record[c];
      // Ids differ by nature; marking them would only distract.
      const plain = k === 0 || c - 1 === state.idColumn;
      for (const [piece, differs] of
           plain ? [[record[c], false]] : differences(g.records[0][c],
                                                      record[c])) {
        td.append(differs ? el('mark', '', piece) : document.createTextNode(piece));
      }
      row.append(td);
    }
    const links = g.pairs.filter((p) => p[0] === record[0] || p[1] === record[0])
        .map((p) => [position.get(p[0] === record[0] ? p[1] : p[0]), p[2]])
        .sort((x, y) => y[1] - x[1])
        .map(([other, s]) => `${other}: ${NUMBER.format(s)}`).join(' · ');
    const sim = el('td', 'pairs', (split ? t('splitOff', {}) + ' · ' : '') + links);
    sim.title = sim.textContent;
    row.append(sim);
    tbody.append(row);
  });
  table.append(tbody);
  return table;
}

// With estimated scoring: each pair's level and match weight per column.
function evidenceTable(g) {
  const table = el('table', 'evidence');
  table.append(el('caption', '', t('evidence', {})));
  const tr = el('tr');
  for (const c of [t('pair', {}), t('score', {}), ...state.evidence]) {
    tr.append(el('th', '', c));
  }
  const thead = el('thead');
  thead.append(tr);
  table.append(thead);
  const tbody = el('tbody');
  const position = new Map(g.rows.map((r, k) => [r, k + 1]));
  g.pairs.forEach((p, j) => {
    // A probability between 0.2 and 0.8: the model is unsure of this pair.
    const row = el('tr', state.probabilities && p[2] >= 20 && p[2] <= 80 ?
                   'uncertain' : '');
    row.append(el('td', 'row-number',
                  `${position.get(p[0])}–${position.get(p[1])}`));
    row.append(el('td', '', NUMBER.format(p[2])));
    const cells = g.evidence[j] || [];
    for (let c = 0; c < state.evidence.length; ++c) {
      const level = cells[2 * c], weight = cells[2 * c + 1];
      const text = level === null || level === undefined ? '–' :
          weight === null ? level :
          `${level} ${weight > 0 ? '+' : ''}${NUMBER.format(weight)}`;
      const td = el('td', weight > 0 ? 'for' : weight < 0 ? 'against' : '',
                    text);
      row.append(td);
    }
    tbody.append(row);
  });
  table.append(tbody);
  return table;
}

function groupElement(i) {
  const g = state.groups[i];
  const d = state.decisions.get(g.key) || newDecision();
  const box = el('section', 'group');
  box.style.transform = `translateY(${layout.tops[i]}px)`;
  box.style.height = layout.heights[i] + 'px';
  box.setAttribute('aria-label',
                   t(isMatch() ? 'match' : 'group', {n: g.number}));
  if (i === state.focus) box.classList.add('focused');
  if (d.reviewed) box.classList.add('reviewed');
  if (d.merge_into || d.reject) box.classList.add('merged');
  box.append(groupHead(i, g, d));
  const wrap = el('div', 'table-wrap');
  wrap.append(recordTable(i, g, d));
  box.append(wrap);
  if (state.evidence.length && g.evidence) {
    const more = el('div', 'table-wrap');
    more.append(evidenceTable(g));
    box.append(more);
  }
  return box;
}

// ---- Decisions -------------------------------------------------------------

function setMessage(text) {
  $('message').textContent = text;
}

function updateProgress() {
  $('progress').textContent = t(isMatch() ? 'matchProgress' : 'progress',
                                {n: reviewedCount(), m: state.groups.length});
}

function changed(i) {
  const g = state.groups[i];
  const d = state.decisions.get(g.key);
  if (d && isEmptyDecision(d)) state.decisions.delete(g.key);
  redrawGroup(i);
  // The groups merged into this one or that it joins show it too.
  for (const [j] of layout.drawn) if (j !== i) redrawGroup(j);
  updateProgress();
  save();
}

function moveFocus(to) {
  if (!state.groups.length) return;
  const before = state.focus;
  state.focus = Math.max(0, Math.min(state.groups.length - 1, to));
  redrawGroup(before);
  redrawGroup(state.focus);
  const bar = $('bar').getBoundingClientRect().height;
  const box = $('groups');
  const top = box.getBoundingClientRect().top + window.scrollY +
      layout.tops[state.focus];
  const height = layout.heights[state.focus];
  if (top - bar < window.scrollY ||
      top + height > window.scrollY + window.innerHeight) {
    window.scrollTo(0, top - bar - layout.rem * 0.5);
  }
  const loaded = draw();
  const e = layout.drawn.get(state.focus);
  if (e) {
    e.tabIndex = -1;
    e.focus({preventScroll: true});
  }
  return loaded;
}

function act(action) {
  const i = state.focus;
  const g = state.groups[i];
  if (!g) return;
  setMessage('');
  if (action === 'accept' || action === 'reject') {
    const d = decisionOf(g);
    d.reviewed = true;
    d.reject = action === 'reject';
    changed(i);
    moveFocus(i + 1);
  } else if (action === 'split') {
    if (!g.records) return;  // not on screen yet
    const k = g.chosen === undefined ? weakestRecord(g) : g.chosen;
    const d = decisionOf(g);
    const row = g.rows[k];
    if (d.split.has(row)) d.split.delete(row); else d.split.add(row);
    d.reviewed = true;
    changed(i);
  } else if (action === 'merge') {
    openMerge(g);
  } else if (action === 'undo') {
    state.decisions.delete(g.key);
    changed(i);
  }
}

function chooseRecord(step) {
  const g = state.groups[state.focus];
  if (!g || !g.records || isMatch()) return;
  const k = g.chosen === undefined ? weakestRecord(g) : g.chosen;
  g.chosen = Math.max(0, Math.min(g.rows.length - 1, k + step));
  redrawGroup(state.focus);
}

function openMerge(g) {
  const dialog = $('merge-dialog');
  $('merge-label').textContent = t('mergeLabel', {n: g.number});
  $('merge-error').textContent = '';
  const input = $('merge-target');
  input.max = String(state.groups.length);
  input.value = '';
  dialog.returnValue = '';
  dialog.showModal();
  input.focus();
}

function finishMerge(event) {
  event.preventDefault();
  const g = state.groups[state.focus];
  const n = Number($('merge-target').value);
  const target = state.groups[n - 1];
  if (!Number.isInteger(n) || !target || target === g) {
    $('merge-error').textContent = t('mergeBad', {n: $('merge-target').value});
    return;
  }
  if (finalKey(target.key) === g.key) {
    $('merge-error').textContent = t('mergeCycle', {n});
    return;
  }
  const d = decisionOf(g);
  d.merge_into = target.key;
  d.reviewed = true;
  $('merge-dialog').close('ok');
  changed(state.focus);
  moveFocus(state.focus + 1);
}

function onKey(event) {
  if (event.ctrlKey || event.altKey || event.metaKey) return;
  if ($('merge-dialog').open) return;
  const tag = event.target && event.target.tagName;
  if (tag === 'INPUT' || tag === 'TEXTAREA' || tag === 'SELECT') return;
  const keys = {
    j: () => moveFocus(state.focus + 1),
    k: () => moveFocus(state.focus - 1),
    a: () => act('accept'),
    u: () => act('undo'),
  };
  if (isMatch()) {
    keys.r = () => act('reject');
  } else {
    Object.assign(keys, {
      s: () => act('split'),
      m: () => act('merge'),
      ArrowDown: () => chooseRecord(1),
      ArrowUp: () => chooseRecord(-1),
    });
  }
  const handled = keys[event.key];
  if (!handled) return;
  event.preventDefault();
  handled();
}

// ---- Histogram and what-if ---------------------------------------------------

const SVG = 'http://www.w3.org/2000/svg';

// The server counts the pairs per whole percent, so the page needs no pair
// to draw them.
function drawHistogram() {
  const low = state.histogram.low;
  const bins = state.histogram.counts;
  const total = bins.reduce((n, c) => n + c, 0);
  const most = Math.max(1, ...bins);
  const width = 600, height = 120;
  const step = width / bins.length;
  const svg = document.createElementNS(SVG, 'svg');
  svg.setAttribute('viewBox', `0 0 ${width} ${height + 16}`);
  svg.setAttribute('role', 'img');
  svg.setAttribute('aria-label',
                   t('histogram', {n: total, t: state.threshold}));
  const shape = (name, attrs) => {
    const e = document.createElementNS(SVG, name);
    for (const [k, v] of Object.entries(attrs)) e.setAttribute(k, v);
    svg.append(e);
    return e;
  };
  bins.forEach((count, b) => {
    const h = count / most * height;
    shape('rect', {x: b * step + 0.5, y: height - h, width: step - 1,
                   height: h, class: 'bar'});
  });
  const at = (s) => (s - low) * step;
  shape('line', {x1: at(state.threshold), x2: at(state.threshold), y1: 0,
                 y2: height, class: 'threshold'});
  state.whatIfLine = shape('line', {x1: 0, x2: 0, y1: 0, y2: height,
                                    class: 'what-if'});
  state.whatIfAt = at;
  for (let s = Math.ceil(low / 5) * 5; s <= 100; s += 5) {
    const label = shape('text', {x: at(s) + step / 2, y: height + 13,
                                 class: 'tick'});
    label.textContent = String(s);
  }
  $('histogram').append(svg);
}

// Every group's rows and pairs, asked for the first time the threshold is
// moved: opening the page does not wait for them.
function loadAllPairs() {
  if (!state.allPairs) {
    state.allPairs = fetch('pairs?token=' + TOKEN)
        .then((res) => {
          if (!res.ok) throw new Error(String(res.status));
          return res.json();
        })
        .then((list) => list.forEach(([rows, pairs], i) => {
          const g = state.groups[i];
          if (!g.records) {
            g.rows = rows;
            g.pairs = pairs;
          }
          g.allRows = rows;
          g.allPairs = pairs;
          state.pairsReady = true;
        }))
        .catch((e) => {
          state.allPairs = null;
          setMessage(t('loadFailed', {why: e.message}));
          throw e;
        });
  }
  return state.allPairs;
}

let whatIfPending = false;
function whatIf() {
  if (whatIfPending) return;
  whatIfPending = true;
  const limit = Number($('what-if-threshold').value);
  const ready = limit <= state.threshold ? Promise.resolve() : loadAllPairs();
  ready.then(() => requestAnimationFrame(() => {
    whatIfPending = false;
    const limit = Number($('what-if-threshold').value);
    if (limit > state.threshold && !state.pairsReady) {
      whatIf();  // moved past Threshold while nothing was asked for
      return;
    }
    $('what-if-value').textContent = NUMBER.format(limit);
    state.whatIfLine.setAttribute('x1', state.whatIfAt(limit));
    state.whatIfLine.setAttribute('x2', state.whatIfAt(limit));
    if (limit <= state.threshold) {
      $('what-if-result').textContent = t('whatIfNone', {t: state.threshold});
      return;
    }
    let groups = 0, records = 0, remain = 0;
    for (const g of state.groups) {
      if (g.holds >= limit) {
        ++remain;
        continue;
      }
      const sizes = componentSizes(g.allRows, g.allPairs, limit);
      ++groups;
      records += g.allRows.length - Math.max(...sizes);
      remain += sizes.filter((s) => s > 1).length;
    }
    $('what-if-result').textContent = t(
        isMatch() ? 'matchWhatIf' : 'whatIfResult',
        {g: groups, r: records, k: remain});
  }), () => { whatIfPending = false; });
}

// ---- Start -------------------------------------------------------------------

async function start() {
  document.documentElement.lang = LANG;
  $('done').textContent = t('done', {});
  $('what-if-label').textContent = t('whatIf', {});

  $('merge-ok').textContent = t('mergeOk', {});
  $('merge-cancel').textContent = t('cancel', {});
  let data, kept;
  try {
    const [d, k] = await Promise.all([
      fetch('data?token=' + TOKEN), fetch('decisions?token=' + TOKEN)]);
    if (!d.ok || !k.ok) throw new Error(`${d.status} ${k.status}`);
    data = await d.json();
    kept = await k.json();
  } catch (e) {
    setMessage(t('loadFailed', {why: e.message}));
    return;
  }
  performance.mark('vexlor-review-data');
  prepare(data);
  for (const d of kept.decisions) {
    if (!state.byKey.has(d.group)) continue;
    state.decisions.set(d.group, {reviewed: d.reviewed,
                                  split: new Set(d.split || []),
                                  merge_into: d.merge_into || 0,
                                  reject: !!d.reject});
  }
  $('keys').textContent = t(isMatch() ? 'matchKeys' : 'keys', {});
  document.title = t(isMatch() ? 'matchTitle' : 'title', {file: data.file});
  $('title').textContent = document.title;
  updateProgress();
  showSaved('saved');
  if (!state.groups.length) {
    setMessage(t('noGroups', {}));
  } else if (state.uncertain > 0) {
    setMessage(t('uncertainFirst', {n: state.uncertain}));
  }
  // The first group not yet reviewed takes the focus.
  const open = state.groups.findIndex((g) => {
    const d = state.decisions.get(g.key);
    return !d || !d.reviewed;
  });
  state.focus = open < 0 ? 0 : open;
  drawHistogram();
  const range = $('what-if-threshold');
  range.min = String(state.threshold);
  range.value = String(state.threshold);
  range.addEventListener('input', whatIf);
  whatIf();
  await measure();
  window.addEventListener('scroll', scheduleDraw, {passive: true});
  window.addEventListener('resize', measure);
  document.addEventListener('keydown', onKey);
  $('merge-form').addEventListener('submit', finishMerge);
  $('merge-cancel').addEventListener('click', () => $('merge-dialog').close());
  $('merge-dialog').addEventListener('close', () => moveFocus(state.focus));
  $('done').addEventListener('click', async () => {
    await save();
    if ($('saved').dataset.state !== 'saved') return;
    try {
      await fetch('done?token=' + TOKEN, {method: 'POST'});
      $('done').disabled = true;
      setMessage(t('ended', {}));
    } catch (e) {
      setMessage(t('notSaved', {why: e.message}));
    }
  });
  if (state.focus > 0) await moveFocus(state.focus);
  performance.mark('vexlor-review-ready');
  document.body.dataset.ready = '1';
}

start();
