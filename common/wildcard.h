// Wildcard matching of file-name patterns: "*", "?" and bracket classes ("!" or "^"
// negates, "-" makes ranges, a backslash escapes), with options in the manner of fnmatch.
#pragma once

enum wildcard_option {
    wildcard_slash_aware = 0x1,      // "*", "?" and classes never match "/"
    wildcard_no_escape = 0x2,        // a backslash is an ordinary character
    wildcard_leading_period = 0x4,   // a leading "." (also after "/" when slash-aware) only matches a "."
                                     // with no star before it: "*.txt" misses ".txt"
    wildcard_leading_folder = 0x8,   // the pattern may match a leading folder of the text: "a*" matches "ab/c"
    wildcard_case_sensitive = 0x10,  // else ASCII letters are compared folded
};

// True when the whole text matches the pattern. A "[" without its closing "]" is an
// ordinary character. Null texts match nothing.
bool wildcard_match(const char* pattern, const char* text, unsigned options);
