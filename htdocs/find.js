/*
 * find.js: the panel's "Find consoles" button and its link to the mixer page. Finding asks
 * the server app Scout; choosing a console that answered fills the panel's address and
 * kind. In the demo (./run.sh with the simulator, which stages demo.json) Scout asks the
 * simulator by its address; elsewhere it asks every console on the local network.
 */
(function () {
  'use strict';

  var V = window.Velmora;

  function $(id) { return document.getElementById(id); }

  function setStatus(kind, text) {
    var element = $('console-status');
    element.className = 'status ' + kind;
    element.textContent = text;
  }

  // '' to ask everyone, the simulator's address in the demo; null (after saying why) when
  // the page cannot tell which, since outside the demo the question is a broadcast.
  function whomToAsk() {
    return V.demoSimulator().then(function (simulator) {
      if (simulator === null) {
        setStatus('error', 'The page cannot tell whether this is the demo (demo.json could not ' +
          'be read), so it asks nothing. Is the server still running?');
      }
      return simulator;
    });
  }

  function describe(c) {
    var name = c.name === '' ? 'no name' : '"' + c.name + '"';
    var details = [c.model && 'model ' + c.model, c.firmware && 'firmware ' + c.firmware]
      .filter(Boolean).join(', ');
    return c.label + ' ' + name + ' at ' + c.address + (details ? ' (' + details + ')' : '');
  }

  // Fills the panel's fields as a person would, so the panel reacts as it does to typing.
  function choose(c) {
    $('console-ip').value = c.address;
    $('console-ip').dispatchEvent(new Event('input', { bubbles: true }));
    $('console-ip').dispatchEvent(new Event('change', { bubbles: true }));
    $('console-kind').value = c.kind;
    $('console-kind').dispatchEvent(new Event('change', { bubbles: true }));
    setStatus('ok', 'Using the ' + describe(c) + '.');
  }

  function showFound(result) {
    var list = $('console-found');
    list.textContent = '';
    result.consoles.forEach(function (c) {
      var item = document.createElement('li');
      var button = document.createElement('button');
      button.type = 'button';
      button.className = 'secondary';
      button.textContent = describe(c);
      button.addEventListener('click', function () { choose(c); });
      item.appendChild(button);
      list.appendChild(item);
    });
    list.hidden = result.consoles.length === 0;
    var asked = result.request.body === '' ? 'every console on this network'
      : 'the console at ' + result.request.body;
    if (result.consoles.length === 0) {
      setStatus('error', 'No console answered (asked ' + asked + ' through POST /Scout). Check ' +
        'that the console is switched on and on the same network as this computer.');
    } else {
      setStatus('ok', 'Asked ' + asked + ' through POST /Scout: ' + result.consoles.length +
        (result.consoles.length === 1 ? ' console' : ' consoles') + ' answered. Choose one below.');
    }
  }

  function find() {
    var button = $('console-find');
    button.disabled = true;
    $('console-found').hidden = true;
    setStatus('busy', 'Looking for consoles\u2026');
    return whomToAsk().then(function (address) {
      if (address === null) return;
      return V.findConsoles(address).then(function (result) {
        if (!result.ok) return setStatus('error', result.message);
        showFound(result);
      });
    }).finally(function () { button.disabled = false; });
  }

  function pointMixerLink() {
    var ip = $('console-ip').value.trim();
    $('mixer-link').href = ip === '' ? 'mixer.html' : 'mixer.html?ip=' + encodeURIComponent(ip) +
      '&kind=' + encodeURIComponent($('console-kind').value);
  }

  $('console-find').addEventListener('click', find);
  // The panel may fill the address itself (from demo.json), which fires no event: the link
  // is pointed again as it is followed.
  $('mixer-link').addEventListener('click', pointMixerLink);
  ['input', 'change'].forEach(function (type) {
    $('console-ip').addEventListener(type, pointMixerLink);
    $('console-kind').addEventListener(type, pointMixerLink);
  });
  pointMixerLink();
})();
