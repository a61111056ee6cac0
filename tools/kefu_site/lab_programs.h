// Lab pages with links to other programs of the desktop (tencent:, mailto:, ...): clicked by the
// agent, followed by the page's own timer or refresh, in a frame of another origin.
#pragma once

namespace httplib {
class Server;
}  // namespace httplib

namespace kefu {

// GET /kefu/lab/programs.html?to=ADDRESS[&then=ADDRESS[&pad=N]][&how=HOW][&frame=1[&frameto=ADDRESS]][&inner=1]
//   title "programs N", N counting up every 300 ms, each count also asked of the site as
//   /kefu/lab/title.php?t=programs-tick-N (the page still runs). HOW is what takes the page to
//   ADDRESS:
//   link   (default) a link over the page; after a click it goes to the `then` address, if any,
//          and the site is asked for programs-clicked-N
//   blank  the same link, opening in a new window
//   open   a click calls window.open(ADDRESS), then window.open(`then`) if given; the site is
//          asked for programs-opened-N-got-W, W the windows the page got
//   timer  location.href = ADDRESS 300 ms after load, without any input
//   meta   a refresh to ADDRESS in the page's head
//   pad=N makes the `then` address N characters "x" longer.
//   timer and meta ask for programs-tried at the tenth count, well after the attempt.
//   With frame=1 the link covers 210..430 px from the top, and a frame below it shows this page of
//   the site's other origin (http://localhost:PORT) with inner=1: only its link, over all of it.
void RegisterProgramLinkPages(httplib::Server& svr);

}  // namespace kefu
