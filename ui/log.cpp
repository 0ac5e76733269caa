#include "ui/log.h"

#include <cstdio>
#include <vector>

namespace {
LogSink* logSink = nullptr;
}

void SetLogSink(LogSink* sink) { logSink = sink; }
LogSink* CurrentLogSink() { return logSink; }

std::string StringVPrintf(const char* format, va_list args) {
  // Most texts fit a small buffer: one formatting pass then, not two.
  char small[512];
  va_list first;
  va_copy(first, args);
  int length = std::vsnprintf(small, sizeof small, format, first);
  va_end(first);
  if (length <= 0) return std::string();
  if (static_cast<std::size_t>(length) < sizeof small)
    return std::string(small, static_cast<std::size_t>(length));
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::string StringPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = StringVPrintf(format, args);
  va_end(args);
  return text;
}

void ConsolePrintf(LogKind kind, const char* format, ...) {
  if (!logSink) return;
  va_list args;
  va_start(args, format);
  std::string text = StringVPrintf(format, args);
  va_end(args);
  logSink->WriteLog(kind, text);
}

std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}
