#pragma once

#include <QString>

#include <exception>

// A failed file operation: what was being done, on which file, and the system's reason.
// Operations throw it; the window's handler boundary turns it into a message box.
class FileError : public std::exception
{
public:
    FileError(QString action, QString path, QString reason)
        : m_action(std::move(action))
        , m_path(std::move(path))
        , m_reason(std::move(reason))
        , m_what(message().toUtf8())
    {
    }

    const QString &action() const { return m_action; }
    const QString &path() const { return m_path; }
    const QString &reason() const { return m_reason; }

    // The text the user sees, in the program's language.
    QString message() const
    {
        return m_action + QStringLiteral("\n文件：") + m_path + QStringLiteral("\n原因：")
            + m_reason;
    }

    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_action;
    QString m_path;
    QString m_reason;
    QByteArray m_what;
};
