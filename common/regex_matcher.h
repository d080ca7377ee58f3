// RegexMatcher: one regular expression compiled by GNU regex (its classic interface:
// re_compile_pattern, re_search, re_match) with the registers and the subject of its
// last match. Syntax 0xA044 by default, ASCII letters folded unless case-sensitive.
#pragma once

#include <regex.h>

#include "cstring.h"
#include "cstring_array.h"

class RegexMatcher {
public:
    // RE_CHAR_CLASSES | RE_DOT_NEWLINE | RE_NO_BK_PARENS | RE_NO_BK_VBAR
    static const unsigned kDefaultSyntax = 0xA044;

    // Compiles at once; a syntax of all ones means kDefaultSyntax. A pattern that does
    // not compile throws CVelmorException 18391 with GNU's text. As re_compile_pattern
    // sets it, "^" and "$" also match after and before a line feed inside a subject.
    explicit RegexMatcher(const char* pattern, unsigned syntax = unsigned(-1), bool caseSensitive = false);
    // Copies compile the other's pattern with its syntax and case rule.
    RegexMatcher(const RegexMatcher& other);
    RegexMatcher& operator=(const RegexMatcher& other);   // errors throw 18300
    ~RegexMatcher();
    RegexMatcher* clone() const;

    // Recompiles from text; errors throw 18300 and keep the previous pattern.
    void set_pattern(const char* text);
    const char* pattern() const { return patternText.c_str(); }
    unsigned syntax() const { return syntaxBits; }
    bool case_sensitive() const { return caseSensitive; }
    int group_count() const { return int(buffer.re_nsub); }   // parenthesised groups

    // Searches subject (length -1: up to its terminator) from start to its end. Answers
    // the offset just after the match, where a following search starts, or -1 (also for
    // a start outside the subject). keepSubject copies the subject for group(), else
    // the remembered subject is cleared. GNU's internal error throws 18302.
    int search(const char* subject, int length = -1, int start = 0, bool keepSubject = true);
    // The same without throwing: -2 for GNU's internal error.
    int try_search(const char* subject, int length, int start, bool keepSubject);
    // True when the pattern matches a prefix of subject; remembers the subject.
    bool match(const char* subject, int length = -1);

    // Text of group index of the last match (0: the whole match), from the remembered
    // subject, offset moving both ends. False (out empty) for an index above
    // group_count(), a group that took no part, or no remembered match.
    bool group(int index, cstring& out, int offset = 0) const;
    // Offsets of the last match: 0 for an index above group_count(); a group that took
    // no part starts at -1.
    int group_start(int index) const;
    int group_length(int index) const;
    int match_end(int index = 0) const;

    // match(subject), then groups 1..n into the outputs (emptied when there is no match).
    bool match_extract(const char* subject, cstring& g1);
    bool match_extract(const char* subject, cstring& g1, cstring& g2);
    bool match_extract(const char* subject, cstring& g1, cstring& g2, cstring& g3);
    bool match_extract(const char* subject, cstring& g1, cstring& g2, cstring& g3, cstring& g4);
    bool match_extract(const char* subject, cstring& g1, cstring& g2, cstring& g3, cstring& g4, cstring& g5);
    // match(subject), then every group from 1 appended to groups.
    bool match_collect(const char* subject, cstring_array& groups);

    // Appends to result the text that replaces the current match; group_start and
    // group_length give the groups' places in subject.
    typedef void (*Replacer)(const RegexMatcher& matcher, const char* subject, cstring& result, void* context);
    // result := subject with every match replaced by replacement (taken literally) or by
    // what replacer appends; answers the number of matches replaced. After an empty
    // match the next byte is copied and the search goes on behind it; an empty match
    // right behind the previous match is not replaced (as sed does).
    int replace_all(const char* subject, const char* replacement, cstring& result);
    int replace_all(const char* subject, Replacer replacer, void* context, cstring& result);

private:
    void compile(const char* text, unsigned syntax, bool caseSensitiveMatch, int errorCode);
    void release();
    bool match_into(const char* subject, cstring* const* outputs, int count);
    bool has_group(int index) const;

    cstring patternText;
    unsigned syntaxBits;
    cstring subject;
    bool caseSensitive;
    bool matched;
    re_pattern_buffer buffer;
    re_registers registers;
};
