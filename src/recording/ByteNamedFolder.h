#pragma once

#include <QByteArray>
#include <QString>

// A folder named by the system in bytes (an environment variable) as a path
// Qt can use. Qt decodes file names as UTF-8, so a name that is not valid
// UTF-8 would come back as another name, and a file made under it would land
// in a folder of that other name. Such a folder is made if missing, opened
// once and kept open for the life of the process, and reached through its
// descriptor ("/proc/self/fd/N"), which names it exactly.
class CByteNamedFolder
{
public:
    // Whether a decoded name gives back exactly the bytes it was decoded from.
    static bool DecodesExactly(const QByteArray& raw);
    // A per-user folder of the XDG rule: $pszVariable when it is an absolute
    // path, else $HOME/homeRelative, then strBelow. strQtPath (what
    // QStandardPaths gives for it) when those bytes decode exactly or cannot
    // be had, else the descriptor's path of the folder, made if missing.
    static QString UserFolder(const char* pszVariable, const QByteArray& homeRelative,
                              const QString& strBelow, const QString& strQtPath);

private:
    // The descriptor's path of the folder raw, made if missing; empty when it
    // can neither be made nor opened, or outside Linux.
    static QString DescriptorPath(const QByteArray& raw);
};
