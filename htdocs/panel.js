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
        return result;
      });
    }
    return logged(V.ask(consoleIp(), p.kind.port, p.address)).then(function (result) {
      result.via = '/ServerPostOSC';
      if (!result.ok) return result;
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

  var FADERS = {
    x32: {
      slider: 'fader-x32-slider', number: 'fader-x32-number', min: 0, max: 1,
      range: 'from 0 to 1',
      address: function () {
        var n = stripNumber($('fader-channel'), KINDS.x32.count.ch, 'Channel', $('fader-status'));
        return n === null ? null : { address: '/ch/' + V.pad2(n) + '/mix/fader', what: 'Channel ' + n + ' fader' };
      },
      port: function () { return V.PORTS.x32; },
      show: function (v) { return v.toFixed(2); }
    },
    wing: {
      slider: 'fader-wing-slider', number: 'fader-wing-number', min: -144, max: 10,
      range: 'from -144 to +10 dB',
      address: function () { return { address: '/main/1/fdr', what: 'Wing main fader' }; },
      port: function () { return V.PORTS.wing; },
      show: function (v) { return (v > 0 ? '+' : '') + v.toFixed(1) + ' dB'; }
    }
  };

  function sendFader(fader, value) {
    var status = $('fader-status');
    var target = fader.address();
    if (!target) return Promise.resolve();
    var command = target.address + ' ,f ' + value;
    return logged(V.send(consoleIp(), fader.port(), command)).then(function (result) {
      if (!result.ok) return showFailure(status, result);
      setStatus(status, 'ok', target.what + ' set to ' + fader.show(value) + ' (sent ' + command + ').');
    });
  }

  function readFader(fader) {
    var status = $('fader-status');
    var target = fader.address();
    if (!target) return Promise.resolve();
    setStatus(status, 'busy', 'Reading ' + target.what + '\u2026');
    return logged(V.ask(consoleIp(), fader.port(), target.address)).then(function (result) {
      if (!result.ok) return showFailure(status, result);
      var value = V.replyValue(result.text);
      if (typeof value !== 'number' || Number.isNaN(value)) {
        setStatus(status, 'error', 'The console answered, but not with a level: ' + result.text);
        return;
      }
      $(fader.slider).value = value;
      $(fader.number).value = value;
      setStatus(status, 'ok', target.what + ' is at ' + fader.show(value) + '.');
    });
  }

  function wireFader(fader, readButton) {
    var push = V.latestOnly(function (value) { return sendFader(fader, value); });
    $(fader.slider).addEventListener('input', function (event) {
      var value = Number(event.target.value);
      $(fader.number).value = value;
      push(value);
    });
    $(fader.number).addEventListener('change', function (event) {
      var value = Number(event.target.value);
      if (event.target.value === '' || Number.isNaN(value) || value < fader.min || value > fader.max) {
        setStatus($('fader-status'), 'error', 'A level goes ' + fader.range + '.');
        return;
      }
      $(fader.slider).value = value;
      push(value);
    });
    $(readButton).addEventListener('click', function () {
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

  function rawAsk() {
    var status = $('raw-status');
    var command = $('raw-command').value;
    $('raw-reply').textContent = '';
    $('raw-decoded').textContent = '';
    setStatus(status, 'busy', 'Asking\u2026');
    return logged(V.ask(consoleIp(), $('raw-port').value.trim(), command)).then(function (result) {
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
    setStatus(status, 'busy', 'Sending\u2026');
    return logged(V.send(consoleIp(), $('raw-port').value.trim(), command)).then(function (result) {
      if (!result.ok) return showFailure(status, result);
      setStatus(status, 'ok', 'Sent. A PUT gets no answer from the console; use Ask to read a value back.');
    });
  }

  // ----- Wiring -----

  function applyKind() {
    var k = kind();
    var isX32 = k === KINDS.x32;
    $('fader-x32').hidden = !isX32;
    $('fader-wing').hidden = isX32;
    $('name-number').max = k.count[$('name-target').value];
    $('raw-port').value = k.port;
    ['console-status', 'name-status', 'fader-status'].forEach(function (id) {
      setStatus($(id), '', '');
    });
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

  function start() {
    $('console-kind').addEventListener('change', applyKind);
    $('name-target').addEventListener('change', function () {
      $('name-number').max = kind().count[$('name-target').value];
    });
    onClick('console-check', 'console-card', checkConsole);
    onClick('name-read', 'names-card', readName);
    onClick('name-rename', 'names-card', renameStrip);
    onClick('raw-ask', 'raw-card', rawAsk);
    onClick('raw-send', 'raw-card', rawSend);
    onEnter('name-number', 'name-read');
    onEnter('name-value', 'name-rename');
    onEnter('raw-command', 'raw-ask');
    wireFader(FADERS.x32, 'fader-x32-read');
    wireFader(FADERS.wing, 'fader-wing-read');
    applyKind();
    document.body.dataset.ready = 'yes';
  }

  start();
})();
