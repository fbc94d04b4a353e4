#include "harvest/pageload.h"
#include "support/testfiles.h"

using namespace Qt::StringLiterals;
using Stage = PageLoad::Stage;
using Domain = PageLoad::Domain;
using Outcome = LinkCollection::Outcome;

// Why a page gave nothing, in the words both front ends say it with, and whether a second try
// may fare better; a page harvested, or a harvest abandoned, gave what it had.
TEST(PageFate, SaysWhyAPageGaveNothing)
{
    const std::tuple<PageLoad, Outcome, QString, bool> rows[] = {
        {{Stage::Loaded}, Outcome::Collected, QString(), false},
        {{Stage::Loading}, Outcome::Collected, QString(), false}, // as it stood
        {{Stage::Loaded}, Outcome::Abandoned, QString(), false},
        {{Stage::Loading}, Outcome::NoDocument, u"超时"_s, true},
        {{Stage::Loaded}, Outcome::NoAnswer, u"页面无响应"_s, false},
        {{Stage::Crashed}, Outcome::NoDocument, u"页面崩溃"_s, true},
        {{Stage::Crashed}, Outcome::Collected, QString(), false}, // collected before it died
        // The site's error page has links of its own: never the page asked for.
        {{Stage::Failed, Domain::HttpStatus, 400}, Outcome::Collected, u"HTTP 400"_s, false},
        {{Stage::Failed, Domain::HttpStatus, 429}, Outcome::Collected, u"HTTP 429"_s, true},
        {{Stage::Failed, Domain::HttpStatus, 500}, Outcome::Collected, u"HTTP 500"_s, true},
        {{Stage::Failed, Domain::HttpStatus, 499}, Outcome::Collected, u"HTTP 499"_s, false},
        {{Stage::Failed, Domain::Connection, -102}, Outcome::NoDocument, u"连接被拒绝"_s, true},
        {{Stage::Failed, Domain::Dns, -105}, Outcome::NoDocument, u"找不到服务器"_s, true},
        {{Stage::Failed, Domain::Connection, -118}, Outcome::NoDocument, u"超时"_s, true},
        {{Stage::Failed, Domain::Internal, -301}, Outcome::NoDocument, u"不支持这种网址"_s, false},
        {{Stage::Failed, Domain::Certificate, -202},
         Outcome::NoDocument,
         u"证书错误（-202）"_s,
         false},
        {{Stage::Failed, Domain::Connection, -199},
         Outcome::NoDocument,
         u"网络错误（-199）"_s,
         true},
        {{Stage::Failed, Domain::Connection, -200},
         Outcome::NoDocument,
         u"证书错误（-200）"_s,
         false},
        {{Stage::Failed, Domain::Internal, -99}, Outcome::NoDocument, u"网络错误（-99）"_s, false},
    };
    for (const auto &[load, outcome, reason, passing] : rows) {
        const auto failure = harvestFailure(load, {outcome, {}});
        EXPECT_EQ(failure.value_or(PageFailure {}), (PageFailure {reason, passing}))
            << reason.toStdString() << " " << load.errorCode;
    }
}
