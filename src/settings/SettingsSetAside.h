#pragma once

#include <QString>

// QSettings reads its file whole, and would wait on a FIFO. A settings file
// over kMaxBytes is renamed to a free name beside it
// ("TolvexSoftware.set-aside.conf", then "_2" …, never over an existing
// file) and the tool starts from the defaults. One that is not a regular
// file (folder, FIFO, device, symlink loop) is left where it is and never
// read or written: the defaults hold for the run.
class CSettingsSetAside
{
public:
    static constexpr qint64 kMaxBytes = 1024 * 1024;

    // Empty when the file is usable or missing; else the message for the
    // user, naming where the file went, or why it stays unread.
    static QString SetAsideIfUnusable(const QString& strFile);

    // True when QSettings may read the file: missing, or a regular file of
    // at most kMaxBytes. Every reader of the settings file asks first.
    static bool IsUsable(const QString& strFile);

    // The name number nNumber of the series (1: no number).
    static QString SetAsideName(const QString& strFile, int nNumber);
};
