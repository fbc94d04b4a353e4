#include "harvest/pageload.h"

using namespace Qt::StringLiterals;

std::optional<PageFailure> loadFailure(const PageLoad &load)
{
    // Out of memory, most likely: another try may fare better.
    if (load.stage == PageLoad::Stage::Crashed)
        return PageFailure {u"页面崩溃"_s, true};
    if (load.stage != PageLoad::Stage::Failed)
        return std::nullopt;
    const int code = load.errorCode;
    if (load.domain == PageLoad::Domain::HttpStatus)
        return PageFailure {u"HTTP %1"_s.arg(code), code >= 500 || code == 429};
    // The engine's network errors (net_error_list.h in its sources).
    switch (code) {
    case -7:
    case -118:
        return PageFailure {u"超时"_s, true};
    case -20:
        return PageFailure {u"被拦截"_s, false};
    case -21:
        return PageFailure {u"网络已改变"_s, true};
    case -100:
        return PageFailure {u"连接被关闭"_s, true};
    case -101:
        return PageFailure {u"连接被重置"_s, true};
    case -102:
        return PageFailure {u"连接被拒绝"_s, true};
    case -105:
    case -137:
        return PageFailure {u"找不到服务器"_s, true};
    case -106:
        return PageFailure {u"网络已断开"_s, true};
    case -109:
        return PageFailure {u"无法访问该地址"_s, true};
    case -300:
        return PageFailure {u"网址无效"_s, false};
    case -301:
    case -302:
        return PageFailure {u"不支持这种网址"_s, false};
    case -311:
    case -312:
        return PageFailure {u"端口不安全"_s, false};
    case -324:
        return PageFailure {u"服务器没有返回任何数据"_s, true};
    default:
        break;
    }
    if (load.domain == PageLoad::Domain::Certificate || (code <= -200 && code > -300))
        return PageFailure {u"证书错误（%1）"_s.arg(code), false};
    // The engine's range of connection errors.
    return PageFailure {u"网络错误（%1）"_s.arg(code), code <= -100 && code > -200};
}

std::optional<PageFailure> harvestFailure(const PageLoad &load, const LinkCollection &collected)
{
    // A document collected before its render process died was harvested all the same.
    if (load.stage == PageLoad::Stage::Failed
        || (load.stage == PageLoad::Stage::Crashed
            && collected.outcome != LinkCollection::Outcome::Collected))
        return loadFailure(load);
    switch (collected.outcome) {
    case LinkCollection::Outcome::Collected:
    case LinkCollection::Outcome::Abandoned:
        return std::nullopt;
    case LinkCollection::Outcome::NoDocument:
        return PageFailure {u"超时"_s, true};
    case LinkCollection::Outcome::NoAnswer:
        return PageFailure {u"页面无响应"_s, false};
    }
    return std::nullopt;
}
