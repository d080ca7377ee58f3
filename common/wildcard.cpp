// Wildcard matching of file-name patterns. One backtracking point (the latest "*")
// suffices, so matching takes time proportional to pattern times text, whatever the
// number of stars.
#include "wildcard.h"

namespace {

class WildcardMatcher {
public:
    WildcardMatcher(const char* text, unsigned options) : text(text), options(options) {}

    bool matches(const char* p) const;

private:
    bool has(unsigned option) const { return (options & option) != 0; }
    unsigned char fold(char c) const {
        unsigned char b = static_cast<unsigned char>(c);
        return !has(wildcard_case_sensitive) && b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b;
    }
    bool leading_period(const char* t) const {
        return has(wildcard_leading_period) && *t == '.' &&
               (t == text || (has(wildcard_slash_aware) && t[-1] == '/'));
    }
    // Whether a "?", a class or a "*" may take the byte at t.
    bool wildcard_may_take(const char* t) const {
        return !(has(wildcard_slash_aware) && *t == '/') && !leading_period(t);
    }
    const char* match_class(const char* p, unsigned char c, bool* matched) const;
    bool match_one(const char* p, const char* t, const char** next) const;

    const char* text;
    unsigned options;
};

// p is just after "["; answers the position after the closing "]" and whether c is in
// the class, or null when the class is never closed.
const char* WildcardMatcher::match_class(const char* p, unsigned char c, bool* matched) const {
    bool negated = *p == '!' || *p == '^';
    if (negated) p++;
    bool found = false;
    bool first = true;
    while (*p && (*p != ']' || first)) {
        first = false;
        char low = *p++;
        if (low == '\\' && !has(wildcard_no_escape) && *p) low = *p++;
        char high = low;
        if (*p == '-' && p[1] && p[1] != ']') {
            high = p[1];
            p += 2;
            if (high == '\\' && !has(wildcard_no_escape) && *p) high = *p++;
        }
        if (fold(low) <= c && c <= fold(high)) found = true;
    }
    if (*p != ']') return nullptr;
    *matched = found != negated;
    return p + 1;
}

bool WildcardMatcher::match_one(const char* p, const char* t, const char** next) const {
    if (*p == '?') {
        *next = p + 1;
        return wildcard_may_take(t);
    }
    if (*p == '[') {
        bool inClass = false;
        const char* after = match_class(p + 1, fold(*t), &inClass);
        if (after) {
            *next = after;
            return inClass && wildcard_may_take(t);
        }
        // An unclosed class: the "[" stands for itself.
    }
    char literal = *p;
    *next = p + 1;
    if (*p == '\\' && !has(wildcard_no_escape) && p[1]) {
        literal = p[1];
        *next = p + 2;
    }
    return fold(literal) == fold(*t);
}

bool WildcardMatcher::matches(const char* p) const {
    const char* t = text;
    const char* starPattern = nullptr;   // just after the latest "*"
    const char* starText = nullptr;      // where that star's text ends so far
    for (;;) {
        if (*p == '*') {
            // A leading period must be matched by a period written in the pattern, never
            // after a star, even an empty one: "*.txt" does not match ".txt". Nothing else
            // can place this star elsewhere: no earlier star reaches past a leading
            // period, which is the text's start or follows a "/" matched literally.
            if (leading_period(t)) return false;
            while (*p == '*') p++;
            starPattern = p;
            starText = t;
            continue;
        }
        if (!*t) return !*p;
        const char* next;
        if (!*p) {
            if (has(wildcard_leading_folder) && *t == '/') return true;
        } else if (match_one(p, t, &next)) {
            p = next;
            t++;
            continue;
        }
        // Mismatch: let the latest star take one byte more, if it may.
        if (!starPattern || !wildcard_may_take(starText)) return false;
        starText++;
        p = starPattern;
        t = starText;
    }
}

}  // namespace

bool wildcard_match(const char* pattern, const char* text, unsigned options) {
    if (!pattern || !text) return false;
    return WildcardMatcher(text, options).matches(pattern);
}
