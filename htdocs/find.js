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
  // the page cannot tell which.
  function whomToAsk() {
    return fetch('demo.json', { cache: 'no-store' }).then(function (reply) {
      if (reply.status === 404) return '';
      return reply.json().then(function (demo) {
        if (demo && V.isIPv4(demo.simulator)) return demo.simulator;
        throw new Error('no simulator address');
      });
    }).catch(function () {
      setStatus('error', 'The server\'s demo.json could not be read, so the page does not know ' +
        'whether this is the demo. Restart ./run.sh.');
      return null;
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
    $('mixer-link').href = 'mixer.html?ip=' + encodeURIComponent($('console-ip').value.trim()) +
      '&kind=' + encodeURIComponent($('console-kind').value);
  }

  $('console-find').addEventListener('click', find);
  ['input', 'change'].forEach(function (type) {
    $('console-ip').addEventListener(type, pointMixerLink);
    $('console-kind').addEventListener(type, pointMixerLink);
  });
  pointMixerLink();
})();
