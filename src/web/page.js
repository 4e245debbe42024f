// The page around the program: its options from the address, its messages, the end of the
// session with the files it wrote offered as downloads, and window.viewer for whatever drives
// the page (tests, benchmarks): frames, onFrame, status, error, downloads, ended.
(function () {
  'use strict';

  var viewer = {
    frames: 0,       // frames drawn so far, counted after each frame's GL calls
    onFrame: null,   // called with the frame's number after each frame, when set
    status: null,    // the exit status once the session has ended
    error: null,     // the messages of options the program refused, which start no session
    downloads: [],   // the files written at the end: {name, bytes}
    ended: false
  };
  window.viewer = viewer;

  var statusBox = document.getElementById('status');
  var downloadBox = document.getElementById('downloads');
  var printed = [];
  var messages = [];

  function decode(text) {
    try {
      return decodeURIComponent(text.replace(/\+/g, ' '));
    } catch (e) {
      return text;
    }
  }

  // name=value becomes --name=value and a bare name --name, in the address's order: the same
  // command line the desktop program would be given.
  function argumentsFromAddress(search) {
    var args = [];
    search.replace(/^\?/, '').split('&').forEach(function (part) {
      if (part === '') return;
      var eq = part.indexOf('=');
      args.push(eq < 0 ? '--' + decode(part)
                       : '--' + decode(part.slice(0, eq)) + '=' + decode(part.slice(eq + 1)));
    });
    return args;
  }

  // The files the options name, the last of each as the program takes it.
  function filesNamed(args) {
    var files = {};
    args.forEach(function (arg) {
      ['export-surface', 'screenshot'].forEach(function (name) {
        var prefix = '--' + name + '=';
        if (arg.indexOf(prefix) === 0) files[name] = arg.slice(prefix.length);
      });
    });
    return Object.keys(files).map(function (name) { return files[name]; });
  }

  function show(className, text) {
    var p = document.createElement(className === 'output' ? 'pre' : 'p');
    if (className !== 'output') p.className = className;
    p.textContent = text;
    statusBox.appendChild(p);
  }

  function offer(file) {
    var url = URL.createObjectURL(new Blob([file.bytes], {type: 'application/octet-stream'}));
    var link = document.createElement('a');
    link.href = url;
    link.download = file.name;
    link.textContent = 'Download ' + file.name + ' (' + file.bytes.length + ' bytes)';
    downloadBox.appendChild(link);
    link.click();
  }

  var args = argumentsFromAddress(window.location.search);
  var files = filesNamed(args);

  function end(status) {
    if (viewer.ended) return;
    viewer.status = status;
    var started = viewer.frames > 0;
    if (!started && status !== 0) viewer.error = messages.join('\n');
    var FS = Module['FS'];
    files.forEach(function (path) {
      try {
        if (FS && FS.analyzePath(path).exists) {
          viewer.downloads.push({name: path.replace(/^.*\//, ''), bytes: FS.readFile(path)});
        }
      } catch (e) {
        // Not written: the messages say why.
      }
    });
    statusBox.textContent = '';
    if (printed.length > 0) show('output', printed.join('\n'));
    if (viewer.error !== null) {
      // Status 2 is a wrong option; anything else kept the session from starting (no WebGL).
      show('error', status === 2 ? 'The options in the address are wrong, so no session started:'
                                 : 'No session started:');
      show('output', viewer.error);
    } else {
      if (messages.length > 0) show('error', messages.join('\n'));
      if (started) {
        show('ended', 'The session has ended' + (status !== 0 ? ' (status ' + status + ')' : '') +
             '. Reload the page to start again.');
      }
    }
    viewer.downloads.forEach(offer);
    viewer.ended = true;
  }

  // The program is started here rather than by emscripten, so that the status main returns
  // (a wrong option, --help) is known: emscripten's own ways of telling differ between releases.
  var running = false;
  window.Module = {
    noInitialRun: true,
    canvas: document.getElementById('canvas'),
    print: function (text) { printed.push(text); },
    printErr: function (text) {
      messages.push(text);
      if (viewer.frames > 0) show('error', text);
    },
    onRuntimeInitialized: function () {
      var status = Module['callMain'](args);
      if (!running) end(typeof status === 'number' ? status : 0);
    },
    // glutMainLoop: the session runs, and ends when the program exits.
    onGlutMainLoop: function () { running = true; },
    onGlutExit: function (status) { end(status); },
    onFrameDrawn: function () {
      if (viewer.frames === 0) statusBox.textContent = '';
      viewer.frames += 1;
      if (typeof viewer.onFrame === 'function') viewer.onFrame(viewer.frames);
    },
    onAbort: function (what) {
      statusBox.textContent = '';
      show('error', 'The viewer stopped: ' + what);
    }
  };
})();
