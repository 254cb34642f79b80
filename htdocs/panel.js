/*
 * panel.js: the demo console panel. Uses the helpers of velmora.js; every control ends in
 * one of Velmora.ask, Velmora.send or Velmora.runApp.
 */
(function () {
  'use strict';

  var V = window.Velmora;

  // What differs between the two kinds of console: ports, ranges, addresses, and which
  // server app reads a name (the Wing's bus names have no app; they are asked for directly).
  var KINDS = {
    x32: {
      label: 'X32',
      port: V.PORTS.x32,
      count: { ch: 32, bus: 16 },
      nameAddress: function (strip, n) { return '/' + strip + '/' + V.pad2(n) + '/config/name'; },
      nameApp: { ch: 'Dravisk', bus: 'Marlune' }
    },
    wing: {
      label: 'Wing',
      port: V.PORTS.wing,
      count: { ch: 40, bus: 16 },
      nameAddress: function (strip, n) { return '/' + strip + '/' + n + '/name'; },
      nameApp: { ch: 'Quennet', bus: null }
    }
  };
  var STRIP_WORD = { ch: 'Channel', bus: 'Bus' };
  var LOG_LIMIT = 30;

  function $(id) { return document.getElementById(id); }

  function setStatus(element, kind, text) {
    element.className = 'status ' + kind;
    element.textContent = text;
  }

  function showFailure(element, result) {
    setStatus(element, 'error', result.message);
  }

  function consoleIp() { return $('console-ip').value.trim(); }
  function kind() { return KINDS[$('console-kind').value]; }

  // Runs `work` with the card's buttons disabled, so one click gives one request.
  function whileBusy(card, work) {
    var buttons = card.querySelectorAll('button');
    buttons.forEach(function (b) { b.disabled = true; });
    return Promise.resolve().then(work).finally(function () {
      buttons.forEach(function (b) { b.disabled = false; });
    });
  }

  function logRequest(result) {
    if (!result.request) return;
    var item = document.createElement('li');
    var r = result.request;
    var outcome = result.ok ? (result.text ? 'answer: ' + result.text : 'done')
      : (result.status ? 'HTTP ' + result.status + ', ' : '') + result.problem;
    item.textContent = r.method + ' ' + r.route + '  body: ' + r.body + '  \u2192 ' + outcome;
    var log = $('log');
    log.insertBefore(item, log.firstChild);
    while (log.children.length > LOG_LIMIT) log.removeChild(log.lastChild);
  }

  function logged(promise) {
    return promise.then(function (result) {
      logRequest(result);
      return result;
    });
  }

  // A whole number within 1..max, or null after telling the user why not.
  function stripNumber(input, max, word, statusElement) {
    var n = Number(input.value);
    if (!Number.isInteger(n) || n < 1 || n > max) {
      setStatus(statusElement, 'error', word + ' numbers on the ' + kind().label + ' go from 1 to ' +
        max + '.');
      return null;
    }
    return n;
  }

  function quoted(text) { return '"' + text + '"'; }

  // ----- Why nothing came back -----

  // A check slower than this means the console answers, but late: a console on a sound
  // network answers within a few milliseconds.
  var SLOW_MS = 150;

  function identify(k, ip) {
    return k === KINDS.x32 ? V.ask(ip, V.PORTS.x32, '/xinfo') : V.ask(ip, V.PORTS.wingDiscovery, 'WING?');
  }

  // A request left without an answer (`noanswer` from the console, `timeout` from an app)
  // may mean a silent console, a slow one, or a command the console does not know. One
  // identification request tells these apart, and the message names the likely cause.
  // `context` is { app } or { command }.
  function explainSilence(result, context) {
    if (result.problem !== 'noanswer' && result.problem !== 'timeout') return Promise.resolve(result);
    var k = kind();
    var ip = consoleIp();
    return logged(identify(k, ip)).then(function (check) {
      var who = 'The ' + k.label + ' at ' + ip;
      if (!check.ok) {
        // Silent to its own check as well: the console is not there (or not reachable).
        if (check.problem === 'noanswer') {
          result.problem = 'noanswer';
          result.message = check.message;
        }
        return result;
      }
      if (check.ms > SLOW_MS) {
        result.problem = 'slow';
        result.message = who + ' answered too slowly: its check took ' + check.ms + ' ms. ' +
          (context.app ? 'The app ' + context.app + ' needs two answers within half a second. '
            : 'The server waits half a second for an answer. ') +
          'Check the network between this computer and the console (a weak Wi-Fi link, a busy switch).';
      } else if (context.app) {
        result.message = who + ' answers at once, but the app ' + context.app + ' left no answer ' +
          'within half a second; an earlier request may still have been running. Try again.';
      } else {
        result.message = who + ' answers, but not to ' + quoted(context.command) + ' within half a ' +
          'second: it may not know that address. Check the command text.';
      }
      return result;
    });
  }

  // ----- Console check -----

  function describeX32(reply) {
    var a = V.parseReply(reply).args.map(function (arg) { return arg.value; });
    if (a.length < 4) return null;
    return 'Found an X32: ' + quoted(a[1]) + ', model ' + a[2] + ', firmware ' + a[3] + ', at ' + a[0] + '.';
  }

  function describeWing(reply) {
    var f = reply.split(',');
    if (f[0] !== 'WING' || f.length < 6) return null;
    return 'Found a Wing: ' + quoted(f[2]) + ', model ' + f[3] + ', serial ' + f[4] + ', firmware ' +
      f[5] + ', at ' + f[1] + '.';
  }

  function checkConsole() {
    var status = $('console-status');
    var k = kind();
    var isX32 = k === KINDS.x32;
    setStatus(status, 'busy', 'Looking for a ' + k.label + ' at ' + consoleIp() + '\u2026');
    var asked = isX32 ? V.ask(consoleIp(), V.PORTS.x32, '/xinfo')
      : V.ask(consoleIp(), V.PORTS.wingDiscovery, 'WING?');
    return logged(asked).then(function (result) {
      if (!result.ok) return showFailure(status, result);
      var found = isX32 ? describeX32(result.text) : describeWing(result.text);
      if (found) setStatus(status, 'ok', found);
      else setStatus(status, 'error', 'Something answered, but not like a ' + k.label + ' does: ' + result.text);
    });
  }

  // ----- Names -----

  function nameRequestParts() {
    var status = $('name-status');
    var strip = $('name-target').value;
    var k = kind();
    var n = stripNumber($('name-number'), k.count[strip], STRIP_WORD[strip], status);
    if (n === null) return null;
    if (!V.isIPv4(consoleIp())) {
      setStatus(status, 'error', quoted(consoleIp()) + ' is not an IPv4 address. Type four numbers ' +
        'from 0 to 255 separated by dots, without leading zeros, for example 192.168.1.20.');
      return null;
    }
    return { status: status, strip: strip, kind: k, n: n, address: k.nameAddress(strip, n),
      what: STRIP_WORD[strip] + ' ' + n };
  }

  // Reads a name through the kind's app, or straight from the console where no app exists.
  function fetchName(p) {
    var app = p.kind.nameApp[p.strip];
    if (app) {
      return logged(V.runApp(app, consoleIp(), p.n)).then(function (result) {
        if (result.ok) result.name = result.text;
        result.via = 'app ' + app;
        return result.ok ? result : explainSilence(result, { app: app });
      });
    }
    return logged(V.ask(consoleIp(), p.kind.port, p.address)).then(function (result) {
      result.via = '/ServerPostOSC';
      if (!result.ok) return explainSilence(result, { command: p.address });
      var value = V.replyValue(result.text);
      if (typeof value === 'string') {
        result.name = value;
      } else {
        result.ok = false;
        result.message = 'The console answered, but not with a name: ' + result.text;
      }
      return result;
    });
  }

  function readName() {
    var p = nameRequestParts();
    if (!p) return Promise.resolve();
    setStatus(p.status, 'busy', 'Reading the name of ' + p.what + '\u2026');
    return fetchName(p).then(function (result) {
      if (!result.ok) return showFailure(p.status, result);
      $('name-value').value = result.name;
      setStatus(p.status, 'ok', result.name === '' ? p.what + ' has no name.'
        : p.what + ' is called ' + quoted(result.name) + ' (read via ' + result.via + ').');
    });
  }

  function confirmRename(p, wanted) {
    return logged(V.ask(consoleIp(), p.kind.port, p.address)).then(function (check) {
      if (!check.ok) {
        setStatus(p.status, 'error', 'The new name was sent, but reading it back failed. ' + check.message);
        return;
      }
      var now = V.replyValue(check.text);
      if (now === wanted) {
        setStatus(p.status, 'ok', 'Renamed: ' + p.what + ' is now called ' + quoted(now) + '.');
      } else {
        setStatus(p.status, 'error', 'The new name was sent, but the console now reports ' +
          quoted(String(now)) + ' for ' + p.what + ' (a console may shorten or refuse names).');
      }
    });
  }

  function renameStrip() {
    var p = nameRequestParts();
    if (!p) return Promise.resolve();
    var wanted = $('name-value').value;
    var argument = V.quoteArgument(wanted);
    if (!argument.ok) {
      setStatus(p.status, 'error', argument.message);
      return Promise.resolve();
    }
    setStatus(p.status, 'busy', 'Renaming ' + p.what + '\u2026');
    return logged(V.send(consoleIp(), p.kind.port, p.address + ' ,s ' + argument.text))
      .then(function (result) {
        if (!result.ok) return showFailure(p.status, result);
        return confirmRename(p, wanted);
      });
  }

  // ----- Faders -----

  // The slider is always the fader's position, 0 (bottom) to 1 (top), as on the console;
  // the number beside it is the value the console takes: the same position on the X32, the
  // level in dB along the console's fader law on the Wing.
  var FADERS = {
    x32: {
      slider: 'fader-x32-slider', number: 'fader-x32-number', read: 'fader-x32-read',
      min: 0, max: 1, range: 'from 0 to 1',
      target: function () {
        var n = stripNumber($('fader-channel'), KINDS.x32.count.ch, 'Channel', $('fader-status'));
        return n === null ? null : { address: '/ch/' + V.pad2(n) + '/mix/fader', what: 'Channel ' + n + ' fader' };
      },
      port: V.PORTS.x32,
      toValue: function (position) { return Math.round(position * 10000) / 10000; },
      toPosition: function (value) { return Math.min(1, Math.max(0, value)); },
      shownInField: function (value) { return value.toFixed(2); },
      show: function (value) { return value.toFixed(2); }
    },
    wing: {
      slider: 'fader-wing-slider', number: 'fader-wing-number', read: 'fader-wing-read',
      min: -144, max: 10, range: 'from -144 to +10 dB',
      target: function () { return { address: '/main/1/fdr', what: 'Wing main fader' }; },
      port: V.PORTS.wing,
      toValue: function (position) { return Math.round(V.wingLevel(position) * 100) / 100; },
      toPosition: V.wingPosition,
      shownInField: function (value) { return value.toFixed(1); },
      show: function (value) { return (value > 0 ? '+' : '') + value.toFixed(1) + ' dB'; }
    }
  };
  // Half a step of the X32's 1024 fader steps, in slider positions: closer than this, the
  // console holds the value that was sent.
  var SAME_POSITION = 0.003;
  // Every read or drag of a fader takes a number; an answer for an older one is dropped, so a
  // slow reply never overwrites what a newer request showed.
  var faderTurn = 0;

  function currentFader() { return FADERS[$('console-kind').value]; }

  function showLevel(fader, value) {
    $(fader.slider).value = fader.toPosition(value);
    $(fader.slider).classList.remove('unknown');
    $(fader.number).value = fader.shownInField(value);
  }

  function levelUnknown(fader) {
    $(fader.slider).classList.add('unknown');
    $(fader.number).value = '';
  }

  // Asks the console for the fader's value; the result carries it as `value`.
  function askLevel(fader, target) {
    return logged(V.ask(consoleIp(), fader.port, target.address)).then(function (result) {
      if (!result.ok) return explainSilence(result, { command: target.address });
      var value = V.replyValue(result.text);
      if (typeof value !== 'number' || Number.isNaN(value)) {
        return { ok: false, problem: 'status', message: 'The console answered, but not with a level: ' + result.text };
      }
      result.value = value;
      return result;
    });
  }

  function readFader(fader) {
    var status = $('fader-status');
    var target = fader.target();
    if (!target) return Promise.resolve();
    levelUnknown(fader);
    if (!V.isIPv4(consoleIp())) {
      setStatus(status, '', '');
      return Promise.resolve();
    }
    var turn = ++faderTurn;
    setStatus(status, 'busy', 'Reading ' + target.what + '\u2026');
    return askLevel(fader, target).then(function (result) {
      if (turn !== faderTurn) return;
      if (!result.ok) return showFailure(status, result);
      showLevel(fader, result.value);
      setStatus(status, 'ok', target.what + ' is at ' + fader.show(result.value) + '.');
    });
  }

  function sendLevel(fader, target, value) {
    return logged(V.send(consoleIp(), fader.port, target.address + ' ,f ' + value));
  }

  // A move counts as done when the console holds it: the level is read back once the
  // last message has gone, and only a match turns the status green.
  function confirmLevel(fader, target, line, wanted) {
    var status = $('fader-status');
    var turn = ++faderTurn;
    return line.settled().then(function (sent) {
      if (turn !== faderTurn) return null;
      if (!sent.ok) return showFailure(status, sent);
      return askLevel(fader, target).then(function (result) {
        if (turn !== faderTurn) return;
        if (!result.ok) {
          levelUnknown(fader);
          setStatus(status, 'error', 'The new level was sent, but the console did not confirm it. ' + result.message);
          return;
        }
        showLevel(fader, result.value);
        if (Math.abs(fader.toPosition(result.value) - fader.toPosition(wanted)) <= SAME_POSITION) {
          setStatus(status, 'ok', target.what + ' set to ' + fader.show(result.value) + ' (read back from the console).');
        } else {
          setStatus(status, 'error', 'The console did not take the new level: ' + target.what + ' is at ' +
            fader.show(result.value) + ', not ' + fader.show(wanted) + '.');
        }
      });
    });
  }

  function wireFader(fader) {
    var line = V.latestOnly(function (value) {
      var target = fader.target();
      return target ? sendLevel(fader, target, value) : Promise.resolve({ ok: true });
    });
    function move(value) {
      var target = fader.target();
      if (!target) return null;
      setStatus($('fader-status'), 'busy', 'Moving ' + target.what + ' to ' + fader.show(value) + '\u2026');
      line.push(value);
      return target;
    }
    $(fader.slider).addEventListener('input', function (event) {
      var value = fader.toValue(Number(event.target.value));
      $(fader.slider).classList.remove('unknown');
      $(fader.number).value = fader.shownInField(value);
      move(value);
    });
    $(fader.slider).addEventListener('change', function (event) {
      var target = fader.target();
      if (target) confirmLevel(fader, target, line, fader.toValue(Number(event.target.value)));
    });
    $(fader.number).addEventListener('change', function (event) {
      var value = Number(event.target.value);
      if (event.target.value === '' || Number.isNaN(value) || value < fader.min || value > fader.max) {
        setStatus($('fader-status'), 'error', 'A level goes ' + fader.range + '.');
        return;
      }
      $(fader.slider).value = fader.toPosition(value);
      var target = move(value);
      if (target) confirmLevel(fader, target, line, value);
    });
    $(fader.read).addEventListener('click', function () {
      whileBusy($('faders-card'), function () { return readFader(fader); });
    });
  }

  // ----- Raw commands -----

  function describeReply(text) {
    var reply = V.parseReply(text);
    if (!reply.tags) return 'Address ' + reply.address + ', no arguments.';
    var values = reply.args.map(function (a) {
      return a.type === 's' ? quoted(a.value) : a.type === 'b' ? a.value || '(empty blob)' : String(a.value);
    });
    return 'Address ' + reply.address + ', type tags ,' + reply.tags +
      (values.length ? ', arguments: ' + values.join(', ') : '') + '.';
  }

  // Consoles ignore a datagram whose address does not start with "/" (the Wing's search
  // word aside), so such text is refused here rather than blamed on the console later.
  function commandRefused(command, status) {
    if (command.charAt(0) === '/' || command === 'WING?') return false;
    setStatus(status, 'error', 'Command text begins with "/", for example /ch/01/config/name: a console ' +
      'ignores anything else. Nothing was sent.');
    return true;
  }

  function rawAsk() {
    var status = $('raw-status');
    var command = $('raw-command').value;
    $('raw-reply').textContent = '';
    $('raw-decoded').textContent = '';
    if (commandRefused(command, status)) return Promise.resolve();
    setStatus(status, 'busy', 'Asking\u2026');
    return logged(V.ask(consoleIp(), $('raw-port').value.trim(), command)).then(function (result) {
      return result.ok ? result : explainSilence(result, { command: command });
    }).then(function (result) {
      if (!result.ok) return showFailure(status, result);
      $('raw-reply').textContent = result.text;
      $('raw-decoded').textContent = describeReply(result.text);
      setStatus(status, 'ok', 'The console answered (' + result.text.length + ' characters).');
    });
  }

  function rawSend() {
    var status = $('raw-status');
    var command = $('raw-command').value;
    $('raw-reply').textContent = '';
    $('raw-decoded').textContent = '';
    if (commandRefused(command, status)) return Promise.resolve();
    setStatus(status, 'busy', 'Sending\u2026');
    return logged(V.send(consoleIp(), $('raw-port').value.trim(), command)).then(function (result) {
      if (!result.ok) return showFailure(status, result);
      setStatus(status, 'ok', 'Sent. A PUT gets no answer from the console; use Ask to read a value back.');
    });
  }

  // ----- Wiring -----

  // What one console said must not stay on screen once another console or kind is chosen.
  function clearStatuses() {
    ['console-status', 'name-status', 'fader-status', 'raw-status'].forEach(function (id) {
      setStatus($(id), '', '');
    });
    $('raw-reply').textContent = '';
    $('raw-decoded').textContent = '';
  }

  function applyKind() {
    var k = kind();
    var isX32 = k === KINDS.x32;
    $('fader-x32').hidden = !isX32;
    $('fader-wing').hidden = isX32;
    $('name-number').max = k.count[$('name-target').value];
    $('raw-port').value = k.port;
    clearStatuses();
  }

  function consoleChanged() {
    clearStatuses();
    return readFader(currentFader());
  }

  function onClick(id, card, action) {
    $(id).addEventListener('click', function () {
      whileBusy($(card), action);
    });
  }

  function onEnter(id, buttonId) {
    $(id).addEventListener('keydown', function (event) {
      if (event.key === 'Enter') $(buttonId).click();
    });
  }

  // ./run.sh with the simulator serves demo.json naming the simulator's address; without
  // it the file is missing and the address field waits for a real console's address.
  function loadDemoSettings() {
    return V.demoSimulator().then(function (simulator) {
      if (!simulator || consoleIp() !== '') return;
      $('console-ip').value = simulator;
      $('console-hint').textContent = simulator + ' is the console simulator that ./run.sh ' +
        'started. For a real console, run ./run.sh --no-sim and type its address here.';
    });
  }

  function start() {
    $('console-kind').addEventListener('change', function () {
      applyKind();
      readFader(currentFader());
    });
    $('console-ip').addEventListener('change', consoleChanged);
    $('name-target').addEventListener('change', function () {
      $('name-number').max = kind().count[$('name-target').value];
    });
    $('fader-channel').addEventListener('change', function () { readFader(FADERS.x32); });
    onClick('console-check', 'console-card', checkConsole);
    onClick('name-read', 'names-card', readName);
    onClick('name-rename', 'names-card', renameStrip);
    onClick('raw-ask', 'raw-card', rawAsk);
    onClick('raw-send', 'raw-card', rawSend);
    onEnter('name-number', 'name-read');
    onEnter('name-value', 'name-rename');
    onEnter('raw-command', 'raw-ask');
    wireFader(FADERS.x32);
    wireFader(FADERS.wing);
    applyKind();
    loadDemoSettings()
      .then(function () { return readFader(currentFader()); })
      .finally(function () { document.body.dataset.ready = 'yes'; });
  }

  start();
})();
