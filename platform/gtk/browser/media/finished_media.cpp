// The script that parks finished audio elements, and its place in the site's views.
#include "finished_media.h"

namespace tavro::platform::gtk {
namespace {

// An element is "parked" when its player has been given back: an empty Blob as its assigned
// media object (which comes before its src attribute and <source> children) ends the player at
// once and leaves the element's attributes as the page set them. While parked, the element
// answers from a copy of its state, and what the engine fires for the change is kept from the
// page. Playing, seeking or loading it gives it a player again ("restoring"); the events of that
// load are kept from the page too, so that it hears what a replay of a kept player gives: play,
// seeking, seeked, playing, timeupdate..., pause, ended.
//
// A sound that the engine leaves stuck (playing, its time standing still and no data coming: now
// and then when many start at once) gets a new player the same way, from where it stood, so that
// it plays and ends as the page expects; twice at most.
//
// Only audio elements are parked (a video shows its frame), never one with controls, an assigned
// object (a call's stream), a blob: source (its address may be revoked), an error or a seek in
// progress. The script runs before the page's own, so that it holds the engine's accessors.
constexpr char kScript[] = R"js((function () {
  'use strict';
  var Media = window.HTMLMediaElement, AudioElement = window.HTMLAudioElement;
  if (!Media || !AudioElement || !window.WeakMap || !window.Reflect || !window.Blob) return;
  var proto = Media.prototype;
  var apply = Reflect.apply, define = Object.defineProperty, describe = Object.getOwnPropertyDescriptor;
  var WeakMapOf = WeakMap, BlobOf = Blob, mapGet = WeakMap.prototype.get, mapSet = WeakMap.prototype.set;
  var later = window.setTimeout, cancel = window.clearTimeout;
  var listen = EventTarget.prototype.addEventListener;
  var stopEvent = Event.prototype.stopImmediatePropagation;
  var typeOf = describe(Event.prototype, 'type').get, targetOf = describe(Event.prototype, 'target').get;
  var startsWith = String.prototype.startsWith;
  var Observer = window.MutationObserver, observe = Observer && Observer.prototype.observe;

  // How long an element stays as the page left it before its player goes.
  var ENDED_MS = 2000, PAUSED_MS = 5000, LONGEST_RESTORE_MS = 10000;
  // How long a playing element's time may stand still with no data coming in.
  var STUCK_MS = 5000, MOST_REVIVALS = 2;
  var HAVE_METADATA = 1, NETWORK_EMPTY = 0, NETWORK_NO_SOURCE = 3;

  var engine = {};
  var names = ['paused', 'ended', 'currentTime', 'duration', 'readyState', 'networkState', 'seeking', 'buffered',
               'seekable', 'played', 'error', 'currentSrc', 'srcObject', 'controls', 'src', 'playbackRate'];
  for (var i = 0; i < names.length; i++) {
    var d = describe(proto, names[i]);
    if (!d || !d.get || !d.configurable) return;
    engine[names[i]] = d;
  }
  var play = proto.play, pause = proto.pause, load = proto.load, fastSeek = proto.fastSeek;

  var states = new WeakMapOf();
  function stateOf(el) { return apply(mapGet, states, [el]); }
  function read(el, name) { return apply(engine[name].get, el, []); }
  function assign(el, object) { apply(engine.srcObject.set, el, [object]); }

  // The events of a load, which a kept player would not fire again.
  var LOADING = {loadstart: 1, progress: 1, suspend: 1, abort: 1, emptied: 1, stalled: 1, waiting: 1, error: 1,
                 durationchange: 1, loadedmetadata: 1, loadeddata: 1, canplay: 1, canplaythrough: 1};
  var HEARD = ['loadstart', 'progress', 'suspend', 'abort', 'emptied', 'stalled', 'waiting', 'error',
               'durationchange', 'loadedmetadata', 'loadeddata', 'canplay', 'canplaythrough', 'seeking',
               'seeked', 'timeupdate', 'play', 'playing', 'pause', 'ended'];

  function schedule(el, st, ms) {
    if (st.timer) cancel(st.timer);
    st.timer = later(function () { st.timer = 0; park(el); }, ms);
  }
  function unschedule(st) {
    if (st.timer) cancel(st.timer);
    st.timer = 0;
  }
  function watchProgress(el, st) {
    if (st.stuckTimer) cancel(st.stuckTimer);
    var at = read(el, 'currentTime');
    st.stuckTimer = later(function () {
      st.stuckTimer = 0;
      if (st.phase === 'watched' && st.revivals < MOST_REVIVALS && !read(el, 'paused') && !read(el, 'ended') &&
          !read(el, 'seeking') && read(el, 'playbackRate') !== 0 && read(el, 'currentTime') === at &&
          renewable(el))
        revive(el, st);
    }, STUCK_MS);
  }
  function unwatchProgress(st) {
    if (st.stuckTimer) cancel(st.stuckTimer);
    st.stuckTimer = 0;
  }

  // Heard first, in the capture phase at the element, before the page's own listeners.
  function heard(event) {
    var el = apply(targetOf, event, []), st = stateOf(el);
    if (!st) return;
    var type = apply(typeOf, event, []);
    if (st.phase === 'parked') {
      apply(stopEvent, event, []);
      return;
    }
    if (st.phase === 'restoring') {
      // A stuck element's new player: the page heard its play already, and it never paused.
      var replayed = st.reviving && (type === 'play' || type === 'playing' || type === 'pause');
      if (!replayed && (type === 'ended' || type === 'pause')) finishRestoring(st);
    }
    if (st.phase === 'restoring') {
      if (type === 'loadedmetadata' && st.seekTo !== null) {
        var to = st.seekTo;
        st.seekTo = null;
        st.ownSeek = !st.pageSeek;
        apply(engine.currentTime.set, el, [to]);
      }
      var ours = LOADING[type] || ((type === 'seeking' || type === 'seeked') && st.ownSeek) || replayed;
      if (type === 'seeked') st.ownSeek = false;
      if (type === 'canplaythrough') st.loaded = true;
      if (type === 'error' || (st.loaded && !st.ownSeek && st.seekTo === null)) {
        finishRestoring(st);
        if (!read(el, 'paused')) watchProgress(el, st);
      }
      if (ours) apply(stopEvent, event, []);
      return;
    }
    if (type === 'ended' || type === 'pause') {
      unwatchProgress(st);
      schedule(el, st, type === 'ended' ? ENDED_MS : PAUSED_MS);
    } else if (type === 'play' || type === 'playing' || type === 'seeking') {
      unschedule(st);
      if (!read(el, 'paused')) watchProgress(el, st);
    } else if ((type === 'timeupdate' || type === 'progress') && !read(el, 'paused')) {
      watchProgress(el, st);
    }
  }

  function watch(el) {
    var st = stateOf(el);
    if (st || !(el instanceof AudioElement)) return st;
    st = {phase: 'watched', timer: 0, stuckTimer: 0, snap: null, seekTo: null, pageSeek: false, ownSeek: false,
          loaded: false, reviving: false, revivals: 0, restoreTimer: 0};
    apply(mapSet, states, [el, st]);
    for (var i = 0; i < HEARD.length; i++) apply(listen, el, [HEARD[i], heard, true]);
    return st;
  }

  // Its source can be loaded again as it was: the page's address, not an object or a blob's
  // address (which may be revoked by now); and it shows no controls of its own.
  function renewable(el) {
    if (read(el, 'controls') || read(el, 'error') || read(el, 'srcObject') !== null) return false;
    var src = read(el, 'currentSrc');
    return !!src && !apply(startsWith, src, ['blob:']);
  }

  function parkable(el) {
    if (!read(el, 'paused') || read(el, 'seeking') || read(el, 'readyState') < HAVE_METADATA) return false;
    var network = read(el, 'networkState');
    return network !== NETWORK_EMPTY && network !== NETWORK_NO_SOURCE && renewable(el);
  }

  // The page sets the src attribute of a parked element itself: its own load goes ahead.
  var sourceWatch = Observer ? new Observer(function (records) {
    for (var i = 0; i < records.length; i++) {
      var st = stateOf(records[i].target);
      if (st && st.phase === 'parked') unpark(records[i].target, st);
    }
  }) : null;

  function snapshot(el) {
    var snap = {};
    var kept = ['currentTime', 'duration', 'readyState', 'networkState', 'ended', 'buffered', 'seekable', 'played',
                'currentSrc'];
    for (var i = 0; i < kept.length; i++) snap[kept[i]] = read(el, kept[i]);
    return snap;
  }

  function park(el) {
    var st = stateOf(el);
    if (!st || st.phase !== 'watched' || !parkable(el)) return;
    unwatchProgress(st);
    st.snap = snapshot(el);
    st.phase = 'parked';
    if (sourceWatch) apply(observe, sourceWatch, [el, {attributes: true, attributeFilter: ['src']}]);
    assign(el, new BlobOf());
  }

  // Back to the page's source, with nothing kept from the page: it loads the element itself.
  function unpark(el, st) {
    finishRestoring(st);
    st.phase = 'watched';
    st.snap = null;
    assign(el, null);
  }

  // A new player for a stuck element, playing on from where it stood; the page hears none of it.
  function revive(el, st) {
    st.revivals += 1;
    st.snap = snapshot(el);
    restore(el, st, st.snap.currentTime, false, true);
    apply(load, el, []);
    apply(play, el, []).catch(function () {});
  }

  function restore(el, st, seekTo, pageSeek, reviving) {
    st.phase = 'restoring';
    st.seekTo = seekTo;
    st.pageSeek = pageSeek;
    st.ownSeek = false;
    st.loaded = false;
    st.reviving = !!reviving;
    st.restoreTimer = later(function () { finishRestoring(st); }, LONGEST_RESTORE_MS);
    if (!reviving) assign(el, null);
  }

  function finishRestoring(st) {
    if (st.phase !== 'restoring') return;
    st.phase = 'watched';
    st.snap = null;
    st.seekTo = null;
    st.reviving = false;
    cancel(st.restoreTimer);
    st.restoreTimer = 0;
  }

  function accessor(name, get, set) {
    define(proto, name, {configurable: true, enumerable: engine[name].enumerable, get: get,
                         set: set || engine[name].set});
  }
  // While parked the copy answers; while restoring, what the load has not yet brought back.
  function masked(name, whileRestoring) {
    var engineGet = engine[name].get;
    accessor(name, function () {
      var st = stateOf(this);
      if (st && st.phase === 'parked') return st.snap[name];
      var value = apply(engineGet, this, []);
      return st && st.phase === 'restoring' && whileRestoring ? whileRestoring(st, value) : value;
    });
  }
  masked('duration', function (st, value) { return value === value ? value : st.snap.duration; });
  masked('readyState', function (st) { return st.snap.readyState; });
  masked('networkState', function (st) { return st.snap.networkState; });
  masked('currentSrc', function (st, value) { return value || st.snap.currentSrc; });
  masked('buffered', function (st, value) { return value.length ? value : st.snap.buffered; });
  masked('seekable', function (st, value) { return value.length ? value : st.snap.seekable; });
  masked('ended');
  masked('played');
  function fixed(name, whileParked) {
    var engineGet = engine[name].get;
    accessor(name, function () {
      var st = stateOf(this);
      return st && st.phase === 'parked' ? whileParked : apply(engineGet, this, []);
    });
  }
  fixed('paused', true);
  fixed('seeking', false);
  fixed('error', null);

  var engineTime = engine.currentTime.get;
  accessor('currentTime', function () {
    var st = stateOf(this);
    if (st && st.phase === 'parked') return st.snap.currentTime;
    if (st && st.phase === 'restoring' && st.seekTo !== null) return st.seekTo;
    return apply(engineTime, this, []);
  }, function (value) {
    var st = stateOf(this);
    if (st && st.phase === 'parked') return restore(this, st, +value, true, false);
    if (st && st.phase === 'restoring' && st.seekTo !== null) {
      st.seekTo = +value;
      st.pageSeek = true;
      return undefined;
    }
    return apply(engine.currentTime.set, this, [value]);
  });
  var engineObject = engine.srcObject.get;
  accessor('srcObject', function () {
    var st = stateOf(this);
    return st && st.phase === 'parked' ? null : apply(engineObject, this, []);
  }, function (value) {
    var st = stateOf(this);
    if (st && st.phase !== 'watched') unpark(this, st);
    assign(this, value);
  });
  accessor('src', engine.src.get, function (value) {
    var st = stateOf(this);
    if (st && st.phase !== 'watched') unpark(this, st);
    apply(engine.src.set, this, [value]);
  });

  proto.play = function () {
    var st = watch(this);
    if (st && st.phase === 'parked') restore(this, st, st.snap.ended ? 0 : st.snap.currentTime, st.snap.ended, false);
    else if (st) unschedule(st);
    return apply(play, this, arguments);
  };
  proto.pause = function () {
    var st = stateOf(this);
    if (st && st.phase === 'parked') return undefined;  // paused already
    return apply(pause, this, arguments);
  };
  proto.load = function () {
    var st = stateOf(this);
    if (st && st.phase !== 'watched') unpark(this, st);
    return apply(load, this, arguments);
  };
  if (fastSeek) {
    proto.fastSeek = function (time) {
      var st = stateOf(this);
      if (st && st.phase === 'parked') return restore(this, st, +time, true, false);
      return apply(fastSeek, this, arguments);
    };
  }

  // An element of the document that starts by itself (autoplay) is watched from its start too.
  apply(listen, document, ['play', function (event) {
    var el = apply(targetOf, event, []);
    if (el instanceof AudioElement) watch(el);
  }, true]);
})();
)js";

}  // namespace

FinishedMedia::FinishedMedia()
    : script_(webkit_user_script_new(kScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                     WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr)) {}

void FinishedMedia::Attach(const ShownView& shown) {
  if (!shown.site) return;
  webkit_user_content_manager_add_script(webkit_web_view_get_user_content_manager(shown.view), script_.get());
}

}  // namespace tavro::platform::gtk
