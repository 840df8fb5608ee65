#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <unistd.h>

// A folder in which no entry can be created, for a test that runs as root too: its immutable
// flag is set for the object's lifetime. Files already inside stay writable. When the flag
// cannot be set (no chattr, a file system without the flag, no capability), and the process
// is not root, plain permissions do the same job.
class ClosedFolder
{
public:
    explicit ClosedFolder(const QString &path) : m_path(path)
    {
        if (QProcess::execute("chattr", {"+i", m_path}) == 0) {
            m_immutable = true;
            m_closed = true;
        } else if (::geteuid() != 0) {
            m_closed = QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ExeOwner);
        }
    }
    ~ClosedFolder() { open(); }

    void open()
    {
        if (m_immutable)
            QProcess::execute("chattr", {"-i", m_path});
        else if (m_closed)
            QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_immutable = m_closed = false;
    }

    bool closed() const { return m_closed; }

private:
    QString m_path;
    bool m_immutable = false;
    bool m_closed = false;
};
