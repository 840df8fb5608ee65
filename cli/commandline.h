#pragma once

#include "engine/runparameters.h"

#include <QString>
#include <QStringList>

// The command line of tessaromandel-cli, taken apart. Parse() only checks the form of the
// arguments; reading the pair files and testing the folder come later.
class CommandLine
{
public:
    enum class Operation { Replace, ReplacePairs, Header, Footer, RenameSheets };

    static CommandLine Parse(const QStringList &arguments);
    static QString UsageText();

    bool m_help = false;
    // Empty when the arguments are well formed.
    QString m_error;
    Operation m_operation = Operation::Replace;
    QString m_folder;
    QString m_findText;
    QString m_replaceText;
    QString m_findFile;
    QString m_replaceFile;
    // Of the pair files, when they carry no byte-order mark; empty: the local encoding.
    QByteArray m_encoding;
    // Already the window's position word ("左边", "中间", "右边").
    QString m_position;
    bool m_listOnly = false;
    bool m_openReports = false;
    bool m_verbose = false;
    int m_nth = 0;
    // The change log's path; empty: none.
    QString m_logPath;
    bool m_noUndo = false;
    // Workbooks worked on at once; 0: one per core.
    int m_jobs = 0;
};
