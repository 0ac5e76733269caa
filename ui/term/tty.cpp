#include "ui/term/tty.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

namespace {

std::once_flag openOnce;
int ttyFd = -1;
struct termios savedModes;
std::atomic<bool> modesChanged{false};

void OpenTty() {
  ttyFd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (ttyFd >= 0 && tcgetattr(ttyFd, &savedModes) != 0) {
    close(ttyFd);
    ttyFd = -1;
  }
}

thread_local int keyModeDepth = 0;

void EnterKeyMode(bool dropTypeahead) {
  struct termios raw = savedModes;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  modesChanged = true;
  tcsetattr(ttyFd, dropTypeahead ? TCSAFLUSH : TCSANOW, &raw);
}

bool WaitReadable(int fd, int milliseconds) {
  struct pollfd p = {fd, POLLIN, 0};
  int r;
  do r = poll(&p, 1, milliseconds); while (r < 0 && errno == EINTR);
  return r > 0;
}

}  // namespace

bool Tty::Available() {
  std::call_once(openOnce, OpenTty);
  return ttyFd >= 0;
}

int Tty::Fd() { return Available() ? ttyFd : -1; }

void Tty::Write(const std::string& text) {
  if (!Available()) return;
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(ttyFd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

void Tty::RestoreModes() {
  if (ttyFd >= 0 && modesChanged.exchange(false))
    tcsetattr(ttyFd, TCSANOW, &savedModes);
}

Tty::KeyMode::KeyMode(bool dropTypeahead) {
  if (Available() && keyModeDepth++ == 0) EnterKeyMode(dropTypeahead);
}

Tty::KeyMode::~KeyMode() {
  if (ttyFd >= 0 && --keyModeDepth == 0) RestoreModes();
}

int Tty::ReadKey(const std::vector<int>& wakeFds, int* woken) {
  if (!Available()) return -2;
  KeyMode keys(false);
  std::vector<struct pollfd> fds;
  fds.push_back({ttyFd, POLLIN, 0});
  for (int fd : wakeFds) fds.push_back({fd, POLLIN, 0});
  for (;;) {
    for (auto& p : fds) p.revents = 0;
    int r = poll(fds.data(), fds.size(), -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      return -2;
    }
    for (std::size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents) {
        if (woken) *woken = static_cast<int>(i - 1);
        return -1;
      }
    }
    if (fds[0].revents & (POLLERR | POLLNVAL)) return -2;
    unsigned char c;
    ssize_t n = read(ttyFd, &c, 1);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return -2;
    if (c == 27) {
      // Swallow the rest of an escape sequence that follows at once.
      unsigned char rest;
      while (WaitReadable(ttyFd, 30) && read(ttyFd, &rest, 1) == 1) {
      }
    }
    return c;
  }
}

bool Tty::ReadLine(std::string& line) {
  if (!Available()) return false;
  line.clear();
  struct termios cooked = savedModes;
  cooked.c_lflag |= ICANON | ECHO | ISIG;
  modesChanged = true;
  tcsetattr(ttyFd, TCSANOW, &cooked);
  bool ok = false;
  for (;;) {
    char c;
    ssize_t n = read(ttyFd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (c == '\n') { ok = true; break; }
    line += c;
  }
  RestoreModes();
  return ok;
}
