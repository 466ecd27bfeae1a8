#include "app/ActivityLog.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "platform/Clock.h"

using namespace activity_log;

TEST(LogTexts, ExactBytes) {
    // Written out byte by byte, so that an ASCII space slipped in after the
    // marks, or a missing line end, shows.
    EXPECT_EQ(std::string(kSuccess),
              "\xE2\x97\x8B\xE3\x80\x80\xE8\xA8\xAD\xE5\xAE\x9A\xE3\x81\xAB\xE6\x88\x90\xE5\x8A\x9F"
              "\xE3\x81\x97\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F\xE3\x80\x82\r\n");
    EXPECT_EQ(std::string(kFailure),
              "\xC3\x97\xE3\x80\x80\xE8\xA8\xAD\xE5\xAE\x9A\xE3\x81\xAB\xE5\xA4\xB1\xE6\x95\x97"
              "\xE3\x81\x97\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F\xE3\x80\x82\r\n");
    EXPECT_EQ(std::string(kFound),
              "\xE2\x97\x86UPnP\xE5\xAF\xBE\xE5\xBF\x9C\xE3\x83\xAB\xE3\x83\xBC\xE3\x82\xBF"
              "\xE3\x81\x8C\xE8\xA6\x8B\xE3\x81\xA4\xE3\x81\x8B\xE3\x82\x8A\xE3\x81\xBE\xE3\x81"
              "\x97\xE3\x81\x9F\r\n");
    EXPECT_EQ(std::string(kNotFound),
              "UPnP\xE5\xAF\xBE\xE5\xBF\x9C\xE3\x83\xAB\xE3\x83\xBC\xE3\x82\xBF\xE3\x81\x8C\xE8"
              "\xA6\x8B\xE3\x81\xA4\xE3\x81\x8B\xE3\x82\x8A\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93"
              "\xE3\x81\xA7\xE3\x81\x97\xE3\x81\x9F\xE3\x80\x82\r\n");
    EXPECT_EQ(std::string(kAutoRun),
              "\xE8\x87\xAA\xE5\x8B\x95\xE5\xAE\x9F\xE8\xA1\x8C\xE3\x81\x97\xE3\x81\xBE\xE3\x81"
              "\x99\xE3\x80\x82\r\n");
    EXPECT_EQ(
        GatewayText("192.168.0.1", "http://192.168.0.1:5000/rootDesc.xml"),
        "- Address : 192.168.0.1\r\n- Control URL : http://192.168.0.1:5000/rootDesc.xml\r\n");
    EXPECT_EQ(RuleStartText("80", "8080", "TCP"), "\xE2\x96\xA0 80 -> 8080 [TCP] : ");
}

TEST(LogAppend, AddsNothingOfItsOwnAndReplacesBadBytes) {
    EXPECT_EQ(LoggedText(""), "");
    EXPECT_EQ(LoggedText(kSuccess), kSuccess);
    EXPECT_EQ(LoggedText("loc\xFF\xFE/x\r\n"), "loc\xEF\xBF\xBD\xEF\xBF\xBD/x\r\n");
    // A character cut off at the end of the message is not valid either.
    EXPECT_EQ(LoggedText("\xE3\x81").rfind("\xEF\xBF\xBD", 0), 0u);
}

// A log as a window keeps it: appended to, its oldest lines dropped as the
// budget says.
TEST(LogAppend, KeepsTheNewestWholeLinesWithinTheLimit) {
    const std::string line = "■ 80 -> 80 [TCP] : " + std::string(kSuccess);  // multi-byte
    std::string full;
    while (full.size() + line.size() <= kMaxLogBytes) {
        full += line;
    }
    const std::string huge(kMaxLogBytes + 10, 'x');
    struct Case {
        const char* name;
        std::vector<std::string> messages;
        std::size_t expectedSize;
    } cases[] = {
        {"at the limit",
         {full, std::string(kMaxLogBytes - full.size() - 2, 'y') + "\r\n"},
         kMaxLogBytes},
        {"one byte over: the first line goes",
         {full, std::string(kMaxLogBytes - full.size() - 2, 'y') + "\r\n", "z"},
         kMaxLogBytes + 1 - line.size()},
        {"a line split over two appends counts once",
         {full, "■ 80 -> 80 [TCP] : ", kSuccess, line},
         full.size()},
        {"a line larger than the limit stays alone", {full, huge + "\r\n"}, huge.size() + 2},
        {"an open line larger than the limit stays alone", {full, huge}, huge.size()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogLineBudget budget;
        std::string log;
        std::string whole;
        for (const std::string& m : c.messages) {
            log += m;
            whole += m;
            for (int drop = budget.Append(m); drop > 0; --drop) {
                log.erase(0, log.find("\r\n") + 2);
            }
            EXPECT_EQ(budget.Bytes(), log.size());
        }
        EXPECT_EQ(log.size(), c.expectedSize);
        EXPECT_EQ(whole.substr(whole.size() - log.size()), log);  // the newest bytes
        const std::size_t start = whole.size() - log.size();
        EXPECT_TRUE(start == 0 || whole.compare(start - 2, 2, "\r\n") == 0);  // whole lines
    }
}

TEST(LocalTime, TimeStampPattern) {
    // Whatever the machine's time zone: the stamp shows the local fields in
    // this layout.
    for (std::int64_t t : {1054425907LL, 0LL, 4102444800LL /* past 2038 */}) {
        std::tm local{};
        ASSERT_TRUE(platform::ToLocalTime(t, &local));
        char expected[64];
        std::snprintf(expected, sizeof expected, "[%04d/%02d/%02d %02d:%02d:%02d] ",
                      local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min, local.tm_sec);
        EXPECT_EQ(FormatLocalTime(t, kTimeStampPattern), expected);
    }
}

TEST(LocalTime, ResultThatDoesNotFitOrTimeThatCannotConvertIsEmpty) {
    const std::string fits(127, 'x');  // 127 bytes and the terminating zero
    EXPECT_EQ(FormatLocalTime(0, fits.c_str()), fits);
    const std::string tooLong(128, 'x');
    EXPECT_EQ(FormatLocalTime(0, tooLong.c_str()), "");
    EXPECT_EQ(FormatLocalTime(0, (std::string(122, 'x') + "%Y/%m" /* 129 bytes */).c_str()), "");
    EXPECT_EQ(FormatLocalTime(INT64_MAX, kTimeStampPattern), "");
}
