// Seeded fuzz test of the text functions that take outside input: cstring formatting
// byte for byte against the runtime's vsnprintf (listed and unknown conversions, widths
// from "*", formats and texts inside the string), the token reader, the scanner, URL
// decoding, wildcards against a plain recursive matcher, and markup against a plain scan.
// A fixed seed and count: every run tries the same cases. Inputs end at the end of a
// readable page, so a read beyond a terminator faults. Each test runs its cases in a
// child process of this program, which names the case that crashed it.
#include <gtest/gtest.h>
#include <windows.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "cstring.h"
#include "markup.h"
#include "test_support.h"
#include "wildcard.h"

// The formats are made at run time, their arguments chosen to suit them.
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

namespace {

const unsigned long long kSeed = 20240611;

const DWORD kCaseSize = 1024;
const char kCaseMapVariable[] = "COMMON_TEXT_FUZZ_CASE";

// The description of the case being tried. In a child process it lies in memory shared
// with the parent, which reads it when the child has crashed.
char* case_text() {
    static char* text = [] {
        char name[64];
        DWORD length = GetEnvironmentVariableA(kCaseMapVariable, name, sizeof name);
        HANDLE map = length > 0 && length < sizeof name ? OpenFileMappingA(FILE_MAP_WRITE, FALSE, name) : nullptr;
        void* shared = map ? MapViewOfFile(map, FILE_MAP_WRITE, 0, 0, kCaseSize) : nullptr;
        static char local[kCaseSize];
        return shared ? static_cast<char*>(shared) : local;
    }();
    return text;
}

const char* describe_case(const char* format, ...) CSTRING_PRINTF(1, 2);
const char* describe_case(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(case_text(), kCaseSize, format, args);
    va_end(args);
    return case_text();
}

// Runs the cases of one test in a child process. A stack overflow under Wine can end a
// process with exit code 0 and no message, so only gtest's own verdict passes.
void run_cases_in_child(const char* test) {
    char map[64];
    snprintf(map, sizeof map, "CommonTextFuzz-%lu", GetCurrentProcessId());
    HANDLE shared = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kCaseSize, map);
    ASSERT_NE(shared, nullptr);
    char* lastCase = static_cast<char*>(MapViewOfFile(shared, FILE_MAP_READ, 0, 0, kCaseSize));
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    testing_support::ProcessOptions options;
    options.environment.push_back(std::string(kCaseMapVariable) + "=" + map);
    options.environment.push_back("GTEST_OUTPUT=");   // the parent's report is its own
    options.timeoutMs = 60000;
    testing_support::ProcessResult run = testing_support::RunProcess(
        std::string("\"") + self + "\" --gtest_also_run_disabled_tests --gtest_filter=CommonTextFuzzCases.DISABLED_" +
            test,
        options);
    bool passed = run.exitCode == 0 && run.out.find("[  PASSED  ] 1 test.") != std::string::npos;
    EXPECT_TRUE(passed) << "exit code 0x" << std::hex << run.exitCode << (run.timedOut ? ", timed out" : "")
                        << ", last case: " << lastCase << "\n"
                        << run.out.substr(run.out.size() > 6000 ? run.out.size() - 6000 : 0);
    UnmapViewOfFile(lastCase);
    CloseHandle(shared);
}

// A fuzz test: the test itself, which runs its cases in a child, and the cases.
#define FUZZ_TEST(name)                                            \
    void fuzz_##name();                                            \
    TEST(CommonTextFuzz, name) { run_cases_in_child(#name); }      \
    TEST(CommonTextFuzzCases, DISABLED_##name) { fuzz_##name(); }  \
    void fuzz_##name()

class Random {
public:
    explicit Random(unsigned long long seed) : state(seed) {}
    unsigned next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return unsigned(state >> 33);
    }
    int below(int n) { return int(next() % unsigned(n)); }
    bool chance(int percent) { return below(100) < percent; }
    char pick(const char* set) { return set[below(int(strlen(set)))]; }
    std::string text(const char* alphabet, int maxLength) {
        std::string s(size_t(below(maxLength + 1)), ' ');
        for (char& c : s) c = pick(alphabet);
        return s;
    }
    std::string tokens(const std::vector<const char*>& pieces, int maxCount) {
        std::string s;
        for (int n = below(maxCount + 1); n > 0; n--) s += pieces[size_t(below(int(pieces.size())))];
        return s;
    }

private:
    unsigned long long state;
};

// Texts placed so that their terminator is the last byte before an inaccessible page.
class PageEnd {
public:
    PageEnd() {
        base = static_cast<char*>(VirtualAlloc(nullptr, 2 * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base + kPage, kPage, PAGE_NOACCESS, &old);
    }
    ~PageEnd() { VirtualFree(base, 0, MEM_RELEASE); }
    const char* place(const std::string& s) {
        char* at = base + kPage - s.size() - 1;
        memcpy(at, s.c_str(), s.size() + 1);
        return at;
    }

private:
    static const size_t kPage = 4096;
    char* base;
};

std::string str(const cstring& s) {
    return std::string(s.c_str(), s.length());
}

// --- Formatting -------------------------------------------------------------------

// The runtime's output up to its first zero byte, as cstring keeps it.
std::string printed(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vector<char> out(size_t(vsnprintf(nullptr, 0, format, args)) + 1);
    va_end(args);
    va_start(args, format);
    vsnprintf(out.data(), out.size(), format, args);
    va_end(args);
    return out.data();
}

enum Kind { kInt, kLong, kDouble, kText, kWide };
const int kArguments = 10;
// Two orders of argument types: a format takes its arguments in the order of one.
const Kind kOrders[2][kArguments] = {
    {kInt, kText, kDouble, kInt, kText, kLong, kInt, kWide, kText, kInt},
    {kText, kInt, kInt, kText, kDouble, kText, kInt, kLong, kText, kInt},
};

struct Arguments {
    int ints[kArguments];
    long long longs[kArguments];
    double doubles[kArguments];
    const char* texts[kArguments];
    const wchar_t* wides[kArguments];
};

template <class Call>
void call_with(int order, const Arguments& a, Call call) {
    if (order == 0) {
        call(a.ints[0], a.texts[1], a.doubles[2], a.ints[3], a.texts[4], a.longs[5], a.ints[6], a.wides[7], a.texts[8],
             a.ints[9]);
    } else {
        call(a.texts[0], a.ints[1], a.ints[2], a.texts[3], a.doubles[4], a.texts[5], a.ints[6], a.longs[7], a.texts[8],
             a.ints[9]);
    }
}

struct FormatMix {
    bool unknown;   // conversions the library does not know, and the "'" flag
    bool inside;    // the format and text arguments inside the string being formatted
};

// One random case: a format for one order of arguments, the arguments, and the string
// it is formatted into.
class FormatCase {
public:
    FormatCase(Random& random, FormatMix mix);
    void run();

private:
    void add_conversion(int& k);
    std::string flags(const char* allowed);
    std::string number(int maxValue) { return std::to_string(random.below(maxValue + 1)); }

    Random& random;
    FormatMix mix;
    int order;
    std::string format;
    Arguments args = {};
    int textOffset[kArguments];   // a text argument at this offset into the string, or -1
    std::vector<std::string> texts;
    // 0: the shared empty text; 1: the default 24-byte buffer; 2: a text with room to
    // grow; 3: a text in a buffer of exactly its size.
    int targetKind;
    std::string prefix;   // the string's text before the format, when the format is inside
    bool formatInside;
    bool append;
};

FormatCase::FormatCase(Random& random, FormatMix mix) : random(random), mix(mix), order(random.below(2)) {
    for (int& offset : textOffset) offset = -1;
    texts.reserve(kArguments);
    int k = 0;
    for (int conversions = random.below(7);; conversions--) {
        if (random.chance(40)) format += random.text("ab ,.:=\\/\t\x7F\xC4\xFF", 6);
        if (random.chance(10)) format += "%%";
        if (mix.unknown && random.chance(15)) {
            // The runtime prints these as they stand and takes no argument for them.
            format += "%" + flags("-+ #0") + (random.chance(30) ? number(40) : "");
            format += random.pick("ybkrvwBDJKNOQTUVWYZ!~_&q$}{][()=?/:;,<>@^`|\"\\");
        }
        if (k == kArguments || conversions == 0) break;
        add_conversion(k);
    }
    if (random.chance(5)) format += '%';   // a lone "%" at the end prints nothing

    targetKind = random.below(4);
    formatInside = mix.inside && random.chance(70);
    if (formatInside && targetKind < 2) targetKind += 2;
    if (targetKind >= 2) prefix = random.text("pqr%", random.chance(20) ? 100 : 12);
    append = random.chance(50);
}

// The flags whose meaning the C standard gives for an integer conversion.
const char* integer_flags(char conversion) {
    return conversion == 'd' || conversion == 'i' ? "-+ 0" : conversion == 'u' ? "-0" : "-#0";
}

std::string FormatCase::flags(const char* allowed) {
    std::string out;
    for (int n = random.below(3); n > 0; n--) out += random.pick(allowed);
    return out;
}

// Adds one conversion that takes the argument k, and the one before it for a width
// from "*".
void FormatCase::add_conversion(int& k) {
    static const int someInts[] = {0, 1, -1, 42, -512, 2147483647, -2147483647 - 1, 65535};
    static const double someDoubles[] = {0.0, -0.0, 1.5, -2.25, 3.14159, 1e300, -1e-300, 123456789.125, 1e15,
                                         NAN, INFINITY, -INFINITY};
    static const char* const longConversions[] = {"lld", "lli", "I64d", "jd", "llx", "llu", "I64X", "llo"};
    static const wchar_t* const someWides[] = {L"wide", L"", L"Program Files", nullptr};

    bool grouped = mix.unknown && kOrders[order][k] == kInt && random.chance(15);
    std::string width = random.chance(30) ? number(random.chance(10) ? 300 : 30) : "";
    if (!grouped && kOrders[order][k] == kInt && k + 1 < kArguments && random.chance(20)) {
        args.ints[k++] = random.below(81) - 40;   // a negative width left-justifies
        width = "*";
    }
    std::string precision = random.chance(25) ? "." + number(random.chance(10) ? 330 : 20) : "";
    switch (kOrders[order][k]) {
    case kInt: {
        std::string conversion(1, grouped ? random.pick("diu") : random.pick("diouxXc"));
        if (conversion == "c") {
            format += "%" + flags("-") + width + conversion;
            args.ints[k] = random.below(256);
        } else {
            format += std::string("%") + (grouped ? "'" : "") + flags(integer_flags(conversion.back())) + width +
                      precision + conversion;
            args.ints[k] = random.chance(50) ? someInts[random.below(8)] : int(random.next());
        }
        break;
    }
    case kLong: {
        int which = random.below(8);
        std::string conversion = longConversions[which];
        format += "%" + flags(integer_flags(conversion.back())) + width + precision + conversion;
        args.longs[k] = (long long)random.next() << 32 | random.next();
        break;
    }
    case kDouble:
        format += "%" + flags("-+ #0") + width + precision + random.pick("feEgGaAF");
        args.doubles[k] = random.chance(70) ? someDoubles[random.below(12)] : double(int(random.next())) / 7.0;
        break;
    case kText:
        format += "%" + flags("-") + width + (random.chance(15) ? "p" : precision + "s");
        if (mix.inside && random.chance(60)) {
            textOffset[k] = int(random.next() & 0xFFFF);   // reduced to the string's length later
        } else if (random.chance(5)) {
            args.texts[k] = nullptr;
        } else {
            texts.push_back(random.text("xyz -%\xE9", random.chance(10) ? 400 : 20));
            args.texts[k] = texts.back().c_str();
        }
        break;
    case kWide:
        format += "%" + flags("-") + width + (random.chance(50) ? precision + "ls" : "S");
        args.wides[k] = someWides[random.below(4)];
        break;
    }
    k++;
}

void FormatCase::run() {
    std::string content = prefix + (formatInside ? format : "");
    cstring s = targetKind == 0   ? cstring("")
                : targetKind == 1 ? cstring()
                : targetKind == 2 ? cstring(content.c_str())
                                  : cstring(content.c_str(), int(content.size()));
    const char* fmt = formatInside ? s.c_str() + prefix.size() : format.c_str();
    for (int k = 0; k < kArguments; k++)
        if (textOffset[k] >= 0) args.texts[k] = s.c_str() + unsigned(textOffset[k]) % (s.length() + 1);

    const char* what = describe_case("%s%s into %d \"%.300s\", format \"%.400s\"", append ? "append_format" : "format",
                                     formatInside ? " (format inside)" : "", targetKind, str(s).c_str(),
                                     format.c_str());
    std::string expected = append ? str(s) : "";
    call_with(order, args, [&](auto... values) {
        expected += printed(fmt, values...);
        if (append) {
            s.append_format(fmt, values...);
        } else {
            s.format(fmt, values...);
        }
    });
    ASSERT_EQ(str(s), expected) << what;
    ASSERT_EQ(s.c_str()[s.length()], 0) << what;
    ASSERT_TRUE(s.length() < s.capacity() || s.capacity() == 0) << what;
}

void fuzz_formatting(FormatMix mix, unsigned long long seed, int count) {
    Random random(seed);
    for (int i = 0; i < count && !testing::Test::HasFatalFailure(); i++) {
        SCOPED_TRACE("case " + std::to_string(i));
        FormatCase(random, mix).run();
    }
}

// --- Wildcards: a plain recursive matcher in the manner of fnmatch ------------------

struct ReferenceMatcher {
    const char* text;
    unsigned options;

    bool has(unsigned option) const { return (options & option) != 0; }
    unsigned char fold(char c) const {
        unsigned char b = static_cast<unsigned char>(c);
        return !has(wildcard_case_sensitive) && b >= 'A' && b <= 'Z' ? b + 32 : b;
    }
    bool leading(const char* t) const {
        return has(wildcard_leading_period) && *t == '.' && (t == text || (has(wildcard_slash_aware) && t[-1] == '/'));
    }
    char escaped(const char*& p) const {
        if (*p == '\\' && !has(wildcard_no_escape) && p[1]) p++;
        return *p++;
    }
    // p after "["; the position after "]" and whether c is in, or null when unclosed.
    const char* in_class(const char* p, unsigned char c, bool* in) const {
        bool negated = *p == '!' || *p == '^';
        p += negated;
        bool found = false;
        for (bool first = true; *p && (*p != ']' || first); first = false) {
            char low = escaped(p), high = low;
            if (*p == '-' && p[1] && p[1] != ']') high = escaped(++p);
            found = found || (fold(low) <= c && c <= fold(high));
        }
        *in = found != negated;
        return *p == ']' ? p + 1 : nullptr;
    }
    bool match(const char* p, const char* t) const {
        if (!*p) return !*t || (has(wildcard_leading_folder) && *t == '/');
        if (*p == '*') {
            if (leading(t)) return false;
            for (;; t++) {
                if (match(p + 1, t)) return true;
                if (!*t || (has(wildcard_slash_aware) && *t == '/')) return false;
            }
        }
        if (!*t) return false;
        bool in = false;
        const char* after = *p == '[' ? in_class(p + 1, fold(*t), &in) : nullptr;
        if (*p == '?' || after) {
            if (leading(t) || (has(wildcard_slash_aware) && *t == '/')) return false;
            return (*p == '?' || in) && match(after ? after : p + 1, t + 1);
        }
        return fold(escaped(p)) == fold(*t) && match(p, t + 1);
    }
};

// --- Markup: the entities and tags found by a left-to-right scan --------------------

std::string reference_text(const std::string& html) {
    static const char* const entities[] = {"&lt;", "&gt;", "&amp;", "&nbsp;", "&quot;", "&apos;"};
    std::string out;
    for (size_t i = 0; i < html.size();) {
        size_t close = html.find('>', i + 1);
        if (html[i] == '<' && close != std::string::npos && close > i + 1) {
            i = close + 1;
            continue;
        }
        bool named = false;
        for (int e = 0; e < 6 && !named; e++) {
            size_t n = strlen(entities[e]);
            if (_strnicmp(html.c_str() + i, entities[e], n) == 0) {
                out += "<>& \"'"[e];
                i += n;
                named = true;
            }
        }
        if (named) continue;
        size_t digits = html.compare(i, 2, "&#") == 0 ? html.find_first_not_of("0123456789", i + 2) : i;
        if (digits != std::string::npos && digits > i + 2 && html[digits] == ';') {
            unsigned value = 0;
            for (size_t d = i + 2; d < digits && value <= 255; d++) value = value * 10 + unsigned(html[d] - '0');
            out += value >= 1 && value <= 255 ? char(value) : '?';
            i = digits + 1;
            continue;
        }
        out += html[i++];
    }
    return out;
}

bool is_space(char c) {
    return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

}  // namespace

FUZZ_TEST(FormattingAgreesWithTheRuntime) {
    fuzz_formatting({false, false}, kSeed, 6000);
}

FUZZ_TEST(UnknownConversionsAreLeftToTheRuntime) {
    fuzz_formatting({true, false}, kSeed + 1, 6000);
}

FUZZ_TEST(FormatsAndTextsInsideTheString) {
    fuzz_formatting({false, true}, kSeed + 2, 6000);
    fuzz_formatting({true, true}, kSeed + 3, 6000);
}

// The token reader stops at the first delimiter (or whitespace, when asked) outside
// quotes; it reads the same from its own text as from a copy.
FUZZ_TEST(TokenReader) {
    Random random(kSeed + 4);
    PageEnd page;
    for (int i = 0; i < 6000; i++) {
        std::string input = random.text(" \t\r\n\"\\abnrt,;=", 24);
        const char* in = page.place(input);
        char delimiter = random.pick(",; =");
        bool stopAtWhitespace = random.chance(50);
        bool bySet = random.chance(30);
        const char* set = bySet ? (random.chance(50) ? ",;" : "= \t") : nullptr;
        describe_case("token of \"%s\" delimiter '%c' set \"%s\" whitespace %d", input.c_str(), delimiter,
                      set ? set : "", stopAtWhitespace);
        SCOPED_TRACE(case_text());
        cstring token("old");
        const char* end = bySet ? token.parse_token_in_set(in, set, stopAtWhitespace)
                                : token.parse_token(in, delimiter, stopAtWhitespace);
        ASSERT_TRUE(end >= in && end <= in + input.size());
        size_t used = size_t(end - in);
        if (input[0] != '"') {
            ASSERT_EQ(str(token), input.substr(0, used));
            for (size_t j = 0; j <= used && j < input.size(); j++) {
                char c = input[j];
                bool stops = (bySet ? strchr(set, c) != nullptr : c == delimiter) || (stopAtWhitespace && is_space(c));
                ASSERT_EQ(stops, j == used);
            }
        } else {
            ASSERT_LT(token.length(), used == 0 ? 1u : unsigned(used));
            ASSERT_TRUE(used == input.size() || input[used - 1] == '"' ||
                        (bySet ? strchr(set, input[used]) != nullptr : input[used] == delimiter));
        }
        cstring self(input.c_str());
        const char* selfStart = self.c_str();
        const char* selfEnd = bySet ? self.parse_token_in_set(selfStart, set, stopAtWhitespace)
                                    : self.parse_token(selfStart, delimiter, stopAtWhitespace);
        ASSERT_EQ(str(self), str(token));
        ASSERT_EQ(selfEnd - selfStart, end - in);
    }
}

// The scanner with outputs in a fixed order of types: its count never exceeds the
// pattern's items, and it reads the same when its first output is the scanned string.
FUZZ_TEST(Scanner) {
    Random random(kSeed + 5);
    PageEnd textPage, patternPage;
    for (int i = 0; i < 6000; i++) {
        std::string text = random.text(" \t=:;,|!/-ab12\"\\", 24);
        std::string pattern;
        for (const char* o = "siSs*i"; *o && random.chance(80); o++) {   // cstring, int, cstring ...
            pattern += random.text("=:;,|!/-x ", 2);
            pattern += *o == 'i' ? 'i' : random.pick("sS*");
        }
        pattern += random.text("=:;,", 1);
        describe_case("scan \"%s\" with \"%s\"", text.c_str(), pattern.c_str());
        SCOPED_TRACE(case_text());
        cstring a(text.c_str()), b, c, d;   // a as the string scanned into itself below
        int n1 = -7, n2 = -7;
        int items = cstring::scan_text(textPage.place(text), patternPage.place(pattern), &a, &n1, &b, &c, &d, &n2);
        int patternItems = 0;
        for (char p : pattern) patternItems += strchr("sS*i=:;,|!/-", p) != nullptr;
        ASSERT_LE(items, patternItems);

        cstring self(text.c_str()), b2, c2, d2;
        int m1 = -7, m2 = -7;
        ASSERT_EQ(self.scan(pattern.c_str(), &self, &m1, &b2, &c2, &d2, &m2), items);
        ASSERT_EQ(str(self) + "|" + str(b2) + "|" + str(c2) + "|" + str(d2),
                  str(a) + "|" + str(b) + "|" + str(c) + "|" + str(d));
        ASSERT_EQ(m1, n1);
        ASSERT_EQ(m2, n2);
    }
}

// Encoding then decoding gives the bytes back; decoding never lengthens a text and
// reads the same into its own string as into another.
FUZZ_TEST(UrlEncodingAndDecoding) {
    Random random(kSeed + 6);
    for (int i = 0; i < 6000; i++) {
        std::string bytes(size_t(random.below(30)), ' ');
        for (char& c : bytes) c = char(1 + random.below(255));
        describe_case("url round trip of %zu bytes", bytes.size());
        cstring original(bytes.c_str()), encoded, decoded;
        original.url_encode(encoded);
        ASSERT_EQ(str(encoded).find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._,+%"),
                  std::string::npos);
        encoded.url_decode(decoded);
        ASSERT_EQ(str(decoded), bytes);

        std::string text = random.text("%+ab0F9gz", 16);
        describe_case("url_decode of \"%s\"", text.c_str());
        SCOPED_TRACE(case_text());
        cstring input(text.c_str()), output;
        input.url_decode(output);
        ASSERT_LE(output.length(), input.length());
        if (text.find('%') == std::string::npos) {
            std::string spaced = text;
            for (char& c : spaced) c = c == '+' ? ' ' : c;
            ASSERT_EQ(str(output), spaced);
        }
        input.url_decode(input);
        ASSERT_EQ(str(input), str(output));
    }
}

FUZZ_TEST(WildcardsAgreeWithARecursiveMatcher) {
    Random random(kSeed + 7);
    PageEnd patternPage, textPage;
    const std::vector<const char*> pieces = {"a", "b", ".", "/", "*", "*", "?", "[ab]", "[!a]", "[^.]", "[.]",
                                             "[a-b]", "[/]", "[", "]", "\\.", "\\*", "\\", "A", "-"};
    for (int i = 0; i < 20000; i++) {
        std::string pattern = random.tokens(pieces, 6);
        std::string text = random.text("ab./A", 7);
        unsigned options = unsigned(random.below(32));
        describe_case("wildcard \"%s\" on \"%s\" options 0x%X", pattern.c_str(), text.c_str(), options);
        SCOPED_TRACE(case_text());
        const char* t = textPage.place(text);
        bool expected = ReferenceMatcher{t, options}.match(pattern.c_str(), t);
        ASSERT_EQ(wildcard_match(patternPage.place(pattern), t, options), expected);
    }
}

FUZZ_TEST(MarkupAgreesWithAPlainScan) {
    Random random(kSeed + 8);
    PageEnd page;
    const std::vector<const char*> pieces = {"<", ">", "&", "#", ";", "a", "b", "/", " ", "\n", "&lt;", "&GT;",
                                             "&amp;", "&Nbsp;", "&quot;", "&apos;", "&#65;", "&#0;", "&#300;",
                                             "&#", "7", "<b>", "</b>", "<b x='1'>", "<p>", "</p>", "\xE9"};
    for (int i = 0; i < 2000; i++) {
        std::string html = random.tokens(pieces, 10);
        describe_case("markup \"%s\"", html.c_str());
        SCOPED_TRACE(case_text());
        const char* in = page.place(html);
        cstring out;
        ASSERT_EQ(std::string(html_to_text(in, out)), reference_text(html));

        int length = int(html.size());
        int start = random.below(length + 1);
        int closing = find_closing_tag("b", in, length, start);
        ASSERT_TRUE(closing == -1 ||
                    (closing >= start && closing < length && html.compare(size_t(closing), 3, "</b") == 0));
        int opening = find_opening_tag("p", in, length, start);
        ASSERT_TRUE(opening == -1 || (opening < start && html.compare(size_t(opening), 2, "<p") == 0));
    }
}
