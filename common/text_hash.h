// The library's hash of a text: the sum over the bytes c at index i of
// ((length - 2 - i) XOR 31) * c, with c taken as signed, in 32-bit arithmetic.
#pragma once

int text_hash(const char* text);
