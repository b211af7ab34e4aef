#pragma once

#include <QByteArray>

#include <sys/types.h>

// Makes the folder path (bytes, as the system names it) and any missing
// parents with mode: 0, or the errno of the step that failed (read-only, no
// permission, a plain file in the way), not merely the ENOENT a file's
// creation would meet later.
int MakeFolders(const QByteArray& path, mode_t mode);
