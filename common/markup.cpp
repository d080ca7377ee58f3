// HTML helpers of the utility library, on RegexMatcher: markup to plain text, and
// finding opening and matching closing tags.
#include "markup.h"

#include "regex_matcher.h"

namespace {

// Group 1 is a tag, groups 2 to 7 the named entities in this order, group 8 a number.
const char kMarkupPattern[] = "(<[^>]+>)|(&lt;)|(&gt;)|(&amp;)|(&nbsp;)|(&quot;)|(&apos;)|(&#[0-9]+;)";
const char kNamedEntityText[] = "<>& \"'";
const int kNumberGroup = 8;

char numeric_entity(const char* digits, int count) {
    unsigned value = 0;
    for (int i = 0; i < count && value <= 255; i++) value = value * 10 + unsigned(digits[i] - '0');
    return value >= 1 && value <= 255 ? char(value) : '?';
}

void replace_markup(const RegexMatcher& matcher, const char* subject, cstring& result, void*) {
    for (int group = 2; group <= kNumberGroup; group++) {
        if (matcher.group_start(group) < 0) continue;
        if (group == kNumberGroup) {
            // "&#" digits ";"
            result.append_char(numeric_entity(subject + matcher.group_start(group) + 2, matcher.group_length(group) - 3));
        } else {
            result.append_char(kNamedEntityText[group - 2]);
        }
        return;
    }
    // A tag: dropped.
}

}  // namespace

const char* html_to_text(const char* html, cstring& out) {
    RegexMatcher markup(kMarkupPattern);
    markup.replace_all(html ? html : "", replace_markup, nullptr, out);
    return out.c_str();
}

int find_closing_tag(const char* tag, const char* text, int length, int start) {
    RegexMatcher tags(cstring(cstring::formatted, "</?%s((>)|([^a-z0-9>][^>]*>))", tag ? tag : "").c_str());
    int depth = 0;
    for (int position = start;;) {
        int end = tags.search(text, length, position, false);
        if (end < 0) return -1;
        int at = tags.group_start(0);
        bool closing = text[at + 1] == '/';
        if (closing && depth == 0) return at;
        depth += closing ? -1 : 1;
        position = end;
    }
}

int find_opening_tag(const char* tag, const char* text, int length, int limit) {
    RegexMatcher tags(cstring(cstring::formatted, "<%s[ \n>]", tag ? tag : "").c_str());
    int last = -1;
    for (int position = 0;;) {
        int end = tags.search(text, length, position, false);
        if (end < 0 || tags.group_start(0) >= limit) return last;
        last = tags.group_start(0);
        position = end;
    }
}
