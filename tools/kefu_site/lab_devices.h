// Lab pages for what pages ask of the agent's devices: the microphone and the camera, the screen,
// the pointer. They tell what they got through their title and through requests to
// /kefu/lab/title.php?t=MARKER, so that a test also sees the attempts of pages of another origin.
#pragma once

namespace httplib {
class Server;
}  // namespace httplib

namespace kefu {

// GET /kefu/lab/devices.html[?ask=av|a|v][&rounds=N][&click=lock|screen][&early=1]
//   ask: getUserMedia for the microphone and the camera, either or both, at load, after listing
//   the devices; the marker "devices-ROUND-GOT-before-LABELS-camera-STATE-microphone-STATE" (GOT:
//   the live tracks' kinds, "audio.video", or the error's name; LABELS: whether the devices had
//   names before the request; STATE: the Permissions API's answer). With rounds, the page loads
//   itself again until it asked that many times.
//   click: each click asks for the pointer ("clickK-lock-taken", "-refused", "-released") or for
//   the screen ("clickK-screen-GOT"). early: the pointer asked for at load, without a click
//   ("load-lock-...").
//   "ready-ROUND" once it listens for clicks.
void RegisterDeviceLabPages(httplib::Server& svr);

}  // namespace kefu
