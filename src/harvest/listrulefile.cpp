#include "harvest/listrulefile.h"

#include "core/fileerror.h"
#include "urlqueue/textlinefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

QString ListRuleFile::fileName()
{
    return u"榜单规则.txt"_s;
}

void ListRuleFile::keepAccepted(const QList<bool> &accepted)
{
    QList<ListRule> kept;
    for (qsizetype k = 0; k < rules.size(); ++k) {
        if (accepted.value(k, true))
            kept.append(rules.at(k));
        else
            skipped.append(
                {rules.at(k).line, u"浏览器引擎不接受选择器“%1”"_s.arg(rules.at(k).selector)});
    }
    rules = kept;
    // In file order, whichever check found them.
    std::ranges::stable_sort(skipped, {}, &Skipped::line);
}

QString ListRuleFile::report() const
{
    if (!error.isEmpty())
        return error;
    if (skipped.isEmpty())
        return {};
    QString text = u"榜单规则中有%1行无法使用，已跳过\n文件：%2"_s.arg(skipped.size())
                       .arg(QDir::toNativeSeparators(path));
    for (const Skipped &line : skipped)
        text += u"\n第%1行：%2"_s.arg(line.line).arg(line.reason);
    return text;
}

ListRuleFile readListRuleFile(const QString &directory, const TextEncoding &encoding)
{
    ListRuleFile result;
    result.path = QDir(directory).filePath(ListRuleFile::fileName());
    // Anything of that name is meant as the file, a directory too: better said than ignored.
    result.present = QFileInfo::exists(result.path);
    if (!result.present)
        return result;
    QFile file(result.path);
    QByteArray content;
    if (file.open(QIODevice::ReadOnly))
        content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error = FileError(u"读取榜单规则失败，本次不用榜单规则"_s,
                                 QDir::toNativeSeparators(result.path), file.errorString())
                           .message();
        return result;
    }
    int number = 0;
    for (const QByteArray &bytes : TextLines::split(content)) {
        ++number;
        const QString line = encoding.decode(bytes).trimmed();
        if (line.isEmpty())
            continue;
        const auto blank = std::ranges::find_if(line, [](QChar c) { return c.isSpace(); });
        const qsizetype split = blank - line.begin();
        const QString selector = line.mid(split).trimmed();
        if (selector.isEmpty())
            result.skipped.append({number, u"网址前缀后面没有选择器"_s});
        else
            result.rules.append({line.left(split), selector, number});
    }
    return result;
}

QString selectorFor(const QList<ListRule> &rules, const QString &address)
{
    const QString completed = QUrl::fromUserInput(address).toString();
    const ListRule *best = nullptr;
    for (const ListRule &rule : rules) {
        if ((address.startsWith(rule.prefix) || completed.startsWith(rule.prefix))
            && (!best || rule.prefix.size() > best->prefix.size()))
            best = &rule;
    }
    return best ? best->selector : QString();
}
