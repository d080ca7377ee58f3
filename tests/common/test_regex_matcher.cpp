// RegexMatcher: the configurator's patterns (uninstall-entry names, the version in a
// path, the tokens of a script line), search and group semantics, compile errors,
// copies, replacing, and compiles with different syntaxes on two threads at once.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "exception.h"
#include "regex_matcher.h"
#include "thrown.h"

namespace {

const char kVersionPattern[] = "([0-9][0-9]*)[-._]([0-9][0-9]*)([-._]([0-9][0-9]*))?([-._]([0-9][0-9]*))?";
// Each bracket list excludes a blank, tab, carriage return, line feed and form feed.
const char kTokenPattern[] = "^([^ \t\r\n\f][^ \t\r\n\f]*)|(\"([^\"][^\"]*)\")";

std::string group_of(const RegexMatcher& matcher, int index) {
    cstring out("stale");
    if (!matcher.group(index, out)) return "<none>";
    return out.c_str();
}

void append_upper(const RegexMatcher& matcher, const char* subject, cstring& result, void* count) {
    ++*static_cast<int*>(count);
    result.append("<");
    for (int i = 0; i < matcher.group_length(1); i++) result.append_char(char(toupper(subject[matcher.group_start(1) + i])));
    result.append(">");
}

}  // namespace

TEST(CommonRegex, UninstallPatternFoldsCaseAndMatchesFromTheFirstCharacter) {
    RegexMatcher entries("Corvalis.*JE.*");
    EXPECT_EQ(entries.syntax(), 0xA044u);
    EXPECT_FALSE(entries.case_sensitive());
    EXPECT_TRUE(entries.match("corvalis je"));
    EXPECT_TRUE(entries.match("CORVALIS Je 5.1"));
    EXPECT_TRUE(entries.match("CorvalisJE"));
    EXPECT_FALSE(entries.match("Corvalis SE"));
    EXPECT_FALSE(entries.match("QZV CorvalisJE 6"));   // the name only after other text
    EXPECT_FALSE(entries.match(""));
    EXPECT_EQ(entries.search("QZV CorvalisJE 6"), 16);   // a search is not anchored
    EXPECT_EQ(entries.group_start(0), 4);

    RegexMatcher exact("Corvalis.*JE.*", unsigned(-1), true);
    EXPECT_TRUE(exact.case_sensitive());
    EXPECT_TRUE(exact.match("Corvalis JE"));
    EXPECT_FALSE(exact.match("corvalis je"));
    // Only ASCII letters fold: A-umlaut and a-umlaut stay apart.
    RegexMatcher latin("\xC4x");
    EXPECT_FALSE(latin.match("\xE4X"));
    EXPECT_TRUE(latin.match("\xC4X"));
}

TEST(CommonRegex, VersionPatternGivesTheNumericGroups) {
    RegexMatcher version(kVersionPattern);
    const char* path = "C:\\Program Files\\Java\\jre1.6.0_45\\bin\\javaw.exe";
    EXPECT_EQ(version.search(path), 33);   // just after the match
    EXPECT_EQ(version.group_start(0), 25);
    EXPECT_EQ(version.group_length(0), 8);
    EXPECT_EQ(version.match_end(), 33);
    EXPECT_EQ(version.group_count(), 6);
    EXPECT_EQ(group_of(version, 0), "1.6.0_45");
    EXPECT_EQ(group_of(version, 1), "1");
    EXPECT_EQ(group_of(version, 2), "6");
    EXPECT_EQ(group_of(version, 4), "0");
    EXPECT_EQ(group_of(version, 6), "45");

    EXPECT_GT(version.search("D:\\jre1.6.5\\bin\\java.exe"), 0);
    EXPECT_EQ(group_of(version, 1), "1");
    EXPECT_EQ(group_of(version, 2), "6");
    EXPECT_EQ(group_of(version, 4), "5");
    EXPECT_EQ(group_of(version, 6), "<none>");   // took no part
    EXPECT_EQ(version.group_start(6), -1);
    EXPECT_EQ(version.group_length(6), 0);
    EXPECT_EQ(group_of(version, 7), "<none>");   // no such group
    EXPECT_EQ(version.group_start(7), 0);

    EXPECT_EQ(version.search("C:\\jre7\\bin\\javaw.exe"), -1);
    EXPECT_EQ(group_of(version, 0), "<none>");
}

TEST(CommonRegex, TokenPatternWalksAScriptLine) {
    RegexMatcher token(kTokenPattern);
    // A quoted path at the start: both alternatives match there, the longer quoted one wins.
    const char* quoted = "\"C:\\Program Files\\Java\\jre6\\bin\\java.exe\" -Xmx256m -jar \"corvalis.jar\"";
    int end = token.search(quoted);
    EXPECT_EQ(end, 41);
    EXPECT_EQ(group_of(token, 3), "C:\\Program Files\\Java\\jre6\\bin\\java.exe");
    EXPECT_EQ(group_of(token, 1), "<none>");
    end = token.search(quoted, -1, end);
    EXPECT_EQ(group_of(token, 3), "corvalis.jar");
    EXPECT_EQ(token.search(quoted, -1, end), -1);

    // A bare first word, then the quoted tokens after it; "^" holds only at the start.
    const char* bare = "java\t-cp \"lib\\a b.jar\" \"C:\\x\"";
    end = token.search(bare);
    EXPECT_EQ(group_of(token, 1), "java");
    EXPECT_EQ(group_of(token, 3), "<none>");
    end = token.search(bare, -1, end);
    EXPECT_EQ(group_of(token, 3), "lib\\a b.jar");
    end = token.search(bare, -1, end);
    EXPECT_EQ(group_of(token, 3), "C:\\x");
    EXPECT_EQ(token.search(bare, -1, end), -1);

    // As re_compile_pattern sets it, "^" also matches after a line feed in a subject.
    EXPECT_EQ(token.search("   \njava -version", -1, 1), 8);
    EXPECT_EQ(group_of(token, 1), "java");
}

TEST(CommonRegex, SearchStaysInsideTheSubject) {
    RegexMatcher re("b+");
    const char* subject = "abba";
    EXPECT_EQ(re.search(subject, -1, 4), -1);   // at the end
    EXPECT_EQ(re.search(subject, -1, 5), -1);   // beyond
    EXPECT_EQ(re.search(subject, -1, 0x7FFFFFFF), -1);
    EXPECT_EQ(re.search(subject, -1, -1), -1);
    EXPECT_EQ(re.search(subject, 1), -1);       // an explicit length ends the subject
    EXPECT_EQ(re.search(subject, 2), 2);
    EXPECT_EQ(group_of(re, 0), "b");
    EXPECT_EQ(re.search(nullptr), -1);
    EXPECT_EQ(re.try_search(subject, 4, 9, true), -1);
    EXPECT_EQ(re.try_search(subject, 4, 0, true), 3);

    // Without keeping the subject the offsets stay, the texts go.
    EXPECT_EQ(re.search(subject, -1, 0, false), 3);
    EXPECT_EQ(re.group_start(0), 1);
    EXPECT_EQ(group_of(re, 0), "<none>");
    // The remembered subject may be handed back in.
    cstring kept;
    RegexMatcher word("[a-z]+");
    EXPECT_EQ(word.search("  alpha beta"), 7);
    ASSERT_TRUE(word.group(0, kept));
    EXPECT_STREQ(kept.c_str(), "alpha");
    cstring offsetText;
    EXPECT_TRUE(word.group(0, offsetText, 1));
    EXPECT_STREQ(offsetText.c_str(), "lpha ");
    EXPECT_FALSE(word.group(0, offsetText, 100));   // outside the remembered subject
    EXPECT_STREQ(offsetText.c_str(), "");
}

TEST(CommonRegex, BadPatternsThrowWithGnuText) {
    EXPECT_EQ(thrown_message([] { RegexMatcher bad("(abc"); }), "Error 18391: Unmatched ( or \\(");
    EXPECT_EQ(thrown_message([] { RegexMatcher bad("[abc"); }), "Error 18391: Unmatched [, [^, [:, [., or [=");
    RegexMatcher kept("a+");
    EXPECT_EQ(thrown_message([&] { kept.set_pattern("[[:nope:]]"); }), "Error 18300: Invalid character class name");
    // The previous pattern stays in force.
    EXPECT_STREQ(kept.pattern(), "a+");
    EXPECT_TRUE(kept.match("aa"));
    kept.set_pattern("b+");
    EXPECT_STREQ(kept.pattern(), "b+");
    EXPECT_FALSE(kept.match("aa"));
    EXPECT_TRUE(kept.match("bb"));
}

TEST(CommonRegex, SyntaxBitsDecideWhatIsAnOperator) {
    RegexMatcher operators("(ab|cd)+x");
    EXPECT_TRUE(operators.match("abcdx"));
    RegexMatcher plain("(ab|cd)x", 0);   // without the bits: plain characters
    EXPECT_EQ(plain.syntax(), 0u);
    EXPECT_FALSE(plain.match("abx"));
    EXPECT_TRUE(plain.match("(ab|cd)x"));
    RegexMatcher braces("a{2}");   // no interval operator in the default syntax
    EXPECT_FALSE(braces.match("aa"));
    EXPECT_TRUE(braces.match("a{2}"));
    RegexMatcher classes("[[:digit:]][[:alpha:]]");
    EXPECT_TRUE(classes.match("7q"));
    RegexMatcher dot("a.b");
    EXPECT_TRUE(dot.match("a\nb"));
}

TEST(CommonRegex, CopiesKeepPatternSyntaxAndCase) {
    RegexMatcher original("J(E|RE)", 0xA044, true);
    RegexMatcher copy(original);
    EXPECT_TRUE(copy.case_sensitive());
    EXPECT_FALSE(copy.match("je"));
    EXPECT_TRUE(copy.match("JRE"));
    EXPECT_EQ(group_of(copy, 1), "RE");

    RegexMatcher* clone = original.clone();
    EXPECT_STREQ(clone->pattern(), "J(E|RE)");
    EXPECT_TRUE(clone->match("JE"));
    EXPECT_EQ(group_of(*clone, 1), "E");
    EXPECT_EQ(group_of(copy, 1), "RE");   // registers of its own
    delete clone;

    RegexMatcher assigned("x");
    assigned = original;
    EXPECT_TRUE(assigned.case_sensitive());
    EXPECT_TRUE(assigned.match("JE"));
    EXPECT_FALSE(assigned.match("x"));
    assigned = assigned;
    EXPECT_TRUE(assigned.match("JRE"));
}

TEST(CommonRegex, ExtractsAndCollectsGroups) {
    RegexMatcher parts("([a-z]+)=([0-9]+)(;([a-z]*))?");
    cstring name, value, rest, inner, none("x");
    EXPECT_TRUE(parts.match_extract("memory=512;max", name, value));
    EXPECT_STREQ(name.c_str(), "memory");
    EXPECT_STREQ(value.c_str(), "512");
    EXPECT_TRUE(parts.match_extract("memory=512", name, value, rest, inner));
    EXPECT_STREQ(rest.c_str(), "");
    EXPECT_STREQ(inner.c_str(), "");
    EXPECT_TRUE(parts.match_extract("a=1;b", name, value, rest, inner, none));
    EXPECT_STREQ(rest.c_str(), ";b");
    EXPECT_STREQ(inner.c_str(), "b");
    EXPECT_STREQ(none.c_str(), "");   // beyond the pattern's groups
    EXPECT_FALSE(parts.match_extract("=512", name));
    EXPECT_STREQ(name.c_str(), "");

    cstring_array groups;
    groups.add("kept");
    EXPECT_TRUE(parts.match_collect("x=9;y", groups));
    ASSERT_EQ(groups.count(), 5);
    EXPECT_STREQ(groups.at(1)->c_str(), "x");
    EXPECT_STREQ(groups.at(2)->c_str(), "9");
    EXPECT_STREQ(groups.at(4)->c_str(), "y");
    EXPECT_FALSE(parts.match_collect("nothing", groups));
    EXPECT_EQ(groups.count(), 5);
}

TEST(CommonRegex, ReplacesAllMatches) {
    RegexMatcher digits("[0-9]+");
    cstring result;
    EXPECT_EQ(digits.replace_all("jre1.6.0_45", "#", result), 4);
    EXPECT_STREQ(result.c_str(), "jre#.#.#_#");
    EXPECT_EQ(digits.replace_all("none here", "#", result), 0);
    EXPECT_STREQ(result.c_str(), "none here");

    // Empty matches insert before every byte and at the end, but not right behind a match.
    RegexMatcher stars("x*");
    EXPECT_EQ(stars.replace_all("abxc", "-", result), 4);
    EXPECT_STREQ(result.c_str(), "-a-b-c-");

    RegexMatcher words("([a-z]+)");
    int calls = 0;
    cstring text("set java and javaw");
    EXPECT_EQ(words.replace_all(text.c_str(), append_upper, &calls, text), 4);   // into its own subject
    EXPECT_STREQ(text.c_str(), "<SET> <JAVA> <AND> <JAVAW>");
    EXPECT_EQ(calls, 4);
}

namespace {

struct CompileRace {
    HANDLE go;
    unsigned syntax;
    const char* subject;   // matched by "(a|b)" compiled with this syntax only
    int wrong;
};

DWORD WINAPI compile_repeatedly(void* parameter) {
    CompileRace* race = static_cast<CompileRace*>(parameter);
    WaitForSingleObject(race->go, INFINITE);
    for (int i = 0; i < 1500; i++) {
        RegexMatcher re("(a|b)", race->syntax);
        if (!re.match(race->subject)) race->wrong++;
    }
    return 0;
}

}  // namespace

TEST(CommonRegex, CompilesWithItsOwnSyntaxOnTwoThreads) {
    // The syntax bits are process-wide: a compile that read the other thread's bits
    // would take "(a|b)" as operators or as plain characters the wrong way.
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CompileRace operators = {go, RegexMatcher::kDefaultSyntax, "b", 0};
    CompileRace literal = {go, 0, "(a|b)", 0};
    HANDLE threads[2] = {CreateThread(nullptr, 0, compile_repeatedly, &operators, 0, nullptr),
                         CreateThread(nullptr, 0, compile_repeatedly, &literal, 0, nullptr)};
    ASSERT_NE(threads[0], nullptr);
    ASSERT_NE(threads[1], nullptr);
    SetEvent(go);
    EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, 60000), WAIT_OBJECT_0);
    EXPECT_EQ(operators.wrong, 0);
    EXPECT_EQ(literal.wrong, 0);
    CloseHandle(threads[0]);
    CloseHandle(threads[1]);
    CloseHandle(go);
}
