#pragma once

#include <QWebEnginePage>

// A page with nobody in front of it. Whatever a document asks of the user is answered at once
// and silently, as a browser left alone would answer it, so that nothing of a page's reaches
// the screen or the speakers, and no page can keep the crawl from moving on:
//
// - alert() is dismissed, confirm() answered false, prompt() cancelled, and the engine's own
//   question before leaving a page that asks to stay is answered "leave";
// - file choosers choose nothing, no new window is opened, and every permission request
//   (location, camera, microphone, notifications, screen capture) is denied;
// - links and locations of schemes the engine does not know (mailto:, tencent:, thunder:)
//   are never handed to the desktop;
// - the page is muted;
// - what its scripts write to their console goes nowhere: Lexhaul's standard error holds
//   Lexhaul's own words. Whoever debugs a page sets LEXHAUL_PAGE_CONSOLE=1 to see it there.
//
// The rest the engine refuses by itself when nobody answers, and is left to it: HTTP and
// proxy authentication (no credentials given), client certificates (none selected),
// fullscreen (not enabled), print() (printRequested unhandled), downloads (cancelled unless
// accepted).
class UnattendedPage : public QWebEnginePage
{
public:
    explicit UnattendedPage(QObject *parent = nullptr);

    // Keeps the windows that `view` opens by itself, without asking its page (the colour
    // chooser, the pickers of date and list inputs, the autofill list), off the screen and
    // closes them, which answers them "cancel". The view offers no hook for these.
    static void keepWindowsOffScreen(QWidget *view);

protected:
    QWebEnginePage *createWindow(WebWindowType type) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList &oldFiles,
                            const QStringList &acceptedMimeTypes) override;
    void javaScriptAlert(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &msg,
                          const QString &defaultValue, QString *result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                  int lineNumber, const QString &sourceID) override;

private:
    bool m_showConsole;
};
