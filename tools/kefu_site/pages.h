// HTML of the site's pages. Arguments are inserted already escaped for their context.
#pragma once

#include <string>
#include <string_view>

namespace kefu::pages {

// The agent login form; error is shown above it when not empty; auto_login_ms >= 0 adds the
// script that signs the demo account in.
std::string Login(std::string_view error, int auto_login_ms);
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

// A short page for an error answer.
std::string Error(int status);

}  // namespace kefu::pages
