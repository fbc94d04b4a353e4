#pragma once

#include <functional>

// Runs the event loop until `done` holds or `timeoutMs` has passed; returns `done()`.
bool waitUntil(const std::function<bool()> &done, int timeoutMs = 5000);
// Runs the event loop for `ms` milliseconds.
void spinFor(int ms);
