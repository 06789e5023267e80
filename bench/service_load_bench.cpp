// The local service (zavelto-service, a child process on the loopback) under the load of many
// clients at once:
//
// - service_load/pictures/ours/clients:N: N clients, each a thread with one kept-alive
//   connection, fetch 2000 x 2000 PNG pictures (each name new, so each drawn and encoded on the
//   request) one after the other as fast as they are answered. An iteration is N pictures
//   answered; reported: pictures a second (items_per_second), the service's processor time in
//   cores over the timed loop (service_cores) and per picture (service_cpu_us_per_item: the
//   work is the service's; cpu_us_per_item is this process, the clients, alone) and the rate
//   against one client's, measured first in the same run (vs_one_client).
//   Peer (service_load/pictures/zlib/clients:N): N threads of this process each making the
//   same pictures with the service's own code (a new name each time: the name checked, the
//   picture drawn, its rows copied and deflated by zlib at the service's level, the PNG put
//   together, the same allocations), without HTTP or the service's queues: the scaling the
//   processors allow.
// - service_load/signed_call/ours/pictures:N: a valid signed user-information call (the
//   enciphered get_time, then userInfo&do=my with the demo user's session, each on a new
//   connection, as the client makes them) while N picture clients as above keep the service
//   busy. Reported: the mean, the median and 95th percentile of the calls (p50_ms, p95_ms), how
//   many took over the clients' 8 s (over_8s) and the service's processor time per call, the
//   pictures' included (service_cpu_us_per_item). pictures:0 is the floor: the call alone.
//
// ZVT_BENCH_SERVICE_CPUS (e.g. "0-3") pins the service (and the zlib peer) to those processors
// and this program's own threads to the others. The service, its login and the picture clients
// are set up before each timed loop; the clients stop after it. Goals: 8 clients get at least 3
// times the rate of one with the service on four processors; signed calls answered with a
// median under 0.5 s beside 16 picture clients.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/HelperProcesses.h"
#include "bench/support/Smoke.h"
#include "bench/support/ProcessCPU.h"
#include "bench/support/ProgramEnd.h"
#include "service/Images.h"
#include "tests/service/ServiceProtocol.h"
#include "tests/support/ServiceProcess.h"

namespace {

using zvt::test::ServiceProcess;
namespace svc = zvt::test::svc;
using Clock = std::chrono::steady_clock;

using zvt::bench::smokeRun;

// The side of the pictures: the largest the service makes (smaller in smoke mode, where the
// sanitizers slow everything down).
int side() { return smokeRun() ? 200 : 2000; }

// A picture name never asked before, so that each picture is drawn and encoded anew.
std::string newPictureName() {
  static std::atomic<long> serial{0};
  return "load" + std::to_string(serial++) + "_" + std::to_string(side()) + "x" + std::to_string(side()) + ".png";
}

struct World {
  ServiceProcess* service = nullptr;  // stopped and removed when the program ends
  std::string cookie;
  bool pinned = false;
  cpu_set_t serviceCPUs{};
};

// Kept to the end of the program, never torn down.
World& world() {
  static World& w = *new World([] {
    World made;
    cpu_set_t own;
    sched_getaffinity(0, sizeof own, &own);
    const char* cpus = std::getenv("ZVT_BENCH_SERVICE_CPUS");
    made.pinned = cpus && zvt::bench::parseCPUList(cpus, made.serviceCPUs);
    // The child takes the affinity of the thread that starts it.
    if (made.pinned) sched_setaffinity(0, sizeof made.serviceCPUs, &made.serviceCPUs);
    // Its line per request goes to a file in its data folder, not among the benchmark's notes.
    made.service = new ServiceProcess(ServiceProcess::Options{.captureLog = true});
    if (made.pinned) {
      cpu_set_t rest;
      CPU_ZERO(&rest);
      for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &own) && !CPU_ISSET(cpu, &made.serviceCPUs)) CPU_SET(cpu, &rest);
      sched_setaffinity(0, sizeof(cpu_set_t), CPU_COUNT(&rest) > 0 ? &rest : &own);
    }
    ServiceProcess* service = made.service;
    zvt::bench::atProgramEnd([service] { delete service; });
    svc::json reply = svc::json::parse(
        service->request("POST", svc::kDesPath + "get_time",
                         svc::encipheredBody({{"code", svc::md5Hex(svc::md5Hex(svc::kSecret))}}), svc::kFormType)
            .body,
        nullptr, false);
    const std::string time = svc::json::parse(svc::decipher(reply.value("data", "")), nullptr, false).value("time", "");
    svc::json login = svc::json::parse(
        service->request("POST", svc::kDesPath + "login",
                         svc::encipheredBody(svc::signedWith({{"userName", "zvttest"}, {"password", "zvt123456"}}, time)),
                         svc::kFormType)
            .body,
        nullptr, false);
    if (login.contains("setCookie")) made.cookie = "ZVTSESSID=" + login["setCookie"]["value"].get<std::string>();
    return made;
  }());
  return w;
}

// Processor time the service has used so far, in seconds (/proc/<pid>/stat).
double serviceCPUSeconds() {
  std::ifstream stat("/proc/" + std::to_string(world().service->pid()) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::atoll(field.c_str());
    if (i == 15) stime = std::atoll(field.c_str());
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The service's processor time over a timed loop, per item, beside the benchmark process's own
// (cpu_us_per_item): on our sides the work is done in the service, not in this process.
class ServiceCPUCounter {
 public:
  explicit ServiceCPUCounter(benchmark::State& state) : state_(state), start_(serviceCPUSeconds()) {}
  ~ServiceCPUCounter() {
    const double spent = serviceCPUSeconds() - start_;
    const auto items = static_cast<double>(state_.items_processed() > 0 ? state_.items_processed() : state_.iterations());
    state_.counters["service_cpu_us_per_item"] = items > 0 ? spent * 1e6 / items : 0;
  }
  ServiceCPUCounter(const ServiceCPUCounter&) = delete;
  ServiceCPUCounter& operator=(const ServiceCPUCounter&) = delete;

 private:
  benchmark::State& state_;
  double start_;
};

// One kept-alive connection to the service that asks for pictures.
class PictureClient {
 public:
  explicit PictureClient(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval tv{30, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      close(fd_);
      fd_ = -1;
    }
    host_ = "127.0.0.1:" + std::to_string(port);
  }
  ~PictureClient() {
    if (fd_ >= 0) close(fd_);
  }
  PictureClient(const PictureClient&) = delete;
  PictureClient& operator=(const PictureClient&) = delete;

  // The picture's body size, or 0 when it did not come whole with status 200.
  size_t measuredFetch(const std::string& name) {
    if (fd_ < 0) return 0;
    const std::string request = "GET /images/" + name + " HTTP/1.1\r\nHost: " + host_ + "\r\n\r\n";
    if (send(fd_, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) return 0;
    std::string head;
    size_t headEnd;
    while ((headEnd = buffer_.find("\r\n\r\n")) == std::string::npos) {
      if (!fill()) return 0;
    }
    head = buffer_.substr(0, headEnd);
    buffer_.erase(0, headEnd + 4);
    const size_t at = head.find("Content-Length: ");
    if (head.compare(0, 12, "HTTP/1.1 200") != 0 || at == std::string::npos) return 0;
    const size_t length = std::strtoull(head.c_str() + at + 16, nullptr, 10);
    while (buffer_.size() < length) {
      if (!fill()) return 0;
    }
    buffer_.erase(0, length);
    return length;
  }

 private:
  bool fill() {
    char chunk[65536];
    const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer_.append(chunk, static_cast<size_t>(n));
    return true;
  }

  int fd_ = -1;
  std::string host_;
  std::string buffer_;
};

// N picture clients fetching from the service until stopped; counts the pictures answered.
class PictureLoad {
 public:
  explicit PictureLoad(int clients) {
    const int port = world().service->port();
    for (int c = 0; c < clients; ++c) {
      threads_.emplace_back([this, port] {
        PictureClient client(port);
        while (!stopping_) {
          if (client.measuredFetch(newPictureName()) == 0) {
            failed_ = true;
            break;
          }
          {
            std::lock_guard lock(mutex_);
            ++answered_;
          }
          answeredSignal_.notify_all();
        }
      });
    }
  }
  ~PictureLoad() {
    stopping_ = true;
    for (auto& t : threads_) t.join();
  }

  // Waits until `count` pictures in all have been answered; false when a client failed.
  bool waitFor(long count) {
    std::unique_lock lock(mutex_);
    answeredSignal_.wait_for(lock, std::chrono::seconds(120), [&] { return answered_ >= count || failed_; });
    return answered_ >= count && !failed_;
  }
  long answered() {
    std::lock_guard lock(mutex_);
    return answered_;
  }

 private:
  std::vector<std::thread> threads_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> failed_{false};
  std::mutex mutex_;
  std::condition_variable answeredSignal_;
  long answered_ = 0;
};

double& oneClientRate(const std::string& side) {
  static std::map<std::string, double> rates;
  return rates[side];
}

void BM_PicturesOurs(benchmark::State& state) {
  const int clients = static_cast<int>(state.range(0));
  if (world().cookie.empty()) {
    state.SkipWithError("the service did not start or log in");
    return;
  }
  PictureLoad load(clients);
  // Every client has had a picture before the timing starts.
  if (!load.waitFor(clients)) {
    state.SkipWithError("a picture was not answered");
    return;
  }
  long target = load.answered();
  const double cpuBefore = serviceCPUSeconds();
  const auto start = Clock::now();
  {
    zvt::bench::ProcessCPUCounter cpu(state);
    ServiceCPUCounter serviceCPU(state);
    for (auto _ : state) {
      target += clients;
      if (!load.waitFor(target)) {
        state.SkipWithError("a picture was not answered");
        break;
      }
    }
    state.SetItemsProcessed(state.iterations() * clients);
  }
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  state.counters["service_cores"] = (serviceCPUSeconds() - cpuBefore) / wall;
  const double rate = static_cast<double>(state.iterations() * clients) / wall;
  if (clients == 1) oneClientRate("ours") = rate;
  if (oneClientRate("ours") > 0) state.counters["vs_one_client"] = rate / oneClientRate("ours");
}

// A picture as the service makes it for a request for `name`; its size, 0 when none was made.
size_t measuredPicture(const std::string& name) {
  const auto picture = zvt::service::pictureNamed(name);
  return picture && picture->status == 200 ? picture->bytes.size() : 0;
}

void BM_PicturesZlib(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  std::atomic<bool> failed{false};
  std::mutex mutex;
  std::condition_variable changed;
  long handedOut = 0, done = 0;
  bool stopping = false;
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      if (world().pinned) sched_setaffinity(0, sizeof(cpu_set_t), &world().serviceCPUs);
      for (;;) {
        {
          std::unique_lock lock(mutex);
          changed.wait(lock, [&] { return stopping || handedOut > 0; });
          if (stopping) return;
          --handedOut;
        }
        if (measuredPicture(newPictureName()) == 0) failed = true;
        {
          std::lock_guard lock(mutex);
          ++done;
        }
        changed.notify_all();
      }
    });
  }
  const auto start = Clock::now();
  {
    zvt::bench::ProcessCPUCounter cpu(state);
    for (auto _ : state) {
      std::unique_lock lock(mutex);
      handedOut += threads;
      const long target = done + threads;
      changed.notify_all();
      changed.wait(lock, [&] { return done >= target; });
    }
    state.SetItemsProcessed(state.iterations() * threads);
  }
  const double rate = static_cast<double>(state.iterations() * threads) /
                      std::chrono::duration<double>(Clock::now() - start).count();
  if (failed) state.SkipWithError("a picture was not made");
  if (threads == 1) oneClientRate("zlib") = rate;
  if (oneClientRate("zlib") > 0) state.counters["vs_one_client"] = rate / oneClientRate("zlib");
  {
    std::lock_guard lock(mutex);
    stopping = true;
  }
  changed.notify_all();
  for (auto& t : workers) t.join();
}

// The signed user-information call: a time stamp, then the call; true when answered with 101.
bool measuredSignedCall() {
  ServiceProcess& service = *world().service;
  const auto timeReply = service.request("POST", svc::kDesPath + "get_time",
                                         svc::encipheredBody({{"code", svc::md5Hex(svc::md5Hex(svc::kSecret))}}),
                                         svc::kFormType);
  const svc::json timeJson = svc::json::parse(timeReply.body, nullptr, false);
  if (!timeJson.is_object()) return false;
  const svc::json data = svc::json::parse(svc::decipher(timeJson.value("data", "")), nullptr, false);
  if (!data.is_object()) return false;
  const auto reply = service.request("POST", svc::kDesPath + "userInfo&do=my",
                                     svc::encipheredBody(svc::signedWith({{"id", "10001"}}, data.value("time", ""))),
                                     svc::kFormType, {{"Cookie", world().cookie}});
  const svc::json answer = svc::json::parse(reply.body, nullptr, false);
  return answer.is_object() && answer.value("code", 0) == 101;
}

void BM_SignedCall(benchmark::State& state) {
  const int pictureClients = static_cast<int>(state.range(0));
  if (world().cookie.empty()) {
    state.SkipWithError("the service did not start or log in");
    return;
  }
  PictureLoad load(pictureClients);
  if (!load.waitFor(pictureClients)) {
    state.SkipWithError("a picture was not answered");
    return;
  }
  std::vector<double> ms;
  int failed = 0;
  {
    zvt::bench::ProcessCPUCounter cpu(state);
    ServiceCPUCounter serviceCPU(state);
    for (auto _ : state) {
      const auto start = Clock::now();
      if (!measuredSignedCall()) ++failed;
      ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
  }
  if (failed > 0) state.SkipWithError("a signed call was not answered with 101");
  std::sort(ms.begin(), ms.end());
  if (!ms.empty()) {
    state.counters["p50_ms"] = ms[ms.size() / 2];
    state.counters["p95_ms"] = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
    state.counters["over_8s"] =
        static_cast<double>(std::count_if(ms.begin(), ms.end(), [](double m) { return m > 8000; }));
  }
}

}  // namespace

// The service's pictures and the zlib peer, over the same counts of clients.
static void pictures(benchmark::internal::Benchmark* b) {
  b->ArgName("clients")->Arg(1)->Arg(8)->Arg(16)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(
      smokeRun() ? 2 : 16);
}
BENCHMARK(BM_PicturesOurs)->Name("service_load/pictures/ours")->Apply(pictures);
BENCHMARK(BM_PicturesZlib)->Name("service_load/pictures/zlib")->Apply(pictures);
BENCHMARK(BM_SignedCall)
    ->Name("service_load/signed_call/ours")
    ->ArgName("pictures")
    ->Arg(0)
    ->Arg(4)
    ->Arg(16)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(smokeRun() ? 3 : 40);

BENCHMARK_MAIN();
