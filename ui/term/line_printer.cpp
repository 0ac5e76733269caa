#include "ui/term/line_printer.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

// Decodes one UTF-8 sequence at text[i]; returns its length (1 for a
// malformed byte, whose code point is then -1).
std::size_t DecodeUtf8(const std::string& text, std::size_t i, long& codePoint) {
  unsigned char lead = static_cast<unsigned char>(text[i]);
  std::size_t length;
  long value;
  if (lead < 0x80) { codePoint = lead; return 1; }
  if ((lead & 0xE0) == 0xC0) { length = 2; value = lead & 0x1F; }
  else if ((lead & 0xF0) == 0xE0) { length = 3; value = lead & 0x0F; }
  else if ((lead & 0xF8) == 0xF0) { length = 4; value = lead & 0x07; }
  else { codePoint = -1; return 1; }
  if (i + length > text.size()) { codePoint = -1; return 1; }
  for (std::size_t k = 1; k < length; ++k) {
    unsigned char next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) { codePoint = -1; return 1; }
    value = (value << 6) | (next & 0x3F);
  }
  codePoint = value;
  return length;
}

int CodePointWidth(long c) {
  if (c < 0) return 1;
  if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return 0;
  if ((c >= 0x0300 && c <= 0x036F) || (c >= 0x200B && c <= 0x200F) ||
      (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0x3099 && c <= 0x309A))
    return 0;
  if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
      (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
      (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
      (c >= 0x20000 && c <= 0x3FFFD))
    return 2;
  return 1;
}

}  // namespace

int DisplayWidth(const std::string& text) {
  int width = 0;
  for (std::size_t i = 0; i < text.size();) {
    long c;
    i += DecodeUtf8(text, i, c);
    width += CodePointWidth(c);
  }
  return width;
}

std::string CutToWidth(const std::string& text, int columns) {
  int width = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    long c;
    std::size_t length = DecodeUtf8(text, i, c);
    int w = CodePointWidth(c);
    if (width + w > columns) break;
    width += w;
    i += length;
  }
  return text.substr(0, i);
}

bool CanRedrawInPlace(int fd) {
  if (!isatty(fd)) return false;
  const char* term = std::getenv("TERM");
  return term && *term && std::strcmp(term, "dumb") != 0;
}

int TerminalWidth(int fd) {
  struct winsize size;
  if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

LinePrinter::LinePrinter(std::FILE* stream, bool smart, std::function<int()> width)
    : stream_(stream), smart_(smart), width_(std::move(width)) {}

std::string LinePrinter::EraseSequence() const {
  // Back to the first column of the block's first line, then erase to the
  // end of the screen.
  std::string out = "\r";
  if (drawnLines_ > 1) out += "\x1b[" + std::to_string(drawnLines_ - 1) + "A";
  return out;
}

void LinePrinter::SetBlock(const std::vector<std::string>& lines) {
  lines_ = lines;
  if (!smart_) return;
  // One column is kept free: a line that fills the last column leaves some
  // terminals in a pending-wrap state in which erasing misbehaves.
  int columns = width_() - 1;
  if (columns < 1) columns = 1;
  std::string out = drawnLines_ > 0 ? EraseSequence() : std::string();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    out += CutToWidth(lines[i], columns);
    out += "\x1b[K";
    if (i + 1 < lines.size()) out += "\n";
  }
  // A shorter block than before leaves old lines below: erase them.
  if (static_cast<int>(lines.size()) < drawnLines_) out += "\x1b[J";
  std::fwrite(out.data(), 1, out.size(), stream_);
  std::fflush(stream_);
  drawnLines_ = static_cast<int>(lines.size());
}

void LinePrinter::ClearBlock() {
  if (!smart_ || drawnLines_ == 0) return;
  std::string out = EraseSequence() + "\x1b[J";
  std::fwrite(out.data(), 1, out.size(), stream_);
  std::fflush(stream_);
  drawnLines_ = 0;
}

void LinePrinter::Redraw() {
  if (!smart_ || lines_.empty()) return;
  std::vector<std::string> lines = lines_;
  SetBlock(lines);
}

void LinePrinter::CommitBlock() {
  if (!smart_ || drawnLines_ == 0) return;
  std::fputs("\n", stream_);
  std::fflush(stream_);
  drawnLines_ = 0;
  lines_.clear();
}

void LinePrinter::PrintAbove(std::FILE* stream, const std::string& text) {
  bool hadBlock = drawnLines_ > 0;
  ClearBlock();
  std::fflush(stream_);
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
  if (hadBlock) Redraw();
}
