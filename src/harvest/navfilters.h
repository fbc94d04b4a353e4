#pragma once

#include <QStringView>

#include <array>

// Link texts that mark the portal's navigation bar, promotion banners, footer and sharing
// widgets rather than keywords: an item containing one of them (code unit by code unit,
// case-sensitive) is removed. Kept as it has always been, the repeated entries included; a
// user's own phrases (FilterPhraseFile) are matched the same way.
inline constexpr std::array<QStringView, 39> NavFilters {
    u"新闻",
    u"贴吧",
    u"网页",
    u"知道",
    u"MP3",
    u"图片",
    u"视频",
    u"地图",
    u"指数",
    u"帮助",
    u"百度搜索风云榜自选榜单抢鲜！",
    u"有奖用户调研，填问卷即报名",
    u"百度搜索风云榜自选榜单抢鲜！",
    u"百度风云榜",
    u"风云榜评论",
    u"RSS订阅",
    u"使用百度前必读",
    u"关于百度风云榜",
    u"百科",
    u"片花",
    u"资料",
    u"房源",
    u"楼盘",
    u"游戏视频",
    u"娱乐",
    u"搜索",
    u"search",
    u"简介",
    u"论坛",
    u"一键分享",
    u"search",
    u"地域风向标",
    u"人群风向标",
    u"完整榜单",
    u"更多",
    u"<",
    u"风云榜官方微信扫描关注我们",
    u"登录",
    u"百度首页",
};
