/*
 * mixer.js: the mixer page, every channel of one console side by side. Levels are read four
 * times a second and names every five seconds, all through a pacer that keeps at most
 * MAX_IN_FLIGHT requests on their way, so one page never floods the server (which serves
 * one request at a time) or the console. A console that stops answering is reported once
 * and asked again every RETRY_MS with a single request.
 */
(function () {
  'use strict';

  var V = window.Velmora;

  var KINDS = {
    x32: {
      label: 'X32',
      port: V.PORTS.x32,
      channels: 32,
      nameAddress: function (n) { return '/ch/' + V.pad2(n) + '/config/name'; },
      levelAddress: function (n) { return '/ch/' + V.pad2(n) + '/mix/fader'; },
      // An X32 fader holds its position from 0 to 1, and shows its level along the Wing's law.
      position: function (value) { return value; },
      valueAt: function (position) { return Math.round(position * 10000) / 10000; },
      db: function (value) { return V.wingLevel(value); }
    },
    wing: {
      label: 'Wing',
      port: V.PORTS.wing,
      channels: 40,
      nameAddress: function (n) { return '/ch/' + n + '/name'; },
      levelAddress: function (n) { return '/ch/' + n + '/fdr'; },
      // A Wing fader holds its level in dB; the fader travels along the console's law.
      position: function (value) { return V.wingPosition(value); },
      valueAt: function (position) { return Math.round(V.wingLevel(position) * 100) / 100; },
      db: function (value) { return value; }
    }
  };

  var LEVEL_PERIOD_MS = 250;
  var NAME_PERIOD_MS = 5000;
  // A silent console holds the server for half a second per question, so it is asked
  // rarely enough to leave the server to everyone else.
  var RETRY_MS = 2000;
  var MAX_IN_FLIGHT = 4;
  // One unanswered question is a datagram lost on a busy network, and the strip keeps its
  // last value; this many in a row, with no answer between them, is a console gone quiet.
  var SILENT_AFTER_MISSES = 3;
  var RECENT_REFRESHES = 12;
  // How far apart, in fader travel, the value sent and the value read back may lie and the
  // value still count as taken: consoles keep faders in steps of about 1/1024.
  var TAKEN_TOLERANCE = 0.002;

  function $(id) { return document.getElementById(id); }

  // ----- Pacing -----

  // Runs request functions with at most `limit` on their way; the rest wait in order, and
  // `urgent` ones (a fader being moved, a rename) go before the refresh reads.
  function Pacer(limit) {
    this.limit = limit;
    this.running = 0;
    this.queue = [];
  }

  Pacer.prototype.run = function (work, urgent) {
    var self = this;
    return new Promise(function (resolve) {
      var job = { work: work, resolve: resolve };
      if (urgent) self.queue.unshift(job);
      else self.queue.push(job);
      self.pump();
    });
  };

  Pacer.prototype.pump = function () {
    while (this.running < this.limit && this.queue.length > 0) this.start(this.queue.shift());
  };

  Pacer.prototype.start = function (job) {
    var self = this;
    this.running++;
    Promise.resolve().then(job.work).catch(function () { return null; }).then(function (result) {
      self.running--;
      job.resolve(result);
      self.pump();
    });
  };

  /** Drops every waiting job; each resolves to null. */
  Pacer.prototype.clear = function () {
    var dropped = this.queue;
    this.queue = [];
    dropped.forEach(function (job) { job.resolve(null); });
  };

  var pacer = new Pacer(MAX_IN_FLIGHT);

  // ----- State -----

  var mixer = {
    kind: KINDS.x32,
    ip: '',
    strips: [],
    generation: 0,  // every new console (or a hidden page) starts a new one; old answers are dropped
    silent: false,
    announced: false,
    lastNames: -Infinity,
    misses: 0,
    refreshTimes: [],
    timer: null
  };

  function setStatus(kind, text) {
    var element = $('mixer-status');
    element.className = 'status ' + kind;
    element.textContent = text;
  }

  function consoleWords() {
    return 'the ' + mixer.kind.label + ' at ' + mixer.ip;
  }

  function later(action, ms) {
    var generation = mixer.generation;
    clearTimeout(mixer.timer);
    mixer.timer = setTimeout(function () {
      if (generation === mixer.generation) action();
    }, ms);
  }

  // ----- Strips -----

  function setNote(strip, text, detail) {
    strip.note.textContent = text;
    strip.note.title = detail || '';
    strip.element.classList.toggle('refused', text !== '');
  }

  function showName(strip, name) {
    strip.name = name;
    strip.nameButton.textContent = name === '' ? '\u2014' : name;
  }

  function showLevel(strip, value) {
    if (value === strip.shown) return;  // most refreshes change nothing: leave the page be
    strip.shown = value;
    var text = V.showDb(mixer.kind.db(value));
    strip.fader.value = mixer.kind.position(value);
    strip.fader.setAttribute('aria-valuetext', text);
    strip.level.textContent = text;
  }

  // A level read back after a move decides whether the console took the value sent.
  function takeLevel(strip, value, askedAt) {
    if (strip.dragging || strip.sending) return;
    if (strip.expect) {
      if (askedAt < strip.expect.sentAt) return;  // asked before the console had the new value
      var k = mixer.kind;
      var taken = Math.abs(k.position(value) - k.position(strip.expect.value)) <= TAKEN_TOLERANCE;
      setNote(strip, taken ? '' : 'not taken', taken ? '' : 'The console did not take ' +
        V.showDb(k.db(strip.expect.value)) + '; it holds ' + V.showDb(k.db(value)) + '.');
      strip.expect = null;
    }
    showLevel(strip, value);
  }

  function sendLevel(strip, position) {
    var k = mixer.kind;
    var value = k.valueAt(position);
    var generation = mixer.generation;
    return pacer.run(function () {
      return V.send(mixer.ip, k.port, k.levelAddress(strip.n) + ' ,f ' + value);
    }, true).then(function (result) {
      if (generation !== mixer.generation || result === null) return;
      if (!result.ok) {
        setNote(strip, 'not sent', result.message);
        return;
      }
      strip.expect = { value: value, sentAt: performance.now() };
    });
  }

  function wireFader(strip) {
    var line = V.latestOnly(function (position) { return sendLevel(strip, position); });
    function release() { strip.dragging = false; }
    strip.fader.addEventListener('pointerdown', function () {
      strip.dragging = true;
      window.addEventListener('pointerup', release, { once: true });
      window.addEventListener('pointercancel', release, { once: true });
    });
    strip.fader.addEventListener('input', function () {
      var position = Number(strip.fader.value);
      strip.sending = true;
      strip.shown = null;
      strip.level.textContent = V.showDb(mixer.kind.db(mixer.kind.valueAt(position)));
      setNote(strip, '');
      line.push(position);
      line.settled().then(function () { strip.sending = false; });
    });
    strip.fader.addEventListener('change', release);
  }

  function confirmName(strip, wanted, generation) {
    var k = mixer.kind;
    return pacer.run(function () { return V.ask(mixer.ip, k.port, k.nameAddress(strip.n)); }, true)
      .then(function (check) {
        if (generation !== mixer.generation || check === null) return;
        if (!check.ok) return setNote(strip, 'not confirmed', check.message);
        var now = V.replyValue(check.text);
        if (typeof now === 'string') showName(strip, now);
        if (now !== wanted) {
          setNote(strip, 'name not taken', 'The console holds ' + JSON.stringify(String(now)) +
            ', not ' + JSON.stringify(wanted) + ' (a console may shorten or refuse names).');
        }
      });
  }

  function rename(strip, wanted) {
    var argument = V.quoteArgument(wanted);
    if (!argument.ok) {
      setNote(strip, 'not renamed', argument.message);
      return Promise.resolve();
    }
    var k = mixer.kind;
    var generation = mixer.generation;
    setNote(strip, '');
    strip.nameButton.textContent = wanted;
    return pacer.run(function () {
      return V.send(mixer.ip, k.port, k.nameAddress(strip.n) + ' ,s ' + argument.text);
    }, true).then(function (result) {
      if (generation !== mixer.generation || result === null) return;
      if (!result.ok) {
        showName(strip, strip.name);
        return setNote(strip, 'not renamed', result.message);
      }
      return confirmName(strip, wanted, generation);
    });
  }

  // Turns the name into a text box; Enter or leaving it renames, Escape keeps the name.
  function editName(strip) {
    if (strip.renaming) return;
    strip.renaming = true;
    strip.element.setAttribute('aria-busy', 'true');
    var input = document.createElement('input');
    input.type = 'text';
    input.className = 'strip-name-edit';
    input.value = strip.name;
    input.setAttribute('aria-label', 'New name for channel ' + strip.n);
    strip.nameButton.hidden = true;
    strip.element.insertBefore(input, strip.nameButton);
    input.focus();
    input.select();
    var finished = false;
    function finish(keep) {
      if (finished) return;
      finished = true;
      var wanted = input.value;
      input.remove();
      strip.nameButton.hidden = false;
      var renamed = keep || wanted === strip.name ? Promise.resolve() : rename(strip, wanted);
      renamed.finally(function () {
        strip.renaming = false;
        strip.element.removeAttribute('aria-busy');
      });
    }
    input.addEventListener('keydown', function (event) {
      if (event.key === 'Enter') finish(false);
      if (event.key === 'Escape') finish(true);
    });
    input.addEventListener('blur', function () { finish(false); });
  }

  function makeStrip(n) {
    var element = $('strip-template').content.firstElementChild.cloneNode(true);
    var strip = {
      n: n,
      element: element,
      nameButton: element.querySelector('.strip-name'),
      fader: element.querySelector('.strip-fader'),
      level: element.querySelector('.strip-level'),
      note: element.querySelector('.strip-note'),
      name: '',
      dragging: false,
      sending: false,
      renaming: false,
      expect: null,
      shown: null
    };
    element.dataset.channel = n;
    strip.nameButton.title = 'Rename channel ' + n;
    strip.fader.setAttribute('aria-label', 'Channel ' + n + ' fader');
    element.querySelector('.strip-number').textContent = n;
    strip.nameButton.addEventListener('click', function () { editName(strip); });
    wireFader(strip);
    return strip;
  }

  function buildStrips() {
    var box = $('strips');
    box.textContent = '';
    mixer.strips = [];
    for (var n = 1; n <= mixer.kind.channels; n++) {
      var strip = makeStrip(n);
      mixer.strips.push(strip);
      box.appendChild(strip.element);
    }
  }

  // ----- Refreshing -----

  // Reads one value of a strip; resolves to { ok, value, askedAt }, a failure, or null when
  // the read was dropped.
  function readValue(strip, address, type) {
    var k = mixer.kind;
    return pacer.run(function () {
      var askedAt = performance.now();
      return V.ask(mixer.ip, k.port, address(strip.n)).then(function (result) {
        if (!result.ok) return result;
        var value = V.replyValue(result.text);
        if (typeof value !== type || (type === 'number' && Number.isNaN(value))) {
          return { ok: false, message: 'Something at ' + mixer.ip + ' answered ' + address(strip.n) +
            ', but not like an ' + k.label + ' does: ' + result.text + '. Check the kind of console.' };
        }
        return { ok: true, value: value, askedAt: askedAt };
      });
    });
  }

  // Reads every level (and, when `withNames`, every name) once. Resolves to true when all
  // of them came. A console that stops answering, or a server out of reach, stops the rest
  // and is reported once.
  function sweep(withNames) {
    var generation = mixer.generation;
    var started = performance.now();
    function read(address, type, apply) {
      return Promise.all(mixer.strips.map(function (strip) {
        return readValue(strip, address, type).then(function (result) {
          if (generation !== mixer.generation || result === null) return false;
          if (!result.ok) return missed(result);
          mixer.misses = 0;
          apply(strip, result);
          return true;
        });
      }));
    }
    var levels = read(mixer.kind.levelAddress, 'number', function (strip, r) {
      takeLevel(strip, r.value, r.askedAt);
    });
    var names = withNames ? read(mixer.kind.nameAddress, 'string', function (strip, r) {
      if (!strip.renaming) showName(strip, r.value);
    }) : Promise.resolve([]);
    return levels.then(function (done) {
      var whole = done.every(Boolean);
      if (whole) showRefresh(performance.now() - started);
      return names.then(function (named) { return whole && named.every(Boolean); });
    });
  }

  // Shows the median of the last few refresh times: one refresh alone jumps about with
  // whatever else the computer does.
  function showRefresh(ms) {
    mixer.refreshTimes = mixer.refreshTimes.concat([ms]).slice(-RECENT_REFRESHES);
    var sorted = mixer.refreshTimes.slice().sort(function (a, b) { return a - b; });
    var median = sorted[Math.floor(sorted.length / 2)];
    var element = $('mixer-refresh');
    element.dataset.ms = median.toFixed(1);
    element.dataset.count = mixer.refreshTimes.length;
    element.textContent = 'Levels of ' + mixer.strips.length + ' channels read in ' +
      Math.round(median) + ' ms (median of the last ' + sorted.length + '), ' +
      1000 / LEVEL_PERIOD_MS + ' times a second.';
  }

  function tick() {
    var generation = mixer.generation;
    var started = performance.now();
    var withNames = started - mixer.lastNames >= NAME_PERIOD_MS;
    if (withNames) mixer.lastNames = started;
    sweep(withNames).then(function (whole) {
      if (generation !== mixer.generation || mixer.silent) return;
      if (whole && !mixer.announced) {
        mixer.announced = true;
        setStatus('ok', 'Showing the ' + mixer.strips.length + ' channels of ' + consoleWords() + '.');
      }
      later(tick, Math.max(0, started + LEVEL_PERIOD_MS - performance.now()));
    });
  }

  function missed(result) {
    if (result.problem === 'noanswer' && ++mixer.misses < SILENT_AFTER_MISSES) return false;
    return trouble(result);
  }

  // The console (or the server) stopped answering: say so once, drop what waits, and ask
  // again with one request every RETRY_MS.
  function trouble(result) {
    if (!mixer.silent) {
      mixer.silent = true;
      pacer.clear();
      document.body.classList.add('silent');
      setStatus('error', result.message + ' Asking again every ' + RETRY_MS / 1000 + ' seconds.');
      later(probe, RETRY_MS);
    }
    return false;
  }

  function probe() {
    var generation = mixer.generation;
    readValue(mixer.strips[0], mixer.kind.levelAddress, 'number').then(function (result) {
      if (generation !== mixer.generation) return;
      if (!result || !result.ok) return later(probe, RETRY_MS);
      mixer.silent = false;
      mixer.misses = 0;
      mixer.announced = false;
      mixer.lastNames = -Infinity;
      document.body.classList.remove('silent');
      tick();
    });
  }

  // ----- Choosing the console -----

  function stop() {
    mixer.generation++;
    clearTimeout(mixer.timer);
    pacer.clear();
  }

  function start() {
    stop();
    mixer.silent = false;
    mixer.misses = 0;
    mixer.announced = false;
    mixer.lastNames = -Infinity;
    document.body.classList.remove('silent');
    setStatus('busy', 'Reading the ' + mixer.kind.channels + ' channels of ' + consoleWords() + '\u2026');
    tick();
  }

  function show(ip, kindName) {
    stop();
    if (!V.isIPv4(ip)) {
      setStatus('error', '"' + ip + '" is not an IPv4 address. Type four numbers from 0 to 255 ' +
        'separated by dots, without leading zeros, for example 192.168.1.20.');
      return;
    }
    mixer.ip = ip;
    mixer.kind = KINDS[kindName] || KINDS.x32;
    history.replaceState(null, '', '?ip=' + encodeURIComponent(ip) + '&kind=' + kindName);
    document.title = 'Velmora mixer: ' + mixer.kind.label + ' at ' + ip;
    buildStrips();
    mixer.refreshTimes = [];
    start();
  }

  function init() {
    var query = new URLSearchParams(location.search);
    if (query.get('ip')) $('mixer-ip').value = query.get('ip');
    if (KINDS[query.get('kind')]) $('mixer-kind').value = query.get('kind');
    $('mixer-console').addEventListener('submit', function (event) {
      event.preventDefault();
      show($('mixer-ip').value.trim(), $('mixer-kind').value);
    });
    // A page nobody looks at asks nothing.
    document.addEventListener('visibilitychange', function () {
      if (document.hidden) stop();
      else if (mixer.strips.length > 0) start();
    });
    // Without an address in the link, the demo's simulator (see demo.json), or nothing yet.
    var named = query.get('ip') ? Promise.resolve(query.get('ip')) : V.demoSimulator();
    named.then(function (ip) {
      if (ip) {
        $('mixer-ip').value = ip;
        show(ip, $('mixer-kind').value);
      } else {
        setStatus('', 'Type the console\'s address, choose its kind, and press Show.');
      }
      document.body.dataset.ready = 'yes';
    });
  }

  init();
})();
