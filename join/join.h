// Text stages of the join that work on byte buffers alone.
#pragma once

#include <cstddef>

// Rewrites a NUL-terminated text in place so that every CR LF pair and every
// lone CR becomes one LF, and re-terminates it. The text never grows.
void normalize_newlines(char* text);
// The same for the first n bytes of text (text[n] must be writable); the
// first NUL still ends the text. Returns the new length.
size_t normalize_newlines(char* text, size_t n);
