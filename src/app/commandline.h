#pragma once

#include "crawl/crawl.h"

#include <QString>
#include <QStringList>

// What the command line asks for. Parsed before the application object exists, so that a
// bad option is refused without a display and before any file is touched.
struct Invocation
{
    enum class Mode {
        Window, // lexhaul [--dir DIR]
        Batch, // lexhaul --batch [--dir DIR] [--interval S] [--timeout S]
        History, // lexhaul --history [--dir DIR]: the keyword history as CSV on standard output
        Help, // --help: `text` goes to standard output, status 0
        Version, // --version: as --help
        UsageError, // `text` goes to standard error, status 2
    };

    Mode mode = Mode::Window;
    // The directory of the files; empty for the program's own directory.
    QString directory;
    // A batch run's pace: from one address to the next (0: as soon as the page is harvested),
    // and the longest wait for a page.
    double intervalSeconds = 10;
    double timeoutSeconds = 30;
    CrawlOptions options;
    QString text;
};

// The statuses every run may end with, as --help and the README list them.
namespace ExitStatus {
inline constexpr int Done = 0;
inline constexpr int Failed = 1;
inline constexpr int Usage = 2;
// A batch run that went through the whole list but could not load some of its addresses.
inline constexpr int SomePagesFailed = 3;
// A batch run stopped by signal N ends by that signal: the shell reports 128 + N.
inline constexpr int SignalBase = 128;
} // namespace ExitStatus

// `arguments` as the program got them, the program's name first.
Invocation parseCommandLine(const QStringList &arguments);
