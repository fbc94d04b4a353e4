#include "app/commandline.h"

#include <QCommandLineParser>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

QString programName(const QStringList &arguments)
{
    const QString path = arguments.value(0, u"lexhaul"_s);
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString usageLine(const QString &program)
{
    return u"用法：%1 [--dir 目录] [--lists-only] [--new-only]\n"
           u"      %1 --batch [--dir 目录] [--interval 秒] [--timeout 秒] [--lists-only]\n"
           u"             [--new-only]\n"
           u"      %1 --history [--dir 目录]\n"_s.arg(program);
}

QString helpText(const QString &program)
{
    return usageLine(program)
        + u"\n"
          u"从“抓关键字网址.txt”中的网址逐个抓取网页链接文字，写入“关键字生成.txt”。\n"
          u"\n"
          u"选项：\n"
          u"  --batch      无窗口运行一次完整抓取，进度写到标准输出，\n"
          u"               关键字随抓随写入关键字文件。不需要图形桌面。\n"
          u"  --dir 目录   Lexhaul 的文件所在的目录（不存在时创建）；默认为程序所在目录，\n"
          u"               安装的 lexhaul 命令默认为 ~/Lexhaul。\n"
          u"  --lists-only 只取榜单：只收网页热榜里的条目，不收导航、页脚等链接；\n"
          u"               窗口中的“只取榜单”一开始即勾选。目录中的“榜单规则.txt”\n"
          u"               （每行：网址前缀、空白、CSS 选择器）为匹配的网页指定要取的元素，\n"
          u"               有无此选项都有效。\n"
          u"  --new-only   只导出新词：关键字文件只写入在该目录中从未写入过的关键字，\n"
          u"               每个一次；为此在“关键字历史.db”中记下抓到的每个关键字\n"
          u"               （见 --history）。窗口：启动时勾选“只导出新词”。\n"
          u"  --interval 秒\n"
          u"               批量运行：从一个网址到下一个网址的时间，默认 10；\n"
          u"               0 表示上一个网页抓取完立即打开下一个。\n"
          u"  --timeout 秒 批量运行：等待一个网页的最长时间，默认 30，不小于 1。\n"
          u"               网页加载完、链接 0.5 秒不再变化即抓取；到时仍在加载的网页按当时的\n"
          u"               内容抓取，到时没有任何响应的网页算作无法打开。\n"
          u"               两个秒数都可以是整数或小数。\n"
          u"  --history    把关键字历史“关键字历史.db”以 CSV 写到标准输出（UTF-8，\n"
          u"               与区域设置无关；逗号分隔，CR LF 换行），每个关键字一行，\n"
          u"               首次出现最晚的在前，时间为本地时间。各列为：\n"
          u"               关键字,首次出现,最近出现,出现次数,最近网址\n"
          u"               没有关键字历史时只写标题行，也不创建它。\n"
          u"               抓取进行中也可以运行；不需要图形桌面。\n"
          u"  -h, --help   显示本帮助。\n"
          u"  -v, --version\n"
          u"               显示版本。\n"
          u"\n"
          u"退出状态：\n"
          u"  0            全部网址已抓取（或网址文件没有一行），关键字已写入；\n"
          u"               窗口：正常关闭；--history：关键字历史已写出。\n"
          u"  1            失败：另一个 Lexhaul 正在使用该目录，或某个文件无法读写\n"
          u"               （出错信息写到标准错误，批量运行会说明丢失了多少关键字）。\n"
          u"  2            命令行有误；没有读写任何文件。\n"
          u"  3            批量运行已走完全部网址，但有网址无法打开（每个都在标准错误中\n"
          u"               说明原因）；其余网页的关键字已写入。\n"
          u"  128+N        批量运行被信号 N 停止（SIGHUP 129、SIGINT 130、SIGTERM 143）：\n"
          u"               已抓取的关键字都在关键字文件里，网址文件已整理，下次从下一个网址开始。\n"_s;
}

// What --interval and --timeout take, at least: a page needs a moment to answer at all.
constexpr double LeastInterval = 0;
constexpr double LeastTimeout = 1;

QString secondsWanted(double least)
{
    return u" 后面要写不小于 %1 的秒数（整数或小数）"_s.arg(least);
}

// Whole or decimal seconds, at least `least`: "10", "0", "2.5". No sign, exponent or unit.
bool parseSeconds(const QString &text, double least, double &seconds)
{
    static const QRegularExpression decimal(u"^[0-9]{1,9}(\\.[0-9]{1,9})?$"_s);
    if (!decimal.match(text).hasMatch() || text.toDouble() < least)
        return false;
    seconds = text.toDouble();
    return true;
}

} // namespace

Invocation parseCommandLine(const QStringList &arguments)
{
    const QString program = programName(arguments);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption batch(u"batch"_s);
    const QCommandLineOption history(u"history"_s);
    const QCommandLineOption dir(u"dir"_s, QString(), u"目录"_s);
    const QCommandLineOption interval(u"interval"_s, QString(), u"秒"_s);
    const QCommandLineOption timeout(u"timeout"_s, QString(), u"秒"_s);
    const QCommandLineOption listsOnly(u"lists-only"_s);
    const QCommandLineOption newOnly(u"new-only"_s);
    const QCommandLineOption help(QStringList {u"h"_s, u"help"_s});
    const QCommandLineOption version(QStringList {u"v"_s, u"version"_s});
    parser.addOptions({batch, history, dir, interval, timeout, listsOnly, newOnly, help, version});

    Invocation invocation;
    const auto usageError = [&](const QString &why) {
        invocation.mode = Invocation::Mode::UsageError;
        invocation.text = program + u"："_s + why + u"\n"_s + usageLine(program)
            + u"详见 %1 --help\n"_s.arg(program);
        return invocation;
    };

    if (!parser.parse(arguments)) {
        if (!parser.unknownOptionNames().isEmpty())
            return usageError(u"未知选项 "_s + parser.unknownOptionNames().join(u", "_s));
        // The only other failure: an option that takes a value is the last argument.
        const QString option
            = QRegularExpression(u"'(-[^']*)'"_s).match(parser.errorText()).captured(1);
        return usageError(
            option.endsWith(u"dir"_s) ? u"--dir 后面要写一个目录"_s
                                      : option
                    + secondsWanted(option.endsWith(u"timeout"_s) ? LeastTimeout : LeastInterval));
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(u"多余的参数 "_s + parser.positionalArguments().join(u' '));
    if (parser.isSet(help)) {
        invocation.mode = Invocation::Mode::Help;
        invocation.text = helpText(program);
        return invocation;
    }
    if (parser.isSet(version)) {
        invocation.mode = Invocation::Mode::Version;
        invocation.text = u"Lexhaul %1\n"_s.arg(QStringLiteral(LEXHAUL_VERSION));
        return invocation;
    }
    if (parser.isSet(dir)) {
        invocation.directory = parser.value(dir);
        if (invocation.directory.isEmpty())
            return usageError(u"--dir 后面要写一个目录"_s);
    }
    if (parser.isSet(history)) {
        for (const QCommandLineOption *option :
             {&batch, &interval, &timeout, &listsOnly, &newOnly}) {
            if (parser.isSet(*option))
                return usageError(u"--history 不能与 --"_s + option->names().constFirst()
                                  + u" 一起使用"_s);
        }
        invocation.mode = Invocation::Mode::History;
        return invocation;
    }
    for (const auto &[option, least, seconds] :
         {std::tuple {&interval, LeastInterval, &invocation.intervalSeconds},
          {&timeout, LeastTimeout, &invocation.timeoutSeconds}}) {
        if (!parser.isSet(*option))
            continue;
        const QString name = u"--"_s + option->names().constFirst();
        if (!parser.isSet(batch))
            return usageError(name + u" 只用于 --batch"_s);
        if (!parseSeconds(parser.value(*option), least, *seconds))
            return usageError(name + secondsWanted(least));
    }
    invocation.options.listsOnly = parser.isSet(listsOnly);
    invocation.options.newOnly = parser.isSet(newOnly);
    invocation.mode = parser.isSet(batch) ? Invocation::Mode::Batch : Invocation::Mode::Window;
    return invocation;
}
