// Texts shown to the user, looked up by their source text. The source text
// is the message id: the specified Japanese texts, and texts written in
// English. A front end installs a lookup (the terminal program: the catalogue
// of its locale); without one, and always in the Windows program, every text
// is shown as written.
//
// Marking: TR("...") where the text is used; TR_NOOP("...") where a constant
// is defined whose text is looked up later (box titles, list texts). Both
// are the keywords the catalogue extraction looks for. Log lines
// (ConsolePrintf) are the debug output and stay as written.
#pragma once

#define TR(msgid) TranslateText(msgid)
#define TR_NOOP(msgid) msgid
// A text in English that is never shown to the user (a program's input, a
// compiler message): the catalogue check passes over it.
#define NOTR(text) text

// The text to show for msgid: its translation, or msgid itself. The result
// lives as long as the program. format_arg lets printf-style checks see
// through the lookup to the literal.
const char* TranslateText(const char* msgid) __attribute__((format_arg(1)));

// A lookup returns null for a text it does not know. Installed once at
// start-up, before any thread is started; null restores the source texts.
using TextLookup = const char* (*)(const char* msgid);
void SetTextLookup(TextLookup lookup);
