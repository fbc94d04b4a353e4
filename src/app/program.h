#pragma once

#include "core/textencoding.h"

#include <QString>

class Form1;

// Connects everything that should close the window the ordinary way: SIGINT, SIGTERM and
// SIGHUP, the end of the desktop session, and a quit requested from elsewhere. Each path runs
// the unload handler exactly once.
void closeOnShutdownRequests(Form1 &form);

// The whole program on an existing QApplication: creates the window, runs start-up (the
// window is never shown if it fails), shows the window and runs the event loop until it has
// closed. Returns the exit status.
int runLexhaul(const QString &directory, const TextEncoding &encoding);
