// RegexMatcher over GNU regex. The syntax bits are one process-wide setting that
// re_compile_pattern reads, so setting them and compiling happen under one lock: the
// configurator compiles on its dialog thread and on its discovery thread.
#include "regex_matcher.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "exception.h"
#include "once.h"

namespace {

once_state syntaxLockReady;
CRITICAL_SECTION syntaxLock;

const char* compile_with_syntax(re_pattern_buffer* buffer, const char* pattern, size_t length, unsigned syntax) {
    run_once(&syntaxLockReady, [] { InitializeCriticalSection(&syntaxLock); });
    EnterCriticalSection(&syntaxLock);
    re_syntax_options = syntax;
    const char* error = re_compile_pattern(pattern, length, buffer);
    LeaveCriticalSection(&syntaxLock);
    return error;
}

void throw_internal_error() {
    throw new CVelmorException(18302, "internal error in regular expression search");
}

int text_length(const char* text, int length) {
    if (length >= 0) return length;
    size_t n = strlen(text);
    return n > 0x7FFFFFFF ? 0x7FFFFFFF : int(n);
}

void append_literal(const RegexMatcher&, const char*, cstring& result, void* replacement) {
    result.append(static_cast<const char*>(replacement));
}

}  // namespace

RegexMatcher::RegexMatcher(const char* text, unsigned syntax, bool caseSensitiveMatch)
    : patternText(""), syntaxBits(0), subject(""), caseSensitive(false), matched(false) {
    memset(&buffer, 0, sizeof buffer);
    memset(&registers, 0, sizeof registers);
    compile(text, syntax == unsigned(-1) ? kDefaultSyntax : syntax, caseSensitiveMatch, 18391);
}

RegexMatcher::RegexMatcher(const RegexMatcher& other)
    : patternText(""), syntaxBits(0), subject(""), caseSensitive(false), matched(false) {
    memset(&buffer, 0, sizeof buffer);
    memset(&registers, 0, sizeof registers);
    compile(other.patternText.c_str(), other.syntaxBits, other.caseSensitive, 18391);
}

RegexMatcher& RegexMatcher::operator=(const RegexMatcher& other) {
    if (&other != this) compile(other.patternText.c_str(), other.syntaxBits, other.caseSensitive, 18300);
    return *this;
}

RegexMatcher::~RegexMatcher() {
    release();
}

RegexMatcher* RegexMatcher::clone() const {
    return new RegexMatcher(*this);
}

void RegexMatcher::set_pattern(const char* text) {
    compile(text, syntaxBits, caseSensitive, 18300);
}

// Compiles into a fresh buffer and takes it over only when it compiled, so a failing
// compile leaves the previous program in place.
void RegexMatcher::compile(const char* text, unsigned syntax, bool caseSensitiveMatch, int errorCode) {
    cstring newPattern(text ? text : "");
    re_pattern_buffer fresh;
    memset(&fresh, 0, sizeof fresh);
    // regfree releases the fastmap and the translate table: both come from malloc.
    fresh.fastmap = static_cast<char*>(malloc(256));
    if (!caseSensitiveMatch) {
        fresh.translate = static_cast<unsigned char*>(malloc(256));
        if (fresh.translate)
            for (int c = 0; c < 256; c++) fresh.translate[c] = (unsigned char)(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    const char* error = "Memory exhausted";
    if (fresh.fastmap && (caseSensitiveMatch || fresh.translate))
        error = compile_with_syntax(&fresh, newPattern.c_str(), newPattern.length(), syntax);
    if (error) {
        regfree(&fresh);
        throw new CVelmorException(errorCode, "%s", error);
    }
    release();
    buffer = fresh;
    patternText.assign(newPattern);
    syntaxBits = syntax;
    caseSensitive = caseSensitiveMatch;
}

void RegexMatcher::release() {
    free(registers.start);
    free(registers.end);
    // Back to "unallocated": the next match lets GNU regex allocate the registers anew.
    re_set_registers(&buffer, &registers, 0, nullptr, nullptr);
    regfree(&buffer);
    matched = false;
    subject.clear();
}

int RegexMatcher::try_search(const char* text, int length, int start, bool keepSubject) {
    int result = -1;
    matched = false;
    if (buffer.buffer && text) {
        length = text_length(text, length);
        if (start >= 0 && start <= length) {
            regoff_t at = re_search(&buffer, text, length, start, length - start, &registers);
            if (at >= 0) {
                matched = true;
                result = int(registers.end[0]);
            } else if (at == -2) {
                result = -2;
            }
        }
    }
    // text may be the remembered subject itself: it is copied or cleared only now.
    if (matched && keepSubject) {
        subject.assign(text, length);
    } else {
        subject.clear();
    }
    return result;
}

int RegexMatcher::search(const char* text, int length, int start, bool keepSubject) {
    int result = try_search(text, length, start, keepSubject);
    if (result == -2) throw_internal_error();
    return result;
}

bool RegexMatcher::match(const char* text, int length) {
    matched = false;
    regoff_t at = -1;
    if (buffer.buffer && text) {
        length = text_length(text, length);
        at = re_match(&buffer, text, length, 0, &registers);
    }
    if (at == -2) {
        subject.clear();
        throw_internal_error();
    }
    matched = at >= 0;
    if (matched) {
        subject.assign(text, length);
    } else {
        subject.clear();
    }
    return matched;
}

bool RegexMatcher::has_group(int index) const {
    return matched && index >= 0 && size_t(index) <= buffer.re_nsub && size_t(index) < registers.num_regs;
}

bool RegexMatcher::group(int index, cstring& out, int offset) const {
    out.clear();
    if (!has_group(index) || registers.start[index] < 0) return false;
    long long start = (long long)registers.start[index] + offset;
    long long end = (long long)registers.end[index] + offset;
    if (start < 0 || end < start || end > (long long)subject.length()) return false;
    out.assign(subject.c_str() + start, int(end - start));
    return true;
}

int RegexMatcher::group_start(int index) const {
    return has_group(index) ? int(registers.start[index]) : 0;
}

int RegexMatcher::group_length(int index) const {
    return has_group(index) && registers.start[index] >= 0 ? int(registers.end[index] - registers.start[index]) : 0;
}

int RegexMatcher::match_end(int index) const {
    return has_group(index) ? int(registers.end[index]) : 0;
}

bool RegexMatcher::match_into(const char* text, cstring* const* outputs, int count) {
    bool found = match(text);
    for (int i = 0; i < count; i++) group(i + 1, *outputs[i]);
    return found;
}

bool RegexMatcher::match_extract(const char* text, cstring& g1) {
    cstring* outputs[] = {&g1};
    return match_into(text, outputs, 1);
}

bool RegexMatcher::match_extract(const char* text, cstring& g1, cstring& g2) {
    cstring* outputs[] = {&g1, &g2};
    return match_into(text, outputs, 2);
}

bool RegexMatcher::match_extract(const char* text, cstring& g1, cstring& g2, cstring& g3) {
    cstring* outputs[] = {&g1, &g2, &g3};
    return match_into(text, outputs, 3);
}

bool RegexMatcher::match_extract(const char* text, cstring& g1, cstring& g2, cstring& g3, cstring& g4) {
    cstring* outputs[] = {&g1, &g2, &g3, &g4};
    return match_into(text, outputs, 4);
}

bool RegexMatcher::match_extract(const char* text, cstring& g1, cstring& g2, cstring& g3, cstring& g4, cstring& g5) {
    cstring* outputs[] = {&g1, &g2, &g3, &g4, &g5};
    return match_into(text, outputs, 5);
}

bool RegexMatcher::match_collect(const char* text, cstring_array& groups) {
    if (!match(text)) return false;
    cstring value;
    for (int i = 1; i <= group_count(); i++) {
        group(i, value);
        groups.add(value);
    }
    return true;
}

int RegexMatcher::replace_all(const char* text, const char* replacement, cstring& result) {
    return replace_all(text, append_literal, const_cast<char*>(replacement ? replacement : ""), result);
}

int RegexMatcher::replace_all(const char* text, Replacer replacer, void* context, cstring& result) {
    // Built apart and assigned at the end: result may be the string that holds text.
    cstring built("");
    int count = 0;
    int length = text ? text_length(text, -1) : 0;
    int position = 0;
    int previousEnd = -1;
    while (text && position <= length) {
        int end = search(text, length, position, false);
        if (end < 0) break;
        int start = int(registers.start[0]);
        built.append(text + position, start - position);
        if (end > start || start != previousEnd) {
            replacer(*this, text, built, context);
            count++;
            previousEnd = end;
        }
        if (end > start) {
            position = end;
        } else {
            if (start < length) built.append_char(text[start]);
            position = start + 1;
        }
    }
    if (text && position < length) built.append(text + position, length - position);
    result.assign(built);
    return count;
}
