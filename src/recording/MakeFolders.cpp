#include "recording/MakeFolders.h"

#include <sys/stat.h>

#include <cerrno>

int MakeFolders(const QByteArray& path, mode_t mode)
{
    if (::mkdir(path.constData(), mode) == 0 || errno == EEXIST)
        return 0;
    if (errno != ENOENT)
        return errno;
    const qsizetype nSlash = path.lastIndexOf('/');
    if (nSlash <= 0)
        return ENOENT;
    if (const int nError = MakeFolders(path.left(nSlash), mode); nError != 0)
        return nError;
    return ::mkdir(path.constData(), mode) == 0 || errno == EEXIST ? 0 : errno;
}
