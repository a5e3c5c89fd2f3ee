// cloudlog_e against a bare non-blocking zmq_send of the same, prebuilt message,
// both into one collector that drains in its own thread. Batches alternate and
// stay below the socket's queue limit, and the collector empties the queue
// between them, so every timed send is a real one, not a quick refusal.
//
// Usage: bench_swaglog [ROUNDS]   (default 400 rounds of 500 calls each way)
// Under valgrind's callgrind, logRecord and sendRaw are the two sides per call, e.g.
//   valgrind --tool=callgrind --collect-atstart=no --toggle-collect='*logRecord*'
//     --toggle-collect='*sendRaw*' build/bench/common/bench_swaglog 20
#include <zmq.h>

#include <unistd.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "common/swaglog.h"

namespace {

using Clock = std::chrono::steady_clock;

// Kept whole so that an instruction profile sees one call of each per record.
[[gnu::noipa]] void logRecord() {
  LOGD("bench record %d of %s", 12345, "a typical length message");
}

[[gnu::noipa]] void sendRaw(void *push, const std::string &record) {
  zmq_send(push, record.data(), record.size(), ZMQ_NOBLOCK);
}

template <class F>
double seconds_for(int iterations, F op) {
  const auto start = Clock::now();
  for (int i = 0; i < iterations; ++i)
    op();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string receive(void *sock) {
  zmq_msg_t msg;
  zmq_msg_init(&msg);
  std::string data;
  if (zmq_msg_recv(&msg, sock, 0) >= 0)
    data.assign(static_cast<char *>(zmq_msg_data(&msg)), zmq_msg_size(&msg));
  zmq_msg_close(&msg);
  return data;
}

}  // namespace

int main(int argc, char *argv[]) {
  const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 400;
  const std::string prefix = "-bench-" + std::to_string(::getpid());
  setenv("HALCYRA_PREFIX", prefix.c_str(), 1);
  unsetenv("LOGPRINT");  // debug records are sent, not printed
  const std::string endpoint = Path::swaglog_ipc();

  void *ctx = zmq_ctx_new();
  void *pull = zmq_socket(ctx, ZMQ_PULL);
  if (zmq_bind(pull, endpoint.c_str()) != 0)
    return 1;

  // One real record, captured, is the baseline's prebuilt message.
  logRecord();
  const std::string prebuilt = receive(pull);

  std::atomic<bool> done{false};
  std::atomic<long> received{0};
  std::thread drain([&] {
    const int timeout_ms = 100;
    zmq_setsockopt(pull, ZMQ_RCVTIMEO, &timeout_ms, sizeof(timeout_ms));
    while (!done) {
      if (!receive(pull).empty())
        ++received;
    }
  });

  void *push = zmq_socket(ctx, ZMQ_PUSH);
  const int linger_ms = 100;
  zmq_setsockopt(push, ZMQ_LINGER, &linger_ms, sizeof(linger_ms));
  zmq_connect(push, endpoint.c_str());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  const int batch = 500;
  long sent = 0;
  const auto wait_drained = [&] {
    // A send refused (queue momentarily full) never arrives: stop once nothing moves.
    long last = -1;
    while (received < sent && received != last) {
      last = received;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  };
  double subject = 0, baseline = 0;
  for (int r = 0; r < rounds; ++r) {
    const bool baseline_first = r % 2;
    for (int turn = 0; turn < 2; ++turn) {
      if ((turn == 0) == baseline_first) {
        baseline += seconds_for(batch, [&] { sendRaw(push, prebuilt); });
      } else {
        subject += seconds_for(batch, logRecord);
      }
      sent += batch;
      wait_drained();
    }
  }
  done = true;
  drain.join();

  const double per_subject = subject / (double(rounds) * batch);
  const double per_baseline = baseline / (double(rounds) * batch);
  printf(
      "cloudlog_e   %8.3f us/call   zmq_send baseline %8.3f us/call   ratio %.3f   (%zu-byte record, %ld of %ld "
      "delivered)\n",
      per_subject * 1e6, per_baseline * 1e6, per_subject / per_baseline, prebuilt.size(), received.load(), sent);

  zmq_close(push);
  zmq_close(pull);
  zmq_ctx_destroy(ctx);
  return 0;
}
