#include "ui/term/tty.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <vector>

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

// Waits until one of fds can be read (or fails), at most milliseconds (-1:
// as long as it takes); ready[i] tells which. The number ready, 0 when the
// time ran out, -1 on error. select rather than poll: macOS's poll does not
// support devices, and the terminal is one. poll serves only descriptors
// too high for select.
int WaitForInput(const std::vector<int>& fds, int milliseconds, std::vector<bool>& ready) {
  ready.assign(fds.size(), false);
  int top = -1;
  for (int fd : fds) top = fd > top ? fd : top;
  if (top >= FD_SETSIZE) {
    std::vector<struct pollfd> polled;
    for (int fd : fds) polled.push_back({fd, POLLIN, 0});
    int r;
    do r = poll(polled.data(), polled.size(), milliseconds); while (r < 0 && errno == EINTR);
    for (std::size_t i = 0; r > 0 && i < fds.size(); ++i) ready[i] = polled[i].revents != 0;
    return r;
  }
  for (;;) {
    fd_set set;
    FD_ZERO(&set);
    for (int fd : fds) FD_SET(fd, &set);
    struct timeval limit = {milliseconds / 1000, (milliseconds % 1000) * 1000};
    int r = select(top + 1, &set, nullptr, nullptr, milliseconds < 0 ? nullptr : &limit);
    if (r < 0 && errno == EINTR) continue;
    for (std::size_t i = 0; r > 0 && i < fds.size(); ++i) ready[i] = FD_ISSET(fds[i], &set);
    return r;
  }
}

bool WaitReadable(int fd, int milliseconds) {
  std::vector<bool> ready;
  return WaitForInput({fd}, milliseconds, ready) > 0;
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
  std::vector<int> fds{ttyFd};
  fds.insert(fds.end(), wakeFds.begin(), wakeFds.end());
  std::vector<bool> ready;
  for (;;) {
    // A terminal in error shows as readable; the read below then fails.
    if (WaitForInput(fds, -1, ready) < 0) return -2;
    for (std::size_t i = 1; i < fds.size(); ++i) {
      if (ready[i]) {
        if (woken) *woken = static_cast<int>(i - 1);
        return -1;
      }
    }
    if (!ready[0]) continue;
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
