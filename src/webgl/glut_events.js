// The browser's side of the web GLUT (glut.cpp): keys, the mouse, frames and timers, handed to
// the program through the functions glut.cpp exports. When the program ends (exit, which throws
// emscripten's ExitStatus out of the call), no further event reaches it, and the page hears of it
// through Module.onGlutExit(status); Module.onGlutMainLoop() tells it that the session runs.
mergeInto(LibraryManager.library, {
  $WEBGLUT: {
    ended: false,
    framePending: false,
    buttons: 0,      // mouse buttons held since a press on the canvas, one bit each
    x: 0,            // the pointer's last position on the canvas, pixels, y down
    y: 0,
    listeners: [],

    // Calls into the program; an exit ends the session.
    call: function(name, args) {
      if (WEBGLUT.ended) return;
      try {
        Module[name].apply(null, args);
      } catch (e) {
        if (e === 'unwind') return;
        if (e && e.name === 'ExitStatus') {
          WEBGLUT.stop();
          if (Module['onGlutExit']) Module['onGlutExit'](e.status);
          return;
        }
        throw e;
      }
    },

    stop: function() {
      WEBGLUT.ended = true;
      WEBGLUT.listeners.forEach(function(l) { l[0].removeEventListener(l[1], l[2], l[3]); });
      WEBGLUT.listeners = [];
    },

    listen: function(target, type, handler, options) {
      target.addEventListener(type, handler, options);
      WEBGLUT.listeners.push([target, type, handler, options]);
    },

    // GLUT's special keys by the event's key name.
    special: {
      'F1': 1, 'F2': 2, 'F3': 3, 'F4': 4, 'F5': 5, 'F6': 6, 'F7': 7, 'F8': 8, 'F9': 9,
      'F10': 10, 'F11': 11, 'F12': 12,
      'ArrowLeft': 100, 'ArrowUp': 101, 'ArrowRight': 102, 'ArrowDown': 103,
      'PageUp': 104, 'PageDown': 105, 'Home': 106, 'End': 107, 'Insert': 108
    },

    // Keys that are characters to GLUT without being printed.
    named: {'Escape': 27, 'Backspace': 8, 'Delete': 127, 'Tab': 9, 'Enter': 13},

    position: function(e) {
      var canvas = Module['canvas'];
      var rect = canvas.getBoundingClientRect();
      var sx = rect.width > 0 ? canvas.width / rect.width : 1;
      var sy = rect.height > 0 ? canvas.height / rect.height : 1;
      WEBGLUT.x = Math.floor((e.clientX - rect.left) * sx);
      WEBGLUT.y = Math.floor((e.clientY - rect.top) * sy);
    }
  },

  webglutListen__deps: ['$WEBGLUT'],
  webglutListen: function() {
    var canvas = Module['canvas'];
    if (Module['onGlutMainLoop']) Module['onGlutMainLoop']();
    // Keys reach the program wherever the focus is in the page, as the event's key names them
    // (so Shift+8 is '*', and Backspace and Delete are characters 8 and 127). Keys with Ctrl,
    // Alt or Meta stay the browser's.
    WEBGLUT.listen(window, 'keydown', function(e) {
      if (e.ctrlKey || e.altKey || e.metaKey) return;
      var key = e.key;
      if (WEBGLUT.special.hasOwnProperty(key)) {
        e.preventDefault();
        WEBGLUT.call('_webglutSpecial', [WEBGLUT.special[key], WEBGLUT.x, WEBGLUT.y]);
        return;
      }
      var code = WEBGLUT.named.hasOwnProperty(key) ? WEBGLUT.named[key]
                 : key.length === 1 && key.charCodeAt(0) < 256 ? key.charCodeAt(0) : -1;
      if (code < 0) return;
      e.preventDefault();
      WEBGLUT.call('_webglutKeyboard', [code, WEBGLUT.x, WEBGLUT.y]);
    }, true);
    // A press on the canvas; the motion and the release are followed wherever the pointer goes,
    // as a pointer grab does on the desktop, each with its own position.
    WEBGLUT.listen(canvas, 'mousedown', function(e) {
      if (e.button > 2) return;
      e.preventDefault();
      WEBGLUT.position(e);
      WEBGLUT.buttons |= 1 << e.button;
      WEBGLUT.call('_webglutMouse', [e.button, 0, WEBGLUT.x, WEBGLUT.y]);
    });
    WEBGLUT.listen(window, 'mousemove', function(e) {
      if (WEBGLUT.buttons === 0) return;
      WEBGLUT.position(e);
      WEBGLUT.call('_webglutMotion', [WEBGLUT.x, WEBGLUT.y]);
    });
    WEBGLUT.listen(window, 'mouseup', function(e) {
      if (e.button > 2 || !(WEBGLUT.buttons & 1 << e.button)) return;
      WEBGLUT.position(e);
      WEBGLUT.buttons &= ~(1 << e.button);
      WEBGLUT.call('_webglutMouse', [e.button, 1, WEBGLUT.x, WEBGLUT.y]);
    });
    // Right-button drags turn the camera; the browser's menu stays away.
    WEBGLUT.listen(canvas, 'contextmenu', function(e) { e.preventDefault(); });
  },

  // One frame for any number of requests before it; after it the page hears of it.
  webglutRequestFrame__deps: ['$WEBGLUT'],
  webglutRequestFrame: function() {
    if (WEBGLUT.framePending || WEBGLUT.ended) return;
    WEBGLUT.framePending = true;
    requestAnimationFrame(function() {
      WEBGLUT.framePending = false;
      if (WEBGLUT.ended) return;
      WEBGLUT.call('_webglutDisplay', []);
      if (Module['onFrameDrawn']) Module['onFrameDrawn']();
    });
  },

  webglutSetTimer__deps: ['$WEBGLUT'],
  webglutSetTimer: function(slot, milliseconds) {
    setTimeout(function() { WEBGLUT.call('_webglutTimer', [slot]); }, milliseconds);
  }
});
