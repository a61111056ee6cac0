// HTML of the site's pages. Arguments are inserted already escaped for their context.
#pragma once

#include <string>
#include <string_view>

namespace kefu::pages {

// The agent login form; error is shown above it when not empty; auto_login_ms >= 0 adds the
// script that signs the demo account in. A remembered agent (the "remember me" cookie) is
// welcomed and filled in; remember_login signs in with "remember me" ticked when nobody is.
std::string Login(std::string_view error, int auto_login_ms, std::string_view remembered = {},
                  bool remember_login = false);
std::string Console(std::string_view marker);
std::string LoggedOut();
std::string Ad();

std::string LabBlank();
std::string LabWhoami(std::string_view session_id);
std::string LabOpen();
std::string LabCloseMe();
std::string LabNotify();
std::string LabAlert();
// An alert, and a request and a new title once it has been answered.
std::string LabAlertThenRequest();
std::string LabTitle(std::string_view text);
// A title of `count` repetitions of `unit` followed by `tail`, built by the page's script (a huge
// title needs no huge address).
std::string LabBigTitle(std::string_view unit, long count, std::string_view tail = {});
std::string LabSigninBlank();
std::string LabPermission();
std::string LabNotifyOnClick();
std::string LabAsk();
std::string LabTicker();
std::string LabHang();
// The notification lab: "click", "leave", "close", "tag", "burst", "away" and "intruder" (see
// pages.cpp); empty for another name.
std::string LabNotice(std::string_view which);

// Pages that try what a hostile page would, each telling by a request for a marker
// (/kefu/lab/title.php?t=...) when its attempts are over.
// A link to the download that the agent clicks (the whole page).
std::string LabDownloadClick();
// Starts `count` downloads by itself as it loads, then is a link to the download; each key
// pressed starts another.
std::string LabDownloadAuto(int count);
// The console's stand-in: a click opens `to` (a path) on the same server under another origin
// (localhost) in a new window that knows its opener; with `tick`, it asks for a marker every
// 300 ms while it stays.
std::string LabCustomerLink(std::string_view to, bool tick);
// 100 window.open as it loads; ten in a click.
std::string LabPopupFlood();
// A click opens this page again with n + 1, in a new window.
std::string LabOpenOnClick(int n);
// `count` alerts one after the other (0: without end), then the marker.
std::string LabAlertLoop(int count);
// The site's page with a frame of another origin (localhost) showing `src` (a path).
// A page that builds a very deep tree of elements and then holds its process for six seconds.
std::string LabDeepPage();
std::string LabOtherOriginFrame(std::string_view src);
// Sends its opener to a page of its own origin.
std::string LabTabnab();
// Asks "leave this page?" when left; a click leaves it.
std::string LabBeforeUnload();
struct ClickOpens {
  bool byScript = false;     // window.open in the click's script (the title tells whether it opened)
  bool signin = false;       // the demo account signs in first, and the title says so
  bool otherOrigin = false;  // `to` on this server under localhost
  bool sameWindow = false;   // a plain link instead of one to a new window
};
// A click anywhere opens `to` (a path) in a new window, through a link.
std::string LabClickOpens(std::string_view to, const ClickOpens& how);

// Half a second of a 660 Hz tone, 8 kHz mono 16-bit PCM.
std::string ToneWav();
// Plays the tone `afterMs` after its load, and shows in its title "sound played" or "sound
// refused <error>"; with a video element as well ("video played"/"video refused").
std::string LabSound(long afterMs);

// An agent's day on one page: signs the demo account in, notifies, plays the tone as sound and as
// video, and on a click opens a window of the site; its title tells each step ("day ...").
std::string LabDay();
// A busy console's sounds: a click plays `count` new Audio elements of the tone, one every 150 ms,
// each kept and listened to ("sounds done N" when all have ended); the next click plays the
// first one again ("replayed <ended> <currentTime>/<duration>").
std::string LabSounds(int count);
// Signs the demo account in ("busy signed-in"), then, with `spin`, asks for the marker
// "spinning" and runs a script that never ends; without, asks for the marker "idle".
std::string LabBusy(bool spin);
// Measures how late its 50 ms timer runs, and shows the worst of the last two seconds: "late N ms".
std::string LabTimerLateness();

// A short page for an error answer.
std::string Error(int status);

}  // namespace kefu::pages
