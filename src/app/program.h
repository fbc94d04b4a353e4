#pragma once

#include "core/textencoding.h"

#include <QString>

class Form1;
class BatchConsole;

// Connects everything that should close the window the ordinary way: SIGINT, SIGTERM and
// SIGHUP, the end of the desktop session, and a quit requested from elsewhere. Each path runs
// the unload handler exactly once.
void closeOnShutdownRequests(Form1 &form);

// The window on an existing QApplication: takes the directory's lock, creates the window,
// runs start-up (the window is never shown if it fails), shows the window and runs the event
// loop until it has closed. Returns the exit status.
int runLexhaul(const QString &directory, const TextEncoding &encoding);

// A batch run on an existing QApplication: takes the directory's lock and crawls the whole
// URL list without a window. Returns the exit status; 128 + N when signal N stopped it.
int runBatch(const QString &directory, const TextEncoding &encoding, BatchConsole &console);

// Lets a batch run start without a display: Qt's offscreen platform unless DISPLAY or
// WAYLAND_DISPLAY names one (or QT_QPA_PLATFORM says otherwise). Before the application.
void useOffscreenPlatformWithoutDisplay();

// Keeps what the engine says of every headless start (no GPU, no session runtime directory)
// out of a batch run's standard error, where it would bury the run's own messages.
void quietHeadlessEngineNoise();

// Ends the process by `signalNumber`'s default action, as a shell expects of a program that
// signal stopped.
[[noreturn]] void endBySignal(int signalNumber);
