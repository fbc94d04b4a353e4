#pragma once

#include "core/textencoding.h"
#include "crawl/crawl.h"
#include "crawl/crawlpacing.h"

#include <QString>

#include <optional>

class Form1;
class BatchConsole;
class BrowserPane;

// Connects everything that should close the window the ordinary way: SIGINT, SIGTERM and
// SIGHUP, the end of the desktop session, and a quit requested from elsewhere. Each path runs
// the unload handler exactly once.
void closeOnShutdownRequests(Form1 &form);

// The window on an existing QApplication: takes the directory's lock, creates the window,
// runs start-up (the window is never shown if it fails), shows the window and runs the event
// loop until it has closed. Returns the exit status.
int runLexhaul(const QString &directory, const TextEncoding &encoding,
               const CrawlOptions &options = {});

// A batch run on an existing QApplication: takes the directory's lock and crawls the whole
// URL list without a window. Returns the exit status; 128 + N when signal N stopped it.
int runBatch(const QString &directory, const TextEncoding &encoding, BatchConsole &console,
             const BatchPacing &pacing, const CrawlOptions &options = {});

// Leaves out the crawl's list rules whose selectors the pane's engine rejects. Waits at most
// `timeoutMs` for its verdict; without one, every rule stays.
void checkListRules(Crawl &crawl, BrowserPane &pane, int timeoutMs);

// Why the browser engine cannot start: run as root, its sandbox cannot, and the user has not
// switched it off. nullopt when it can.
std::optional<QString> engineRefusal();

// A batch run needs no display and shows nothing on any: it always uses Qt's offscreen
// platform, whatever the desktop offers. Before the application.
void useOffscreenPlatform();

// Keeps what the engine says of every headless start (no GPU, no session runtime directory)
// out of a batch run's standard error, where it would bury the run's own messages.
void quietHeadlessEngineNoise();

// Ends the process by `signalNumber`'s default action, as a shell expects of a program that
// signal stopped.
[[noreturn]] void endBySignal(int signalNumber);
