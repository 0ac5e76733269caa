#include "run/handshake.h"

#include <chrono>
#include <thread>

#include "ui/log.h"

std::atomic<std::uintptr_t> progressDialog{0};
std::atomic<int> terminateRequest{0};
std::atomic<int> masterFinished{0};
std::atomic<int> confirmStop{1};

void ProgressThreadEpilogue(int pollMilliseconds) {
  terminateRequest = 1;
  ConsolePrintf(LOG_INFO, "Thread: Termina request send");
  while (masterFinished == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(pollMilliseconds));
  ConsolePrintf(LOG_INFO, "Thread: Exit Thread");
}
