#include "app/PortMappingRule.h"
#include "app/RuleFile.h"

#include <gtest/gtest.h>

#include <vector>

#include "text/Text.h"

namespace {

bool Parses(const std::string& line) {
    PortMappingRule rule;
    return ParseRuleLine(line, &rule);
}

}  // namespace

TEST(RuleLine, ExampleLineAndSpacingVariants) {
    for (const char* line : {"80, 80, TCP, HTTP接続の通過", "80,80,TCP,HTTP接続の通過",
                             " \t80 ,\t80\v,TCP\f ,  HTTP接続の通過 \r"}) {
        PortMappingRule rule;
        ASSERT_TRUE(ParseRuleLine(line, &rule)) << line;
        EXPECT_EQ(rule.externalPort, "80");
        EXPECT_EQ(rule.internalPort, "80");
        EXPECT_EQ(rule.protocol, "TCP");
        EXPECT_EQ(rule.description, "HTTP接続の通過");
        EXPECT_EQ(rule.ExternalPortNumber(), 80);
        EXPECT_EQ(rule.InternalPortNumber(), 80);
    }
}

TEST(RuleLine, DescriptionKeepsFurtherCommasAndProtocolIsNotValidated) {
    PortMappingRule rule;
    ASSERT_TRUE(ParseRuleLine("21,2121, udp ,FTP, passive,  ports ", &rule));
    EXPECT_EQ(rule.protocol, "udp");
    EXPECT_EQ(rule.description, "FTP, passive,  ports");
    EXPECT_EQ(rule.InternalPortNumber(), 2121);
}

TEST(RuleLine, IncompleteLines) {
    EXPECT_FALSE(Parses(""));
    EXPECT_FALSE(Parses("80, 80, TCP"));       // two commas
    EXPECT_FALSE(Parses("80, 80, TCP,"));      // ends right after the third comma
    EXPECT_FALSE(Parses("80, 80, TCP, \t "));  // only white space after it
    EXPECT_FALSE(Parses("80, , TCP, x"));      // internal port only a space
    EXPECT_FALSE(Parses(",,,"));
    EXPECT_FALSE(Parses(",,,,,,,,"));
    EXPECT_FALSE(Parses(" , 80, TCP, x"));
    EXPECT_FALSE(Parses("80, 80,  , x"));
    // A full-width comma is not a separator.
    EXPECT_FALSE(Parses("80，80，TCP，x"));
}

TEST(RuleLine, IdeographicSpaceIsNotWhiteSpace) {
    PortMappingRule rule;
    ASSERT_TRUE(ParseRuleLine("\u300080, 80\u3000, TCP, \u3000説明\u3000", &rule));
    EXPECT_EQ(rule.externalPort, "\u300080");
    EXPECT_EQ(rule.internalPort, "80\u3000");
    EXPECT_EQ(rule.description, "\u3000説明\u3000");
    // A field of only an ideographic space is not empty.
    EXPECT_TRUE(Parses("80, \u3000, TCP, x"));
}

TEST(RuleLine, PortTextsFollowAtoiWithoutRangeCheck) {
    PortMappingRule rule;
    ASSERT_TRUE(ParseRuleLine("80a, http, TCP, x", &rule));
    EXPECT_EQ(rule.externalPort, "80a");
    EXPECT_EQ(rule.ExternalPortNumber(), 80);
    EXPECT_EQ(rule.InternalPortNumber(), 0);
    ASSERT_TRUE(ParseRuleLine("70000, -5, TCP, x", &rule));
    EXPECT_EQ(rule.ExternalPortNumber(), 70000);
    EXPECT_EQ(rule.InternalPortNumber(), -5);
    ASSERT_TRUE(ParseRuleLine("+8080, 99999999999, TCP, x", &rule));
    EXPECT_EQ(rule.ExternalPortNumber(), 8080);
    EXPECT_EQ(rule.InternalPortNumber(), 2147483647);  // saturated, never overflowing
}

TEST(RuleText, FirstIncompleteLineEndsTheList) {
    EXPECT_TRUE(RulesOf("").empty());
    auto rules = RulesOf("80, 80, TCP, a\r\n21, 21, TCP, b");
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules[1].description, "b");  // the last line needs no line break

    rules = RulesOf("80, 80, TCP, a\r\n\r\n21, 21, TCP, b\r\n");
    ASSERT_EQ(rules.size(), 1u);  // a blank line hides the rules below it
    rules = RulesOf("80, 80, TCP, a\r\n21, 21\r\n22, 22, TCP, c");
    ASSERT_EQ(rules.size(), 1u);
    rules = RulesOf("80, 80, TCP, a\r\n21, 21, TCP, b\r\n\r\n\r\n");
    EXPECT_EQ(rules.size(), 2u);  // trailing blank lines are harmless
    EXPECT_TRUE(RulesOf("\r\n80, 80, TCP, a").empty());
}

TEST(RuleText, FilePassesOverCommentsAndBlankLinesButNotAnIncompleteLine) {
    const struct {
        const char* file;
        const char* rules;
        std::size_t count;
    } rows[] = {
        {"# head\r\n\r\n80, 80, TCP, a\r\n \t# note\r\n  \r\n21, 21, UDP, b\r\n",
         "80, 80, TCP, a\r\n21, 21, UDP, b", 2},
        {"80, 80, TCP, web # not a comment", "80, 80, TCP, web # not a comment", 1},
        {"80, 80\r\n# c\r\n21, 21, TCP, b", "80, 80\r\n21, 21, TCP, b", 0},
        {"#80, 80, TCP, a", "", 0},
        {"", "", 0},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(RuleFileText(row.file), row.rules) << row.file;
        EXPECT_EQ(RulesOf(RuleFileText(row.file)).size(), row.count) << row.file;
    }
}

TEST(RuleText, OnlyCrLfSeparatesLines) {
    // A lone LF is white space inside a field, not a line end: the two lines
    // read as one rule whose description holds the second.
    auto rules = RulesOf("80, 80, TCP, a\n21, 21, TCP, b");
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].description, "a\n21, 21, TCP, b");
}
