// Macro strings: what is well-formed, what is reported, and which context
// strings the arguments of known macros register.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context_fixture.h"
#include "project/macros.h"

namespace {

struct Checked {
    std::string errors;              // stderr
    std::vector<std::string> names;  // registered, in hash order
};

Checked check(const std::string& macro, bool minor_27 = false) {
    ContextHolder h;
    h.ctx->minor_27 = minor_27;
    testing::internal::CaptureStderr();
    check_macro(*h.ctx, macro.c_str());
    Checked result{testing::internal::GetCapturedStderr(), {}};
    for (const auto& n : recorded_names(*h.ctx)) {
        EXPECT_FALSE(n.derived);
        result.names.push_back(n.name);
    }
    return result;
}

using Names = std::vector<std::string>;

bool well_formed(const std::string& macro) {
    ContextHolder h;
    std::string copy = macro;
    return scan_macro(*h.ctx, copy.data());
}

TEST(ScanMacro, WellFormedStrings) {
    EXPECT_TRUE(well_formed(""));
    EXPECT_TRUE(well_formed("   "));
    EXPECT_TRUE(well_formed("About()"));
    EXPECT_TRUE(well_formed("  Exit ( ) "));
    EXPECT_TRUE(well_formed("CloseWindow(`main'):Back();Next()"));
    EXPECT_TRUE(well_formed("Foo(a,)"));
    EXPECT_TRUE(well_formed("Foo(,)"));
    EXPECT_TRUE(well_formed("Foo(\"a,b)\", `c)d', e(f,g), h\"i\")"));
    EXPECT_TRUE(well_formed("Foo(\"quoted\" \t, x)"));
    EXPECT_TRUE(well_formed("Foo(a b  )"));
    // Whatever follows a call without ':' or ';' is not looked at.
    EXPECT_TRUE(well_formed("About() trailing text ((("));
    EXPECT_TRUE(well_formed("About():"));
    EXPECT_TRUE(well_formed("Macro_2(x)"));
}

TEST(ScanMacro, BadlyFormedStrings) {
    for (const char* bad : {"About", "About x()", "1About()", "_x()", "About(", "About(a", "About(a,",
                            "About(\"a)", "About(`a)", "About(b(c)", "About(a\"b)", "About(\"a\" b)",
                            "About():Back", "About();(", "About() : 2()"})
        EXPECT_FALSE(well_formed(bad)) << bad;
}

TEST(CheckMacro, ReportsBadMacrosWithTheirText) {
    EXPECT_EQ(check("About").errors, "Bad macro: About\n");
    EXPECT_EQ(check("JI(, x):Broken").errors, "Bad macro: JI(, x):Broken\n");
    // Names before the failure stay registered.
    EXPECT_EQ(check("JI(, x):Broken").names, Names{"x"});
    EXPECT_EQ(check("About()").errors, "");
    // Files of that version are not checked at all.
    Checked skipped = check("JumpId(intro) : Bad", true);
    EXPECT_EQ(skipped.errors, "");
    EXPECT_TRUE(skipped.names.empty());
}

TEST(CheckMacro, ContextArguments) {
    EXPECT_EQ(check("JumpId(a.hlp, intro)").names, Names{"intro"});
    EXPECT_TRUE(check("JumpId(a.hlp>second, intro)").names.empty());
    EXPECT_EQ(check("JI(,  Topic_1  )").names, Names{"Topic_1"});
    EXPECT_EQ(check("jumpid(`intro')").names, Names{"intro"});
    EXPECT_EQ(check("PI(`', \"Popup\")").names, Names{"Popup"});
    EXPECT_EQ(check("MPrintID(first)").names, Names{"first"});
    EXPECT_EQ(check("UW(main>win, Second)").names, Names{});
    EXPECT_EQ(check("UpdateWindow(main, Second)").names, Names{"Second"});
    // SE's sixth argument; an empty one names nothing.
    EXPECT_EQ(check("SE(a,b,c,d,e,Sixth)").names, Names{"Sixth"});
    EXPECT_TRUE(check("JumpId()").names.empty());
    EXPECT_TRUE(check("JI(`a.hlp', `  ')").names.empty());
}

TEST(CheckMacro, TopicArgumentsWithAFile) {
    // t: registered as it stands, unless it names another help file.
    EXPECT_EQ(check("KL(a, b, here, d)").names, Names{"here"});
    EXPECT_TRUE(check("AL(a, b, there@other.hlp, d)").names.empty());
    EXPECT_EQ(check("SH(a,b,c,d, spaced )").names, Names{"spaced "});
}

TEST(CheckMacro, NumbersAndHashesRegisterNothing) {
    EXPECT_TRUE(check("JumpContext(12)").names.empty());
    EXPECT_TRUE(check("JC(a.hlp, 12)").names.empty());
    EXPECT_TRUE(check("PopupHash(a.hlp>w, 0x1234)").names.empty());
    EXPECT_TRUE(check("JumpHash(12345)").names.empty());
    EXPECT_EQ(check("JumpContext(12)").errors, "");
}

TEST(CheckMacro, EscapesAreRemoved) {
    EXPECT_EQ(check("JumpId(`it\\'s')").names, Names{"it's"});
    EXPECT_EQ(check("JumpId(\"a\\\"b\")").names, Names{"a\"b"});
    // Outside quotes a backslash does not protect a comma.
    EXPECT_EQ(check("JumpId(a\\,b)").names, Names{"b"});
}

TEST(CheckMacro, NestedMacroStrings) {
    Checked nested = check("IfThen(IsMark(`m'), JumpId(x))");
    EXPECT_EQ(nested.errors, "");
    EXPECT_EQ(nested.names, Names{"x"});
    // A bad inner macro does not make the outer one bad.
    Checked inner_bad = check("IfThen(IsMark(m), `Broken ; JumpId(y)')");
    EXPECT_EQ(inner_bad.errors, "");
    EXPECT_TRUE(inner_bad.names.empty());
    EXPECT_EQ(check("IE(a(), `PI(p1)', `JI(`q.hlp', j1)')").names, (Names{"j1", "p1"}));
    EXPECT_EQ(check("Not(`Not(`Not(`JI(deep)')')')").names, Names{"deep"});
    EXPECT_EQ(check("AddAccelerator(0x41, 2, \"JumpId(`acc')\")").names, Names{"acc"});
}

TEST(CheckMacro, UnknownMacrosAndSurplusArguments) {
    Checked unknown = check("MyMacro(JumpId(skipped), 1, 2):JumpIdX(no)");
    EXPECT_EQ(unknown.errors, "");
    EXPECT_TRUE(unknown.names.empty());
    // More arguments than any entry has letters: no entry, nothing examined.
    EXPECT_TRUE(check("JumpId(a, b, c)").names.empty());
    std::string many = "JumpId(";
    for (int i = 0; i < 40; ++i) many += "arg" + std::to_string(i) + ",";
    many += "last)";
    Checked surplus = check(many);
    EXPECT_EQ(surplus.errors, "");
    EXPECT_TRUE(surplus.names.empty());
}

TEST(CheckMacro, DeepNestingStaysBounded) {
    // Macro strings nested far deeper than any help file needs.
    std::string deep = "JI(bottom)";
    for (int i = 0; i < 100; ++i) deep = "Not(\"" + deep + "\")";
    Checked checked = check(deep);
    EXPECT_EQ(checked.errors, "");
    EXPECT_TRUE(checked.names.empty());  // below the depth that is checked
    // Quotes nested deeper still count as never closed.
    for (int i = 0; i < 5000; ++i) deep = "Not(\"" + deep + "\")";
    EXPECT_EQ(check(deep).errors, "Bad macro: " + deep + "\n");
    std::string shallow = "JI(top)";
    for (int i = 0; i < 20; ++i) shallow = "Not(\"" + shallow + "\")";
    EXPECT_EQ(check(shallow).names, Names{"top"});
    // Brackets nested beyond any limit.
    std::string brackets = "Foo(" + std::string(100000, '(') + std::string(100000, ')') + ")";
    EXPECT_EQ(check(brackets).errors, "Bad macro: " + brackets + "\n");
    EXPECT_EQ(check("Foo(" + std::string(100000, '(') + ")").errors.substr(0, 15), "Bad macro: Foo(");
}

TEST(SkipQuoted, FindsTheMatchingCharacter) {
    auto skip = [](std::string text) {
        char* end = skip_quoted(text.data());
        return static_cast<long>(end - text.data());
    };
    EXPECT_EQ(skip("\"abc\"x"), 4);
    EXPECT_EQ(skip("(a(b)c)x"), 6);
    EXPECT_EQ(skip("`a\"b'\"c'x"), 7);  // a double-quoted part nests inside
    EXPECT_EQ(skip("\"a\\\"b\"x"), 5);   // escaped quote
    EXPECT_EQ(skip("(a\\)b)"), 5);
    EXPECT_EQ(skip("\"abc"), 4);     // unterminated: the NUL
    EXPECT_EQ(skip("(a\"b)"), 5);    // the nested quote runs to the end
    EXPECT_EQ(skip("(a\\"), 3);      // a backslash before the NUL
    EXPECT_EQ(skip("xyz"), 0);       // not an opening character
    EXPECT_EQ(skip("'abc'"), 0);
}

}  // namespace
