// Form1, the main window: its handlers, its outline method and the site address it keeps.
//
// What the names on the window are:
//   Picture1     the header strip along the top; the left button on it drags the window
//   Picture2     the close button, on the header strip
//   Picture3     the minimise button, on the header strip; shown in the signed-in layout
//   Timer1       the title monitor's tick, every 500 ms: caption, and the signed-in layout
//   WebBrowser1  the console: the site's pages, from the login page on
//   WebBrowser2  the advertisement at the bottom; shown in the signed-in layout
//   WebBrowser3  placed on the window and never sent anywhere
//   urladd       the site address, read from url.txt; the login and logout paths follow it
#pragma once

#include <string>

#include "platform/forms.h"
#include "platform/user32.h"

namespace tavro::app {

class Form1 {
 public:
  Form1(platform::Runtime& runtime, platform::WindowSystem& user32, platform::Form& window);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // Sets the handlers on the events of the window and its controls, and on no others.
  void Bind();

  void Form_Load();
  void DoTransparency(platform::Form& TheForm);
  void Picture1_MouseDown(int Button, int Shift, float x, float Y);
  void Picture3_Click();
  void Picture2_Click();
  void Timer1_Timer();
  void Form_QueryUnload(int& Cancel, int UnloadMode);

  // The site address: the whole content of url.txt, decoded; empty until Form_Load reads it.
  std::string urladd;

 private:
  platform::Runtime& runtime_;
  platform::WindowSystem& user32_;
  platform::Form& Me;
  platform::PictureBox& Picture1;
  platform::PictureBox& Picture2;
  platform::PictureBox& Picture3;
  platform::WebBrowser& WebBrowser1;
  platform::WebBrowser& WebBrowser2;
  platform::TimerControl& Timer1;
  bool leaving_ = false;  // the agent confirmed the exit: the logout is on its way
};

}  // namespace tavro::app
