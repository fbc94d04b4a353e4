// A realtime board of today's layout (tests/data, written from its description) mirrored by the
// real engine and harvested: every entry's rank or pinned icon, title and two "查看更多>" links
// point to one address. With the board's own navigation in the user's filter file the harvest
// is exactly the titles, in order.

#include "core/keywordlistmodel.h"
#include "harvest/browserpane.h"
#include "harvest/filterphrasefile.h"
#include "harvest/harvestpass.h"
#include "support/guisupport.h"
#include "support/loopbackserver.h"
#include "support/testfiles.h"
#include "support/wait.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

TEST(TodayLayout, TheBoardIsHarvestedToItsTitles)
{
    allowLoopbackOnly();
    const QByteArray board
        = readBytes(QStringLiteral(LEXHAUL_HOTLIST_DIR "/realtime_board_today.html"));
    QStringList titles;
    for (const auto &match : QRegularExpression(u"class=\"title\"[^>]*><div[^>]*>([^<]+)<"_s)
                                 .globalMatch(QString::fromUtf8(board)))
        titles.append(match.captured(1));
    ASSERT_EQ(titles.size(), 31);

    QTemporaryDir dir;
    const TextEncoding gbk("GBK");
    writeBytes(dir.filePath(FilterPhraseFile::fileName()),
               gbk.encode(u"首页\n设置\n热搜榜\n小说榜\n电影榜\n电视剧榜\n汽车榜\n游戏榜\n换一换\n"
                          "查看全部\n关于我们\n意见反馈\n用户协议\n隐私政策\n"_s));
    const QStringList own = readFilterPhraseFile(dir.path(), gbk).phrases;
    LoopbackServer server;
    server.serve(u"/board"_s, board);
    BrowserPane pane;
    pane.resize(2, 9);
    pane.navigate(server.url(u"/board"_s).toString());
    QStringList harvest;
    EXPECT_TRUE(waitUntil(
        [&] {
            KeywordListModel list;
            HarvestPass pass(list);
            pass.setOwnPhrases(own);
            pass.run(pane.links());
            harvest = list.items();
            return harvest == titles;
        },
        30000));
    EXPECT_EQ(harvest, titles);
}
