#!/usr/bin/env python3
"""Writes the hot-list pages of today's layouts that Lexhaul's tests load.

Each page is written from a description of a kind of page in use on Chinese portals today
(a board with badges, a board home with doubled cards, an aggregator of many boards, a social
site's realtime topics, a movie site's home, a question-and-answer hot list); none is a copy
of any site's page. Beside each page, NAME.titles.txt holds its hot entries' keywords in
document order, one a line: what a harvest of its hot lists must give.

Every hot entry links to an address under /e/; nothing else does. Titles are made from a
fixed vocabulary with a fixed seed, so the pages are the same on every run:

    python3 tests/data/hotlist/make_pages.py

The tests never run this; they read the pages it wrote.
"""

import html
import json
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
rng = random.Random(20251208)

# Texts the built-in filter table removes: no title may hold one.
FILTERED = ["新闻", "贴吧", "网页", "知道", "MP3", "图片", "视频", "地图", "指数", "帮助", "百度", "风云榜",
            "RSS订阅", "百科", "片花", "资料", "房源", "楼盘", "娱乐", "搜索", "search", "简介", "论坛",
            "一键分享", "风向标", "完整榜单", "更多", "<", "登录"]

PLACES = ["多地", "南方", "北京", "上海", "广州", "成都", "西安", "杭州", "武汉", "哈尔滨", "三亚", "重庆",
          "深圳", "长沙", "郑州", "青岛", "厦门", "昆明", "兰州", "拉萨"]
SUBJECTS = ["女孩", "大学生", "外卖小哥", "航天员", "老师", "医生", "球队", "新能源车", "高铁", "景区",
            "博物馆", "大熊猫", "消防员", "机场", "气象台", "快递", "奶茶店", "动物园", "图书馆", "菜市场"]
EVENTS = ["迎来今年首场降雪", "回应网友质疑", "发布最新通报", "票房创新高", "获得国际大奖", "开通新线路",
          "出现罕见天象", "宣布降价", "启动应急响应", "刷新世界纪录", "暂停营业整改", "推出夜间服务",
          "走红网络", "引发热议", "完成首次试飞", "迎来客流高峰", "上演暖心一幕", "被评为优秀案例",
          "发出高温预警", "公布调查结果"]
TWO_CHARS = ["吴磊", "雪豹", "春运", "冬至", "白露", "晚霞"]
FILMS = ["流浪星球", "深海来信", "长安夜行", "少年的你们", "雪山之巅", "无名之辈", "热辣人生", "满江红",
         "独行月球", "人生大事", "志愿军：雄兵出击", "封神第二部：战火西岐", "误杀", "飞驰人生",
         "孤注一掷", "八角笼中", "消失的她", "长空之王", "坚如磐石", "年会不能停", "第二十条",
         "周处除三害", "功夫熊猫", "沙丘", "哥斯拉大战金刚", "走走停停", "野孩子", "默杀", "云边有个小卖部",
         "抓娃娃", "逆行人生", "异形", "姥姥的外孙", "白蛇：浮生", "传说", "从21世纪安全撤离"]
SITES = ["微博", "知乎", "抖音", "哔哩哔哩", "今日头条", "澎湃", "虎扑", "豆瓣", "快手", "小红书", "网易",
         "腾讯", "凤凰", "36氪", "少数派", "IT之家", "CSDN", "掘金"]
BOARDS = ["热搜榜", "热榜", "热点榜", "实时榜", "人气榜", "日榜", "周榜", "热议"]
BADGES = ["热", "新"]


def title():
    """A hot entry's title, never one the built-in filter table would remove."""
    while True:
        text = rng.choice(PLACES) + rng.choice(SUBJECTS) + rng.choice(EVENTS)
        if not any(f in text for f in FILTERED):
            return text


def heat():
    return rng.choice([f"{rng.randint(100, 4999) / 10:.1f}万", f"{rng.randint(100, 5000)} 万热度",
                       f"{rng.randint(11, 99) / 10:.1f}w", f"{rng.randint(1000, 9999)}阅读"])


def check(titles):
    for t in titles:
        assert t and not any(f in t for f in FILTERED), t
        assert "\n" not in t


def page(name, head_title, style, body, titles):
    check(titles)
    with open(os.path.join(HERE, name + ".html"), "w", encoding="utf-8", newline="\n") as out:
        out.write(f"""<!doctype html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<title>{head_title}</title>
<!-- Written for Lexhaul's tests by make_pages.py from a description of a kind of page in use
     today; not a copy of any site's page. -->
<style>
body {{ font: 14px sans-serif; margin: 0; }}
{style.strip()}
</style>
</head>
<body>
{body.strip()}
</body>
</html>
""")
    with open(os.path.join(HERE, name + ".titles.txt"), "w", encoding="utf-8", newline="\n") as out:
        out.write("".join(t + "\n" for t in titles))


def links(pairs, indent="  "):
    return "\n".join(f'{indent}<a href="{href}">{html.escape(text)}</a>' for href, text in pairs)


def realtime_board():
    """The portal's realtime board: a header of 8 short links, a tab bar of 5 links twice, one
    pinned and 50 ranked entries (the rank's image link, the title link with its badge block,
    two 查看更多> links to the entry), a footer of 8 links."""
    header = [("/", "首页"), ("/settings", "设置"), ("/passport", "账号"), ("/feedback", "反馈"),
              ("/app", "客户端"), ("/skin", "换肤"), ("/msg", "消息"), ("/me", "我的")]
    tabs = [("/board?tab=realtime", "热搜"), ("/board?tab=novel", "小说"), ("/board?tab=movie", "电影"),
            ("/board?tab=teleplay", "电视剧"), ("/board?tab=car", "汽车")]
    footer = [("/about", "关于我们"), ("/terms", "使用协议"), ("/privacy", "隐私政策"),
              ("/report", "举报中心"), ("/jobs", "加入我们"), ("/ads", "广告合作"),
              ("/license", "经营许可"), ("/help", "联系客服")]
    entries, titles = [], []
    for n in range(51):
        t = title() if n != 7 else rng.choice(TWO_CHARS)
        titles.append(t)
        badge = rng.choice(BADGES) if n % 4 == 1 else ""
        href = f"/e/{n}"
        index = '<div class="index top-icon"></div>' if n == 0 else f'<div class="index">{n}</div>'
        entries.append(f"""<div class="category-wrap{' top' if n == 0 else ''}">
  <a class="img-wrapper" href="{href}" target="_blank"><img src="/img/{n}.png" alt="">{index}</a>
  <div class="content">
    <a class="title" href="{href}" target="_blank"><div class="c-single-text-ellipsis">{html.escape(t)}</div><div class="hot-tag">{badge}</div></a>
    <div class="hot-index">{rng.randint(100000, 4999999)}</div>
    <div class="desc small">{html.escape(t)}，详情正在持续关注中…<a class="look-more" href="{href}" target="_blank">查看更多&gt;</a></div>
    <div class="desc large">{html.escape(t)}。据报道，相关情况引起广泛关注，后续进展将持续更新。<a class="look-more" href="{href}" target="_blank">查看更多&gt;</a></div>
  </div>
</div>""")
    body = f"""<div class="header">
{links(header)}
</div>
<div class="tabs top-tabs">
{links(tabs)}
</div>
<div class="tabs side-tabs">
{links(tabs)}
</div>
<main class="board">
{chr(10).join(entries)}
</main>
<div class="footer">
{links(footer)}
</div>"""
    style = """
.header, .tabs, .footer { padding: 8px 24px; background: #f5f5f7; }
.header a, .tabs a, .footer a { margin-right: 16px; }
.category-wrap { display: flex; padding: 12px 24px; border-bottom: 1px solid #eee; }
.img-wrapper { position: relative; width: 120px; height: 68px; margin-right: 16px; background: #ddd; }
.index { position: absolute; left: 0; top: 0; padding: 0 6px; color: #fff; background: #f60; }
.hot-tag { display: inline-block; margin-left: 6px; color: #fff; background: #f33; }
.hot-index { float: right; color: #999; }
.desc.large { display: none; }
"""
    page("board_realtime_2025", "实时热点", style, body, titles)


def board_home():
    """The board home: six boards side by side (11, 10, 10, 10, 10, 10 entries), each with its
    title and a 查看完整榜单 link. Each entry of the first is one link around two copies of its
    card (one shown on hover), each a rank block, a title block and a badge block; the others'
    entries are a cover link with the rank, and two title links."""
    names = ["实时热点", "七日关注", "今日上榜", "民生热点", "体育热点", "游戏热点"]
    boards, titles = [], []
    for b, (name, count) in enumerate(zip(names, [11, 10, 10, 10, 10, 10])):
        items = []
        for n in range(count):
            t = title()
            titles.append(t)
            href = f"/e/{b}-{n}"
            if b == 0:
                badge = rng.choice(BADGES) if n % 3 == 0 else ""
                card = (f'<div class="item-rank">{n + 1}</div><div class="item-title">{html.escape(t)}</div>'
                        f'<div class="item-tag">{badge}</div>')
                items.append(f'  <li><a class="item" href="{href}"><div class="card hover">{card}</div>'
                             f'<div class="card row">{card}</div></a></li>')
            else:
                items.append(f"""  <li class="entry">
    <a class="cover" href="{href}"><img src="/img/{b}-{n}.jpg" alt=""><span class="rank">{n + 1}</span></a>
    <div class="text"><a class="name" href="{href}">{html.escape(t)}</a></div>
    <p class="sub"><a href="{href}">{html.escape(t)}</a></p>
  </li>""")
        boards.append(f"""<div class="box">
  <div class="box-title"><a href="/board/{b}">{name}</a></div>
  <ul class="list">
{chr(10).join(items)}
  </ul>
  <a class="all" href="/board/{b}">查看完整榜单</a>
</div>""")
    body = f"""<div class="nav">
{links([("/", "首页"), ("/boards", "榜单"), ("/app", "客户端"), ("/settings", "设置")])}
</div>
<div class="boards">
{chr(10).join(boards)}
</div>
<div class="footer">
{links([("/about", "关于我们"), ("/terms", "使用协议"), ("/privacy", "隐私政策")])}
</div>"""
    style = """
.boards { display: flex; flex-wrap: wrap; }
.box { width: 300px; margin: 8px; }
.card { display: flex; }
.card.hover { display: none; }
.item:hover .card.hover { display: flex; }
.item:hover .card.row { display: none; }
.item-rank, .rank { width: 24px; color: #f60; }
.item-tag { margin-left: 6px; color: #f33; }
"""
    page("board_home", "热点榜单", style, body, titles)


def aggregator_home():
    """An aggregator's home: its navigation of 15 links, 72 cards, each headed by a link to the
    site with the board's name, with 10 to 30 entries (rank, title and heat spans in the link)
    and a 更多 link, and a footer."""
    nav = [("/", "首页"), ("/tech", "科技"), ("/ent", "影视"), ("/community", "社区"), ("/shop", "购物"),
           ("/finance", "财经"), ("/dev", "开发"), ("/read", "阅读"), ("/sports", "体育"), ("/game", "游戏"),
           ("/edu", "教育"), ("/auto", "汽车"), ("/settings", "设置"), ("/about", "关于"), ("/app", "下载")]
    cards, titles = [], []
    for c in range(72):
        site = SITES[c % len(SITES)]
        board = BOARDS[c % len(BOARDS)]
        items = []
        for n in range(rng.randint(10, 30)):
            t = title()
            titles.append(t)
            items.append(f'      <a class="item" href="/e/{c}-{n}"><span class="rank">{n + 1}</span>'
                         f'<span class="t">{html.escape(t)}</span><span class="e">{heat()}</span></a>')
        cards.append(f"""<div class="cc-cd">
  <div class="cc-cd-ih"><a href="/site/{c}"><img src="/logo/{c}.png" alt=""><span class="cc-cd-lb">{site}</span></a><span class="cc-cd-sb">{board}</span></div>
  <div class="cc-cd-cb">
    <div class="cc-cd-cb-l">
{chr(10).join(items)}
    </div>
  </div>
  <div class="cc-cd-if"><a href="/site/{c}">更多</a></div>
</div>""")
    body = f"""<div class="nav">
{links(nav)}
</div>
<div class="cards">
{chr(10).join(cards)}
</div>
<div class="footer">
{links([("/terms", "使用条款"), ("/privacy", "隐私"), ("/contact", "联系我们"), ("/icp", "备案号")])}
</div>"""
    page("aggregator_home", "今日热榜", "", body, titles)


def social_hot_topics():
    """A social site's realtime hot topics: the site's navigation of about 40 links, a feed of 49
    entries (the topic's or headline's link, often #话题#, some with a picture; the poster's
    avatar link with no text, the poster's name link, the time, and 转发/评论/赞 with their
    counts), and a side box of 5 hot topics."""
    nav = [("/", "首页"), ("/hot", "热门"), ("/video", "直播"), ("/game", "游戏"), ("/msg", "消息"),
           ("/me", "我"), ("/settings", "设置"), ("/write", "写微博")]
    nav += [(f"/channel/{k}", name) for k, name in enumerate(
        ["热门", "同城", "榜单", "明星", "搞笑", "社会", "时尚", "电影", "美女", "体育", "动漫", "游戏", "数码",
         "财经", "科技", "军事", "历史", "美食", "旅游", "摄影", "汽车", "健康", "育儿", "教育", "情感",
         "读书", "音乐", "宠物", "家居", "综艺", "校园", "公益"])]
    posters = ["人民日报", "央视", "新京报", "头条君", "每日经济", "澎湃快讯", "小小旅行家", "吃货研究所",
               "天气君", "体坛速递"]
    entries, titles = [], []
    for n in range(49):
        t = title()
        if n % 3 != 2:
            t = f"#{t}#"
        titles.append(t)
        href = f"/e/{n}"
        pic = f'<a class="pic" href="{href}"><img src="/p/{n}.jpg" alt=""></a>' if n % 5 == 0 else ""
        poster = rng.randrange(len(posters))
        entries.append(f"""<div class="card">
  <div class="head"><a class="avatar" href="/u/{poster}"><img src="/a/{poster}.jpg" alt=""></a><a class="name" href="/u/{poster}">{posters[poster]}</a><a class="from" href="/p/{n}">{rng.randint(1, 59)}分钟前</a></div>
  <div class="txt"><a class="topic" href="{href}">{html.escape(t)}</a> {html.escape(t.strip('#'))}，网友纷纷表示关注。</div>
  {pic}
  <div class="act"><a href="/act/{n}/repost">转发 {rng.randint(10, 9999)}</a><a href="/act/{n}/comment">评论 {rng.randint(10, 9999)}</a><a href="/act/{n}/like">赞 {rng.randint(10, 99999)}</a></div>
</div>""")
    side, side_titles = [], []
    for n in range(5):
        t = f"#{title()}#"
        side_titles.append(t)
        side.append(f'  <li><a href="/e/side-{n}">{html.escape(t)}</a><span class="num">{heat()}</span></li>')
    body = f"""<div class="gn">
{links(nav[:8])}
</div>
<div class="left">
{links(nav[8:])}
</div>
<div class="feed">
{chr(10).join(entries)}
</div>
<div class="side">
  <div class="side-title"><a href="/hot">微博热搜</a></div>
  <ul>
{chr(10).join(side)}
  </ul>
</div>"""
    page("social_hot_topics", "实时热点", ".pic img { width: 120px; }", body, titles + side_titles)


def movie_home():
    """A movie site's home: 40 navigation links, app download links, a now-showing slider of 25
    films (a poster link with no text, the title link, cut with "..." when long, a 选座购票
    link), a weekly chart of 10 films, and a footer."""
    nav = [("/", "首页"), ("/films", "电影"), ("/cinemas", "影院"), ("/shows", "演出"), ("/board", "榜单"),
           ("/news", "热点"), ("/shop", "商城"), ("/app", "APP下载")]
    nav += [(f"/city/{k}", name) for k, name in enumerate(
        ["北京", "上海", "广州", "深圳", "成都", "重庆", "杭州", "武汉", "西安", "南京", "天津", "苏州", "长沙",
         "郑州", "东莞", "青岛", "沈阳", "宁波", "昆明", "大连", "厦门", "合肥", "佛山", "福州", "哈尔滨", "济南",
         "温州", "长春", "石家庄", "常州", "泉州", "南宁"])]
    films = rng.sample(FILMS, 35)
    slider, titles = [], []
    for n, film in enumerate(films[:25]):
        shown = film if len(film) <= 7 else film[:6] + "..."
        titles.append(shown)
        slider.append(f"""  <dd class="movie-item">
    <a class="poster" href="/e/m{n}"><img src="/poster/{n}.jpg" alt=""></a>
    <div class="movie-title"><a href="/e/m{n}" title="{html.escape(film)}">{html.escape(shown)}</a></div>
    <a class="buy" href="/buy/{n}">选座购票</a>
  </dd>""")
    chart = []
    for n, film in enumerate(films[25:]):
        titles.append(film)
        chart.append(f'  <li><span class="rank">{n + 1}</span><a href="/e/w{n}">{html.escape(film)}</a>'
                     f'<span class="box">{rng.randint(100, 9999)}万</span></li>')
    body = f"""<div class="nav">
{links(nav[:8])}
</div>
<div class="city-list">
{links(nav[8:])}
</div>
<div class="app-download">
  <a href="/app/ios">iPhone版下载</a>
  <a href="/app/android">Android版下载</a>
  <a href="/app/qr">扫码下载APP</a>
</div>
<dl class="movie-list">
{chr(10).join(slider)}
</dl>
<div class="ranking">
  <h3>周票房榜</h3>
  <ul>
{chr(10).join(chart)}
  </ul>
</div>
<div class="footer">
{links([("/about", "关于我们"), ("/jobs", "诚聘英才"), ("/terms", "用户协议"), ("/privacy", "隐私政策"),
        ("/license", "营业执照"), ("/help", "客服中心")])}
</div>"""
    page("movie_home", "电影首页", ".movie-item { display: inline-block; width: 160px; }", body, titles)


def qa_hot_list():
    """A question-and-answer site's hot list: 50 entries, each a link around the question and
    its excerpt beside the rank and the heat figure, and a side column of links to other
    sections."""
    entries, titles = [], []
    for n in range(50):
        if n == 3:
            shown, markup = "如何评价新作的口碑？", "如何评价<em>新作</em>的口碑？"
        else:
            shown = title() + "，你怎么看？"
            markup = html.escape(shown)
        titles.append(shown)
        excerpt = "".join(rng.choice(EVENTS) + "，" for _ in range(rng.randint(5, 25))) + "以上是我的看法。"
        entries.append(f"""<section class="HotItem">
  <div class="HotItem-index"><div class="HotItem-rank">{n + 1:02d}</div></div>
  <div class="HotItem-content">
    <a href="/e/q{n}" title="{html.escape(shown)}"><h2 class="HotItem-title">{markup}</h2><p class="HotItem-excerpt">{html.escape(excerpt)}</p></a>
    <div class="HotItem-metrics">{rng.randint(100, 5000)} 万热度</div>
  </div>
</section>""")
    side = [("/", "首页"), ("/explore", "发现"), ("/question/waiting", "等你来答"), ("/column", "专栏"),
            ("/live", "直播间"), ("/roundtable", "圆桌"), ("/special", "专题"), ("/creator", "创作中心"),
            ("/app", "下载客户端"), ("/terms", "用户协议")]
    body = f"""<main class="HotList">
{chr(10).join(entries)}
</main>
<aside class="Sidebar">
{links(side)}
</aside>"""
    style = """
.HotItem { display: flex; }
.HotItem-title { font-size: 18px; margin: 0; }
"""
    page("qa_hot_list", "热榜", style, body, titles)


NAV_WITH_MENUS = """<ul class="topnav">
  <li class="nav-item"><a href="/"><i class="icon icon-home"></i>首页</a></li>
  <li class="nav-item"><a href="/discover"><i class="icon icon-find"></i>发现</a>
    <ul class="menu"><li><a href="/discover/near">同城</a></li><li><a href="/discover/star">明星</a></li><li><a href="/discover/fun">搞笑</a></li><li><a href="/discover/soc">社会</a></li><li><a href="/discover/fashion">时尚</a></li><li><a href="/discover/film">电影</a></li></ul></li>
  <li class="nav-item"><a href="/game"><i class="icon icon-game"></i>游戏</a>
    <ul class="menu"><li><a href="/game/mobile">手游</a></li><li><a href="/game/pc">端游</a></li><li><a href="/game/gift">礼包中心</a></li><li><a href="/game/rank">游戏排行</a></li><li><a href="/game/open">新游开服</a></li></ul></li>
  <li class="nav-item"><a href="/video"><i class="icon icon-video"></i>直播</a></li>
  <li class="nav-item"><a href="/msg"><i class="icon icon-msg"></i>消息</a></li>
</ul>
<div class="account"><a href="/login">登录</a><a href="/signup">注册</a><a href="/app">下载客户端</a></div>"""

LEGAL_FOOTER = [("/about", "关于我们"), ("/help", "帮助中心"), ("/terms", "用户协议"), ("/privacy", "隐私政策"),
                ("/report", "违法和不良信息举报"), ("/icp", "京ICP证100780号"),
                ("/beian", "京公网安备11000002000019号"), ("/permit", "互联网新闻信息服务许可证"),
                ("/culture", "网络文化经营许可证")]


def realtime_table():
    """A social site's realtime hot search as its page's script builds it: a table of one pinned
    and 50 ranked rows (the rank cell, the keyword's link beside its heat figure, a badge cell),
    under a navigation with icons and menus, login links and a tab bar with icons; a side box of
    related topics with 换一换; a footer of legal links. Class names are hashes, as bundlers
    write them."""
    rows, titles = [], []
    for n in range(51):
        t = title() if n % 6 else rng.choice(TWO_CHARS + ["哈尔滨冰雪大世界", "高铁静音车厢"])
        if n % 9 == 4:
            t = f"{rng.choice(PLACES)}{rng.choice(SUBJECTS)}"
        titles.append(t)
        rows.append([f"/e/t{n}", t, "" if n == 0 else str(n), heat() if n else "",
                     rng.choice(["", "热", "新", "沸"])])
    topics = []
    for n in range(8):
        t = f"#{title()}#"
        titles.append(t)
        topics.append([f"/e/s{n}", t])
    data = json.dumps({"rows": rows, "topics": topics}, ensure_ascii=False)
    tabs = "".join(f'<a class="_t3k" href="/tab/{k}"><i class="_i9"></i>{name}</a>'
                   for k, name in enumerate(["热搜", "要闻", "文娱", "体育", "游戏", "同城"]))
    body = f"""{NAV_WITH_MENUS}
<div class="_x8f">{tabs}</div>
<div class="_m2a">
  <table class="_q1"><thead><tr><th>序号</th><th>关键词</th><th></th></tr></thead><tbody id="rows"></tbody></table>
</div>
<div class="_s7d">
  <h3>相关话题</h3><a class="_c0" href="/side?refresh=1">换一换</a>
  <ul id="topics"></ul>
</div>
<div class="_f4e">
{links(LEGAL_FOOTER)}
</div>
<script>
const data = {data};
const esc = (t) => t.replace(/&/g, "&amp;").replace(/</g, "&lt;");
document.getElementById("rows").innerHTML = data.rows.map(([href, t, rank, heat, badge]) =>
  `<tr class="_r5"><td class="_d1">${{rank || '<i class="_top"></i>'}}</td>` +
  `<td class="_d2"><a href="${{href}}" target="_blank">${{esc(t)}}</a><span>${{heat}}</span></td>` +
  `<td class="_d3"><i class="_b">${{badge}}</i></td></tr>`).join("");
document.getElementById("topics").innerHTML = data.topics.map(([href, t]) =>
  `<li class="_l"><a href="${{href}}"><span class="_n">${{esc(t)}}</span></a></li>`).join("");
</script>"""
    style = """
.menu { display: none; }
.nav-item:hover .menu { display: block; }
"""
    page("realtime_table", "热搜", style, body, titles)


def movie_grid():
    """A movie site's home laid out otherwise: a navigation with a city menu, login links, a
    now-showing grid of 18 films (one link around the poster and the title, the score beside
    it, a 购票 button), a coming-soon list of 8 (the title link, the date, 想看 with its count),
    a box-office table of 10 (rank, title link, takings), app download links and a footer."""
    films = rng.sample(FILMS, 36)
    titles = []
    cities = "".join(f'<li><a href="/city/{k}">{c}</a></li>' for k, c in enumerate(PLACES[1:]))
    grid = []
    for n, film in enumerate(films[:18]):
        titles.append(film)
        grid.append(f"""    <li class="item">
      <a class="cover" href="/e/g{n}"><img src="/poster/g{n}.jpg" alt=""><p class="name">{html.escape(film)}</p></a>
      <span class="score">{rng.randint(60, 98) / 10:.1f}</span>
      <a class="btn" href="/buy/g{n}">购票</a>
    </li>""")
    soon = []
    for n, film in enumerate(films[18:26]):
        titles.append(film)
        soon.append(f'    <div class="soon-row"><a href="/e/c{n}">{html.escape(film)}</a>'
                    f'<span class="date">{rng.randint(1, 12)}月{rng.randint(1, 28)}日上映</span>'
                    f'<a class="want" href="/want/{n}">想看 {rng.randint(100, 99999)}</a></div>')
    box = []
    for n, film in enumerate(films[26:36]):
        titles.append(film)
        box.append(f'    <tr><td>{n + 1}</td><td><a href="/e/b{n}">{html.escape(film)}</a></td>'
                   f'<td>{rng.randint(1, 99) / 10:.1f}亿</td></tr>')
    body = f"""<div class="header">
  <a class="logo" href="/"><img src="/logo.png" alt=""></a>
  <div class="city"><a href="/city">北京</a><ul class="city-menu">{cities}</ul></div>
  <a href="/">首页</a><a href="/films">电影</a><a href="/cinemas">影院</a><a href="/shows">演出</a><a href="/board">榜单</a><a href="/news">热点</a>
  <a href="/login">登录</a><a href="/signup">注册</a>
</div>
<div class="section"><h2>正在热映</h2><a class="all" href="/films?showing">全部</a>
  <ul class="grid">
{chr(10).join(grid)}
  </ul>
</div>
<div class="section"><h2>即将上映</h2><a class="all" href="/films?coming">全部</a>
{chr(10).join(soon)}
</div>
<div class="section"><h2>今日票房</h2>
  <table class="box">
{chr(10).join(box)}
  </table>
</div>
<div class="download"><a href="/app/ios">iPhone版</a><a href="/app/android">Android版</a><a href="/app/wx">小程序</a></div>
<div class="footer">
{links(LEGAL_FOOTER)}
</div>"""
    style = """
.city-menu { display: none; }
.grid .item { display: inline-block; width: 160px; }
"""
    page("movie_grid", "电影", style, body, titles)


if __name__ == "__main__":
    realtime_board()
    board_home()
    aggregator_home()
    social_hot_topics()
    movie_home()
    qa_hot_list()
    realtime_table()
    movie_grid()
