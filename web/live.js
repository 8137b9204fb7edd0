// The live page: reloads the station's picture and status in the background
// and swaps a picture in only once it is whole and decoded, so the visitor
// never sees a blank, broken or half picture. Nothing here throws: a failed
// round keeps the last good picture and says the station can't be reached.
'use strict';

(function () {
  const REFRESH_MS = 3000;            // one round: status, then the picture if it is new
  const FETCH_TIMEOUT_MS = 10000;     // a server that stalls costs one round
  const NIGHT_REFRESH_MS = 10 * 60 * 1000;
  const MAX_STATUS_BYTES = 64 * 1024;
  const MAX_PICTURE_BYTES = 64 * 1024 * 1024;
  const FAILURES_BEFORE_WARNING = 2;  // one lost round is not worth a warning
  const OFFLINE_PERIODS = 3;          // pictures missed before the station counts as stopped
  const CLOCK_SLACK_S = 2;            // the HTTP dates are whole seconds
  const LOG_LENGTH = 50;

  const $ = (id) => document.getElementById(id);
  const live = $('live');

  let shown = null;      // { status, ageS, at } of the picture shown
  let shownUrl = null;   // its object URL, released when the next one replaces it
  let newest = null;     // { status, ageS, at }: the last status read and how old it was then
  let failures = 0;
  let request = 0;

  function bust(name) {
    request += 1;
    return name + '?t=' + Date.now().toString(36) + request.toString(36);
  }

  // Fetches `name` afresh, whole, within the time and size bounds; throws otherwise.
  async function fetchWhole(name, maxBytes) {
    const abort = new AbortController();
    const timer = setTimeout(() => abort.abort(), FETCH_TIMEOUT_MS);
    try {
      const response = await fetch(bust(name), { cache: 'no-store', signal: abort.signal });
      if (!response.ok) throw new Error(name + ': HTTP ' + response.status);
      const length = Number(response.headers.get('Content-Length'));
      if (length > maxBytes) throw new Error(name + ': too large');
      const body = await response.blob();
      if (body.size > maxBytes) throw new Error(name + ': too large');
      return { response, body };
    } finally {
      clearTimeout(timer);
    }
  }

  const isCount = (v) => Number.isSafeInteger(v) && v > 0;
  const isSeconds = (v) => typeof v === 'number' && Number.isFinite(v) && v > 0;
  const TIME = /^(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)([+-]\d\d:\d\d|Z)$/;

  function checkedStatus(text) {
    const s = JSON.parse(text);
    const p = s && typeof s === 'object' ? s.picture : null;
    if (!p || typeof p !== 'object' || !isCount(p.number) || !isCount(p.bytes) ||
        typeof p.taken !== 'string' || !TIME.test(p.taken) || !isSeconds(s.interval_s)) {
      throw new Error('koftplive.json: not a status record');
    }
    return s;
  }

  // How old the status file is, by the server's clock when it says so
  // (the station's clock may be set elsewhere), else by the taken time.
  function ageOf(response, status) {
    const now = Date.parse(response.headers.get('Date') || '');
    const modified = Date.parse(response.headers.get('Last-Modified') || '');
    if (Number.isFinite(now) && Number.isFinite(modified)) return Math.max(0, (now - modified) / 1000);
    const taken = Date.parse(status.picture.taken);
    return Number.isFinite(taken) ? Math.max(0, (Date.now() - taken) / 1000) : 0;
  }

  async function readStatus() {
    const { response, body } = await fetchWhole('koftplive.json', MAX_STATUS_BYTES);
    const status = checkedStatus(await body.text());
    newest = { status, ageS: ageOf(response, status), at: performance.now() };
    return status;
  }

  // A JPEG that starts with its start marker and ends with its end marker.
  async function isWholeJpeg(blob) {
    if (blob.size < 4) return false;
    const head = new Uint8Array(await blob.slice(0, 2).arrayBuffer());
    const tail = new Uint8Array(await blob.slice(blob.size - 2).arrayBuffer());
    return head[0] === 0xff && head[1] === 0xd8 && tail[0] === 0xff && tail[1] === 0xd9;
  }

  // Loads the picture `status` describes; false when the server holds
  // another (a newer one came between the two reads).
  async function showPicture(status) {
    const { body } = await fetchWhole('koftplive.jpg', MAX_PICTURE_BYTES);
    if (body.size !== status.picture.bytes) return false;
    if (!(await isWholeJpeg(body))) throw new Error('koftplive.jpg: not a whole JPEG');
    const url = URL.createObjectURL(body);
    const next = new Image();
    try {
      next.src = url;
      await next.decode();
      if (!next.naturalWidth) throw new Error('koftplive.jpg: no picture');
    } catch (e) {
      URL.revokeObjectURL(url);
      throw e;
    }
    live.src = url;  // decoded already: the swap shows no gap
    live.hidden = false;
    if (shownUrl) URL.revokeObjectURL(shownUrl);
    shownUrl = url;
    shown = newest;
    record(status, body.size);
    return true;
  }

  // What the page showed, for whoever checks it (a bounded list).
  function record(status, bytes) {
    let log = [];
    try { log = JSON.parse(live.dataset.log || '[]'); } catch (e) { log = []; }
    log.push({ n: status.picture.number, bytes, w: live.naturalWidth, taken: status.picture.taken });
    live.dataset.log = JSON.stringify(log.slice(-LOG_LENGTH));
    live.dataset.number = String(status.picture.number);
  }

  async function round() {
    let status = await readStatus();
    if (shown && status.picture.number === shown.status.picture.number) return;
    // The picture is published before its status: a status read first
    // describes the picture on the server or one before it.
    if (!(await showPicture(status))) {
      status = await readStatus();
      if (!(await showPicture(status))) throw new Error('koftplive.jpg: changed while read');
    }
  }

  function pad(n) { return String(n).padStart(2, '0'); }

  // The station's own local time, as it wrote it.
  function stationTime(iso) {
    const m = TIME.exec(iso);
    return m ? `${m[1]}. ${m[2]}. ${m[3]}. ${m[4]}:${m[5]}:${m[6]}` : iso;
  }

  function ageText(seconds) {
    const s = Math.floor(seconds);
    if (s < 60) return `${s} másodperce`;
    if (s < 3600) return `${Math.floor(s / 60)} perce`;
    if (s < 86400) return `${Math.floor(s / 3600)} óra ${pad(Math.floor(s / 60) % 60)} perce`;
    return `${Math.floor(s / 86400)} napja`;
  }

  function render() {
    const unreachable = failures >= FAILURES_BEFORE_WARNING;
    $('unreachable').hidden = !unreachable;
    if (!newest) {
      if (unreachable) $('taken').textContent = 'Még nem érkezett kép az állomásról.';
      return;
    }
    const s = newest.status;
    const age = newest.ageS + (performance.now() - newest.at) / 1000;
    const period = Math.max(Number(s.period_s) || 0, s.interval_s, 1);
    const offline = age > OFFLINE_PERIODS * period + CLOCK_SLACK_S;
    $('offline').hidden = !offline;
    $('offline').textContent = `Az állomás ${stationTime(s.picture.taken)} óta nem küldött új képet.`;
    if (shown) {
      const taken = shown.status.picture.taken;
      const shownAge = shown.ageS + (performance.now() - shown.at) / 1000;
      $('taken').textContent = `Készült: ${stationTime(taken)} (${ageText(shownAge)})`;
      $('taken').dataset.taken = taken;
    }
    const details = [];
    if (s.preset && typeof s.preset.name === 'string' && s.preset.name) details.push(`Mód: ${s.preset.name}`);
    if (Number.isFinite(s.sun_altitude_deg)) details.push(`Nap magassága: ${s.sun_altitude_deg.toFixed(1)}°`);
    details.push(`Képek között: ${period.toFixed(0)} mp`);
    $('details').textContent = details.join(' · ');
  }

  async function loop() {
    try {
      await round();
      failures = 0;
    } catch (e) {
      failures += 1;
    }
    try { render(); } catch (e) { /* the next round paints again */ }
    setTimeout(loop, REFRESH_MS);
  }

  // Last night's products: shown when the server has them, hidden when not.
  async function showProduct(id, name, isVideo) {
    const figure = $(id);
    try {
      const abort = new AbortController();
      const timer = setTimeout(() => abort.abort(), FETCH_TIMEOUT_MS);
      const response = await fetch(bust(name), { method: 'HEAD', cache: 'no-store', signal: abort.signal })
        .finally(() => clearTimeout(timer));
      if (!response.ok) throw new Error(name);
      const modified = response.headers.get('Last-Modified') || '';
      if (figure.dataset.modified === modified && !figure.hidden) return;
      const url = name + '?v=' + encodeURIComponent(modified);
      if (isVideo) {
        figure.querySelector('video').src = url;
      } else {
        const next = new Image();
        next.src = url;
        await next.decode();
        figure.querySelector('img').src = url;
      }
      figure.dataset.modified = modified;
      figure.hidden = false;
    } catch (e) {
      figure.hidden = true;
    }
  }

  async function nightLoop() {
    await Promise.all([showProduct('keogram', 'keogram.jpg', false),
                       showProduct('startrails', 'startrails.jpg', false),
                       showProduct('timelapse', 'timelapse.mp4', true)]);
    $('night').hidden = ['keogram', 'startrails', 'timelapse'].every((id) => $(id).hidden);
    setTimeout(nightLoop, NIGHT_REFRESH_MS);
  }

  live.addEventListener('error', () => { live.hidden = !shown; });
  $('timelapse').querySelector('video').addEventListener('error', () => { $('timelapse').hidden = true; });
  setInterval(() => { try { render(); } catch (e) { /* painted again next second */ } }, 1000);
  loop();
  nightLoop();
})();
