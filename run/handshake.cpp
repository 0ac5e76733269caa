#include "run/handshake.h"

#include <chrono>
#include <thread>

#include "ui/log.h"

std::atomic<std::uintptr_t> progressDialog{0};
std::atomic<int> terminateRequest{0};
std::atomic<int> masterFinished{0};
std::atomic<int> confirmStop{1};
std::atomic<int> holdNewJobs{0};
bool (*stopRequestWaiting)() = nullptr;

void SettleStopRequests() {
  while (stopRequestWaiting && stopRequestWaiting())
    std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void ProgressThreadEpilogue(int pollMilliseconds) {
  ProgressThreadEpilogue([pollMilliseconds] {
    std::this_thread::sleep_for(std::chrono::milliseconds(pollMilliseconds));
  });
}

void ProgressThreadEpilogue(const std::function<void()>& waitForMaster) {
  terminateRequest = 1;
  ConsolePrintf(LOG_INFO, "Thread: Termina request send");
  while (masterFinished == 0) waitForMaster();
  ConsolePrintf(LOG_INFO, "Thread: Exit Thread");
}
