#pragma once

#include <QString>

// The program file and its folder.
class CAppPath
{
public:
    // Full path of the running program file; false when it cannot be had.
    static bool GetModulePath(QString& strPath);
    // The program's folder with its trailing separator. False when the path
    // cannot be had (strDir unchanged) or holds no separator (strDir = the path).
    static bool GetProgramDirectory(QString& strDir);
    // The folder part of strPath, separator kept; the same failure rules.
    static bool DirectoryOf(const QString& strPath, QString& strDir);
    // Where the tool keeps its recording folders: the program folder when it
    // is writable, else the per-user data folder (created), both ending in '/'.
    static QString DataFolder();
};
