// The terminal's progress block: a few lines kept at the bottom of the
// screen and redrawn in place (carriage return, cursor up, erase to end of
// line), each cut to the terminal's width so that nothing wraps. Text that
// must stay (messages, log lines, a child's output) is printed above the
// block: the block is erased, the text written, the block drawn again.
// On a stream that cannot overwrite (a pipe, a file, TERM=dumb) nothing is
// redrawn; the caller prints plain lines instead.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// Columns a UTF-8 text takes on a terminal: wide (East Asian) characters
// count two, combining marks none, control bytes none; a malformed byte
// counts one.
int DisplayWidth(const std::string& text);
// The longest prefix of text that fits into columns, never splitting a
// UTF-8 sequence or a wide character.
std::string CutToWidth(const std::string& text, int columns);

// true when the stream on fd can overwrite its last lines: a terminal whose
// TERM is set and not "dumb".
bool CanRedrawInPlace(int fd);
// The terminal's width in columns; 80 when it cannot be had.
int TerminalWidth(int fd);

class LinePrinter {
 public:
  // width() is asked at every redraw, so a resized terminal is followed.
  LinePrinter(std::FILE* stream, bool smart, std::function<int()> width);

  bool smart() const { return smart_; }
  // Draws the block in place of the one drawn before (smart streams only).
  void SetBlock(const std::vector<std::string>& lines);
  // Erases the block from the screen; SetBlock or Redraw brings it back.
  void ClearBlock();
  // Draws the last block again after ClearBlock.
  void Redraw();
  // Leaves the block on the screen as ordinary lines; the next block is
  // drawn below it.
  void CommitBlock();
  // Writes text (which should end in a line break) above the block.
  void PrintAbove(std::FILE* stream, const std::string& text);
  int drawnLines() const { return drawnLines_; }

 private:
  std::string EraseSequence() const;

  std::FILE* stream_;
  bool smart_;
  std::function<int()> width_;
  std::vector<std::string> lines_;
  int drawnLines_ = 0;
};
