// A customer chat for a busy day: each visitor's page gets a message every interval through long
// polls, as an agent console's chat does, plays the new-message sound for each and tells the site
// when each one arrived. Messages wait on the site while a page is away and come when it is back.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace kefu {

class Chat {
 public:
  // The page's title carries the console's marker, so that a client shows its signed-in layout.
  explicit Chat(std::string marker);
  ~Chat();
  Chat(const Chat&) = delete;
  Chat& operator=(const Chat&) = delete;

  // GET  /kefu/lab/chat.html?client=ID[&interval=MS]  the chat page (the client's stream)
  // GET  /kefu/lab/chat/poll?client=ID&after=SEQ[&interval=MS]
  //      the messages after SEQ as JSON, held up to 25 s until one is due; the first poll of an
  //      id starts its stream (first message at once, then one every MS, 1000 by default)
  // POST /kefu/lab/chat/report?client=ID&page=P&played=N&refused=N[&why=NAME]
  //      body: lines "SEQ RECEIVED_MS", the page's clock when each message reached it
  // GET  /kefu/lab/chat/log?client=ID  a header line of counts, then "SEQ SENT_MS RECEIVED_MS"
  //      for each message reported, by SEQ
  // GET  /kefu/lab/chat/tone.wav  the new-message sound, cacheable as a console's is
  void Register(httplib::Server& svr);
  // Answers the polls that wait and lets no new one wait.
  void Stop();

 private:
  struct Client {
    std::int64_t start_ms = 0;  // wall clock of message 1
    std::int64_t interval_ms = 0;
    std::int64_t floor = 0;                        // messages up to here are acknowledged or dropped
    std::int64_t dropped = 0;                      // messages that waited too long for the page
    std::int64_t rejected = 0;                     // report lines that named no message of this stream
    std::map<std::int64_t, std::int64_t> arrived;  // seq -> page's clock
    std::map<std::string, std::pair<std::int64_t, std::int64_t>> sounds;  // page load -> played, refused
    std::string refusal;  // why the page's last refused sound was refused

    std::int64_t Generated(std::int64_t now_ms) const;
    std::int64_t SentAt(std::int64_t seq) const { return start_ms + (seq - 1) * interval_ms; }
  };

  void Poll(const httplib::Request& req, httplib::Response& res);
  void Report(const httplib::Request& req, httplib::Response& res);
  void Log(const httplib::Request& req, httplib::Response& res);

  std::string marker_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::map<std::string, Client> clients_;  // nodes stay put: a waiting poll keeps its client
};

}  // namespace kefu
