// One client connection: PRELOGIN, LOGIN7, then requests (SQL batch, RPC, BULK LOAD) answered
// from an engine session, until the client leaves, a fault option drops it, or the server stops.
//
// Two threads serve a connection once it is logged in:
//   1. the connection thread (run()) executes one request at a time and writes the replies;
//   2. a reader thread reads packets into a small queue, so that an attention can be seen while
//      a request runs: it cancels the session at once and is queued as a marker, and the
//      connection thread answers the marker with DONE(ATTN) after finishing the reply it was
//      writing (cut short: no further tokens once the attention is seen).
// The queue holds a bounded number of packets; the reader waits when it is full, so a bulk load
// streams through without being held in memory as a whole.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "server.h"
#include "tds_login.h"
#include "tds_packet.h"
#include "tds_tokens.h"

namespace mssim {

class tds_connection {
 public:
  tds_connection(server_context& ctx, int fd);
  ~tds_connection();

  // Serves the connection to its end; closes the socket. Never throws.
  void run();
  // Makes run() end soon: shuts the socket down (any thread).
  void close();
  bool finished() const { return finished_; }

 private:
  // Packet queue between the reader thread and the connection thread.
  class inbox {
   public:
    // Waits for the next packet; false once the stream has ended and the queue is empty.
    bool pop(tds_packet& out);
    void push(tds_packet p);  // waits while full (attention markers never wait)
    void end();
    // Waits up to `ms` unless an attention arrives; true when it did.
    bool wait_attention(int ms);
    // Attentions read so far (reader thread) and answered so far (connection thread).
    std::atomic<int> attention_count{0};
    std::atomic<int> attention_acked{0};

   private:
    std::mutex mu_;
    std::condition_variable cv_;
    std::deque<tds_packet> q_;
    bool ended_ = false;
  };

  bool login();
  void serve_requests();
  void reader_loop();

  // Request handlers; false ends the connection.
  bool on_sql_batch(const tds_packet& first);
  bool on_rpc(const tds_packet& first);
  bool on_bulk_load(const tds_packet& first);
  bool on_transaction_manager(const tds_packet& first);
  // Runs a transaction statement for a TM request; writes its messages; false on error.
  bool transaction_statement(const std::u16string& sql);
  void write_transaction_env(uint8_t type, bool begins);

  // Reads the rest of a message whose first packet is `first`.
  bool collect(const tds_packet& first, std::string& payload);
  bool count_statement();
  // Applies --delay-ms; false when an attention came in meanwhile (the request is not run).
  bool delay();

  enum class outcome {
    ok,               // go on with the next request
    end_after_reply,  // a severity >= 20 error: finish the reply, then close
    drop,             // a fault option: close at once, mid-reply
  };
  // Writes engine output; `in_proc` turns DONE into DONEINPROC (a DONEPROC follows). Sets
  // `errors` when an error went out. A batch reply always ends with a final DONE.
  outcome write_items(const std::vector<item>& items, bool in_proc, bool& errors);
  // False when the row fault option drops the connection.
  bool write_result(const result_set& rs);
  bool attention_pending() const;
  // Writes DONE(ATTN) and counts the attention as answered.
  void acknowledge_attention();
  void write_login_failure(const std::vector<item>& pre, const std::u16string& user, int number,
                           const std::u16string& text);
  message server_message(int32_t number, uint8_t state, uint8_t cls, std::u16string text);

  server_context& ctx_;
  int fd_;
  uint16_t spid_;
  tds_reply reply_;
  tds_format fmt_;
  std::unique_ptr<session> session_;
  inbox inbox_;
  std::thread reader_;
  uint64_t transaction_id_ = 0;         // descriptor of the transaction a TM request began
  std::atomic<bool> executing_{false};  // an engine call is running (attention cancels it)
  std::atomic<bool> finished_{false};
  std::atomic<bool> closed_{false};
};

}  // namespace mssim
