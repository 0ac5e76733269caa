// The controlling terminal (/dev/tty), where questions are answered. It is
// used even when standard input or output are redirected, as long as the
// process has a terminal; without one, questions take the answer that
// changes nothing.
#pragma once

#include <string>
#include <vector>

class Tty {
 public:
  // Opens /dev/tty on first use; false when the process has no terminal.
  static bool Available();
  static int Fd();
  // Writes text straight to the terminal.
  static void Write(const std::string& text);

  // Keys are read without echo and line editing while one of these lives.
  // dropTypeahead: keys typed before (meant for something else) are
  // dropped, so that they cannot answer a question not yet shown.
  class KeyMode {
   public:
    explicit KeyMode(bool dropTypeahead);
    ~KeyMode();
    KeyMode(const KeyMode&) = delete;
    KeyMode& operator=(const KeyMode&) = delete;
  };

  // One key press (in a KeyMode, or in one made for this read). Ctrl-C arrives as the byte 3. An escape
  // sequence (an arrow key) is swallowed whole and reported as 27.
  // Returns -1 when one of wakeFds became readable first (its index in
  // *woken), -2 on end of input or error.
  static int ReadKey(const std::vector<int>& wakeFds, int* woken);
  // One line with the terminal's own editing and echo; false at end of
  // input, error, or Ctrl-C.
  static bool ReadLine(std::string& line);
  // Puts back the modes found when the terminal was opened (also at exit).
  static void RestoreModes();
};
