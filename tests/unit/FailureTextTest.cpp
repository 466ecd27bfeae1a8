#include "app/FailureText.h"

#include <gtest/gtest.h>

TEST(FailureText, RouterWordsStayAsSent) {
    FailureReason r;
    r.step = FailureReason::Step::kStatus;
    r.httpStatus = 500;
    r.httpStatusText = "Internal Server Error";
    r.upnpErrorCode = "718";
    r.upnpErrorDescription = "ConflictInMappingEntry";
    EXPECT_EQ(DescribeFailure(r),
              "理由: ルータが要求を拒否しました (HTTP 500 Internal Server Error) UPnPエラー 718 "
              "ConflictInMappingEntry");
}

TEST(FailureText, EveryStepSaysSomethingOnOneLine) {
    for (int s = static_cast<int>(FailureReason::Step::kNone);
         s <= static_cast<int>(FailureReason::Step::kNoService); ++s) {
        FailureReason r;
        r.step = static_cast<FailureReason::Step>(s);
        const std::string text = DescribeFailure(r);
        EXPECT_EQ(text.rfind("理由: ", 0), 0u) << s;
        EXPECT_GT(text.size(), std::string("理由: ").size()) << s;
    }
    FailureReason r;
    r.step = FailureReason::Step::kConnect;
    r.detail = "refused\r\nsecond line \xFF";
    EXPECT_EQ(DescribeFailure(r),
              "理由: ルータに接続できませんでした: refused  second line \uFFFD");
    r.step = FailureReason::Step::kNoService;
    r.detail.clear();
    EXPECT_NE(DescribeFailure(r).find("WANIPConnection"), std::string::npos);
}
