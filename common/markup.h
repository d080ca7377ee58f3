// HTML helpers of the utility library: plain text from markup, and finding a tag's
// opening or matching closing element in a text.
#pragma once

#include "cstring.h"

// Drops the tags and decodes &lt; &gt; &amp; &nbsp; &quot; &apos; and decimal "&#n;"
// (n from 1 to 255 gives that byte; 0 and values above 255, which no single byte of the
// code page stands for, give "?"). A "<" without its ">" is left as text. Returns
// out's text.
const char* html_to_text(const char* html, cstring& out);

// The position of the closing tag that matches an element opened before start,
// counting nested elements of the same name from start; -1 when there is none. The
// tag name goes into a pattern: it must be a plain name (else 18391 is thrown).
int find_closing_tag(const char* tag, const char* text, int length, int start);
// The position of the last opening tag of the name that starts before limit; -1 when
// none does.
int find_opening_tag(const char* tag, const char* text, int length, int limit);
