#pragma once

#include <QMessageBox>
#include <QString>

#include <exception>

#include "core/fileerror.h"

class QWidget;

// A modal box captioned Lexhaul with one OK button; returns when the user has closed it.
void showMessageBox(QWidget *parent, const QString &text,
                    QMessageBox::Icon icon = QMessageBox::NoIcon);

// Runs a handler so that no failure escapes into Qt's event loop: a failure is shown in a
// box naming it (what was being done, the file, the system's reason). Returns false when
// the handler failed; the caller decides whether the program goes on.
template<typename Handler>
bool runHandler(QWidget *parent, Handler &&handler)
{
    try {
        handler();
        return true;
    } catch (const FileError &error) {
        showMessageBox(parent, error.message(), QMessageBox::Critical);
    } catch (const std::exception &error) {
        showMessageBox(parent, QString::fromLocal8Bit(error.what()), QMessageBox::Critical);
    }
    return false;
}
