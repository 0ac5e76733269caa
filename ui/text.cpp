#include "ui/text.h"

namespace {
TextLookup textLookup = nullptr;
}

void SetTextLookup(TextLookup lookup) { textLookup = lookup; }

const char* TranslateText(const char* msgid) {
  if (!textLookup || !msgid || !*msgid) return msgid;
  const char* text = textLookup(msgid);
  return text ? text : msgid;
}
