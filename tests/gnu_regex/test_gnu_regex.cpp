// GNU regex as built from gnulib for this target: the classic interface with the syntax
// bits and translate table the configurator compiles its patterns with, and the matching
// behaviour its patterns depend on.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include <regex.h>

namespace {

const reg_syntax_t kSyntax = RE_CHAR_CLASSES | RE_DOT_NEWLINE | RE_NO_BK_PARENS | RE_NO_BK_VBAR;

// One compiled pattern; regfree releases the program, the fastmap and the translate
// table, so both are taken from malloc.
struct Compiled {
    re_pattern_buffer buffer;
    re_registers regs;
    std::string error;   // empty when the pattern compiled

    Compiled(const std::string& pattern, reg_syntax_t syntax, bool foldCase) {
        memset(&buffer, 0, sizeof buffer);
        memset(&regs, 0, sizeof regs);
        buffer.fastmap = static_cast<char*>(malloc(256));
        if (foldCase) {
            buffer.translate = static_cast<unsigned char*>(malloc(256));
            for (int c = 0; c < 256; c++)
                buffer.translate[c] = (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c;
        }
        re_syntax_options = syntax;
        const char* message = re_compile_pattern(pattern.data(), pattern.size(), &buffer);
        if (message)
            error = message;
    }
    ~Compiled() {
        regfree(&buffer);
        free(regs.start);
        free(regs.end);
    }
    regoff_t Search(const std::string& subject, regoff_t start = 0) {
        regoff_t length = regoff_t(subject.size());
        return re_search(&buffer, subject.data(), length, start, length - start, &regs);
    }
    regoff_t Match(const std::string& subject) {
        return re_match(&buffer, subject.data(), regoff_t(subject.size()), 0, &regs);
    }
    // Text of a group of the last match, "<none>" when the group did not take part.
    std::string Group(const std::string& subject, size_t index) const {
        if (index >= regs.num_regs || regs.start[index] < 0)
            return "<none>";
        return subject.substr(regs.start[index], regs.end[index] - regs.start[index]);
    }
};

}  // namespace

TEST(GnuRegex, BareParenthesesBarPlusAndQuestionMarkAreOperators) {
    Compiled re("(ab|cd)+e?x", kSyntax, false);
    ASSERT_EQ(re.error, "");
    const std::string subject = "zzabcdabx";
    EXPECT_EQ(re.Search(subject), 2);
    EXPECT_EQ(re.Group(subject, 0), "abcdabx");
    EXPECT_EQ(re.Group(subject, 1), "ab");   // the last repetition of the group
    EXPECT_EQ(re.Search("abcdabex"), 0);
    EXPECT_EQ(re.Search("abx|cdx"), 0);
    EXPECT_EQ(re.Search("(ab)x"), -1);

    // No interval operator: "{2}" is three ordinary characters.
    Compiled braces("a{2}", kSyntax, false);
    ASSERT_EQ(braces.error, "");
    EXPECT_EQ(braces.Search("aa"), -1);
    EXPECT_EQ(braces.Search("xa{2}"), 1);

    // The global syntax is what the compile goes by: with no bits set, the same
    // characters are literals.
    Compiled plain("(ab|cd)", 0, false);
    ASSERT_EQ(plain.error, "");
    EXPECT_EQ(plain.Search("ab"), -1);
    EXPECT_EQ(plain.Search("x(ab|cd)"), 1);
}

TEST(GnuRegex, CharacterClassesAndDotAcrossLineEnds) {
    Compiled alpha("[[:alpha:]][[:alpha:]]*[[:digit:]]", kSyntax, false);
    ASSERT_EQ(alpha.error, "");
    const std::string subject = "12 -Java8";
    EXPECT_EQ(alpha.Search(subject), 4);
    EXPECT_EQ(alpha.Group(subject, 0), "Java8");

    Compiled dot("a.b", kSyntax, false);
    ASSERT_EQ(dot.error, "");
    EXPECT_EQ(dot.Search("xa\nb"), 1);
    Compiled dotWithoutNewline("a.b", kSyntax & ~RE_DOT_NEWLINE, false);
    ASSERT_EQ(dotWithoutNewline.error, "");
    EXPECT_EQ(dotWithoutNewline.Search("xa\nb"), -1);
    EXPECT_EQ(dotWithoutNewline.Search("xa-b"), 1);
}

TEST(GnuRegex, CaseFoldsOnlyThroughTheTranslateTable) {
    Compiled folded("Corvalis.*JE.*", kSyntax, true);
    ASSERT_EQ(folded.error, "");
    EXPECT_EQ(folded.Match("CORVALIS je 9"), 13);
    EXPECT_EQ(folded.Match("corvalis JE"), 11);
    EXPECT_EQ(folded.Match("Corvalis SE"), -1);

    // The table folds ASCII only: A-umlaut (0xC4) does not match a-umlaut (0xE4).
    Compiled latin1("\xC4", kSyntax, true);
    ASSERT_EQ(latin1.error, "");
    EXPECT_EQ(latin1.Search("\xE4"), -1);
    EXPECT_EQ(latin1.Search("x\xC4"), 1);

    Compiled exact("Corvalis", kSyntax, false);
    ASSERT_EQ(exact.error, "");
    EXPECT_EQ(exact.Search("corvalis CORVALIS"), -1);
    EXPECT_EQ(exact.Search("corvalis Corvalis"), 9);
}

TEST(GnuRegex, SearchGivesTheStartAndRegistersTheGroups) {
    Compiled version("([0-9][0-9]*)[-._]([0-9][0-9]*)([-._]([0-9][0-9]*))?([-._]([0-9][0-9]*))?",
                     kSyntax, true);
    ASSERT_EQ(version.error, "");
    const std::string path = "C:\\Program Files\\Java\\jre1.8.0_202\\bin";
    EXPECT_EQ(version.Search(path), 25);
    ASSERT_GE(version.regs.num_regs, 7u);
    EXPECT_EQ(version.regs.start[0], 25);
    EXPECT_EQ(version.regs.end[0], 34);
    EXPECT_EQ(version.Group(path, 1), "1");
    EXPECT_EQ(version.Group(path, 2), "8");
    EXPECT_EQ(version.Group(path, 4), "0");
    EXPECT_EQ(version.Group(path, 6), "202");

    // Optional groups that take no part are -1; the registers are reused, not reallocated.
    regoff_t* startsBefore = version.regs.start;
    const std::string jdk = "D:\\jdk-17.0\\bin";
    EXPECT_EQ(version.Search(jdk), 7);
    EXPECT_EQ(version.regs.start, startsBefore);
    EXPECT_EQ(version.Group(jdk, 1), "17");
    EXPECT_EQ(version.Group(jdk, 2), "0");
    EXPECT_EQ(version.regs.start[3], -1);
    EXPECT_EQ(version.regs.start[6], -1);

    // A later start finds the next match; a start at or past the end finds none.
    const std::string two = "1.2 and 3.4";
    EXPECT_EQ(version.Search(two, 1), 8);
    EXPECT_EQ(version.Search(two, regoff_t(two.size())), -1);
    EXPECT_EQ(version.Search(two, regoff_t(two.size()) + 5), -1);

    // The fastmap was filled for the search and reflects the pattern's first characters.
    EXPECT_TRUE(version.buffer.fastmap_accurate);
    EXPECT_TRUE(version.buffer.fastmap['7']);
    EXPECT_FALSE(version.buffer.fastmap['j']);
}

TEST(GnuRegex, SetRegistersHandsOverTheCallersArrays) {
    Compiled re("(a+)(b+)", kSyntax, false);
    ASSERT_EQ(re.error, "");
    const unsigned count = 8;
    regoff_t* starts = static_cast<regoff_t*>(malloc(count * sizeof(regoff_t)));
    regoff_t* ends = static_cast<regoff_t*>(malloc(count * sizeof(regoff_t)));
    re_set_registers(&re.buffer, &re.regs, count, starts, ends);
    EXPECT_EQ(re.buffer.regs_allocated, unsigned(REGS_REALLOCATE));

    const std::string subject = "xxaabbb";
    EXPECT_EQ(re.Search(subject), 2);
    EXPECT_EQ(re.regs.start, starts);   // eight are enough for three groups: kept
    EXPECT_EQ(re.regs.num_regs, count);
    EXPECT_EQ(re.Group(subject, 1), "aa");
    EXPECT_EQ(re.Group(subject, 2), "bbb");
    EXPECT_EQ(re.regs.end[2], 7);
}

TEST(GnuRegex, MatchIsAnchoredAtTheSubjectStart) {
    Compiled re("corvalis", kSyntax, true);
    ASSERT_EQ(re.error, "");
    EXPECT_EQ(re.Match("Corvalis JE 9.1"), 8);   // a prefix is enough
    EXPECT_EQ(re.Match("xcorvalis"), -1);
    EXPECT_EQ(re.Search("xcorvalis"), 1);
}

TEST(GnuRegex, LongestAlternativeWinsAtTheSameStart) {
    // The first alternative takes a run of non-blanks (a double quote included) at the
    // start of the line; the second a double-quoted token anywhere.
    Compiled token("^([^ \t\r\n\f][^ \t\r\n\f]*)|(\"([^\"][^\"]*)\")", kSyntax, true);
    ASSERT_EQ(token.error, "");

    const std::string quoted = "\"C:\\Program Files\\Java\\bin\\java.exe\" -cp lib";
    EXPECT_EQ(token.Search(quoted), 0);
    EXPECT_EQ(token.regs.end[0], 36);
    EXPECT_EQ(token.Group(quoted, 1), "<none>");
    EXPECT_EQ(token.Group(quoted, 3), "C:\\Program Files\\Java\\bin\\java.exe");

    const std::string bare = "java.exe\t-cp \"a b\"";
    EXPECT_EQ(token.Search(bare), 0);
    EXPECT_EQ(token.Group(bare, 1), "java.exe");
    EXPECT_EQ(token.Group(bare, 3), "<none>");

    // "^" belongs to the first alternative only: after a leading blank the quoted one matches.
    const std::string indented = " \"a b\" c";
    EXPECT_EQ(token.Search(indented), 1);
    EXPECT_EQ(token.Group(indented, 3), "a b");
}

TEST(GnuRegex, BadPatternsGiveGnuErrorTexts) {
    EXPECT_EQ(Compiled("(abc", kSyntax, true).error, "Unmatched ( or \\(");
    EXPECT_EQ(Compiled("[abc", kSyntax, true).error, "Unmatched [, [^, [:, [., or [=");
    EXPECT_EQ(Compiled("[[:nope:]]", kSyntax, true).error, "Invalid character class name");
    EXPECT_EQ(Compiled("a\\", kSyntax, true).error, "Trailing backslash");
}
